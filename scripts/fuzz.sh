#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer into build-fuzz/ and runs
# each for a bounded time, one after the other.
#   FUZZ_SECONDS  seconds per target (default 120)
#   FUZZ_TARGETS  which targets (default: all of them)
# The working corpus lives in build-fuzz/corpus/<target>/, seeded from the
# shared test files and fuzz/seeds/<target>/; crashes, leaks, timeouts and
# out-of-memory inputs go to build-fuzz/findings/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-120}"
targets=(${FUZZ_TARGETS:-xml_recordset xlsx csv xls_compound xls_biff smtp_reply vcard store recordset prefs})
testdata="${CORVANTA_TESTDATA_DIR:-$root/../shared/testdata}"

"$root/scripts/install-deps.sh"
# Only this script needs clang and its libFuzzer runtime.
need=()
for p in clang libclang-rt-14-dev; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || need+=("$p")
done
if [[ ${#need[@]} -gt 0 ]]; then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    echo "Installing: ${need[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCORVANTA_FUZZ=ON -DCORVANTA_BUILD_TESTS=OFF -DCORVANTA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "${JOBS:-2}" \
    --target $(printf 'fuzz_%s ' "${targets[@]}")

seeds_for() {
    case $1 in
        xml_recordset) echo adoxml ;;
        xlsx) echo xlsx ;;
        csv) echo csv ;;
        xls_compound|xls_biff) echo xls ;;
        vcard) echo vcf ;;
    esac
}
max_len_for() {
    case $1 in
        xml_recordset) echo 65536 ;;
        xlsx) echo 131072 ;;
        csv | prefs) echo 16384 ;;
        smtp_reply) echo 8192 ;;
        *) echo 65536 ;;
    esac
}
# Seconds one input may take. A worksheet may span the whole of its format
# (65,536 rows by 256 columns for .xls), which the sanitizers make slow.
timeout_for() {
    case $1 in
        xls_biff) echo 60 ;;
        *) echo 10 ;;
    esac
}
dict_for() {
    case $1 in
        xml_recordset|xlsx) echo "-dict=$root/fuzz/xml.dict" ;;
        smtp_reply) echo "-dict=$root/fuzz/smtp.dict" ;;
        vcard | prefs) echo "-dict=$root/fuzz/$1.dict" ;;
    esac
}

export QT_QPA_PLATFORM=offscreen
# Leaks inside Qt's and the system libraries' one-time set-up are not ours.
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
summary=()
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    findings="$build/findings/$t"
    mkdir -p "$corpus" "$findings"
    seeds=$(seeds_for "$t")
    [[ -z $seeds ]] || cp -n "$testdata/$seeds"/* "$corpus/" 2>/dev/null || true
    cp -n "$root/fuzz/seeds/$t"/* "$corpus/" 2>/dev/null || true
    cp -n "$root/fuzz/regressions/$t"/* "$corpus/" 2>/dev/null || true
    if [[ $t == xlsx ]]; then
        # Also each workbook with its parts stored, not deflated: mutations
        # then land in the XML instead of breaking the compressed stream.
        python3 - "$testdata/xlsx" "$corpus" <<'PY'
import os, sys, zipfile
src, dst = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(src)):
    out = os.path.join(dst, "stored-" + name)
    if os.path.exists(out):
        continue
    try:
        with zipfile.ZipFile(os.path.join(src, name)) as zin, \
             zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as zout:
            for info in zin.infolist():
                zout.writestr(info.filename, zin.read(info), zipfile.ZIP_STORED)
    except Exception:
        if os.path.exists(out):
            os.remove(out)
PY
    fi
    if [[ $t == xls_biff ]]; then
        # The bare workbook streams of the test files, taken out of their
        # compound files: mutations then land in the records.
        python3 - "$testdata/xls" "$corpus" <<'PY'
import os, struct, sys
src, dst = sys.argv[1], sys.argv[2]
def stream(data, wanted):
    if data[:8] != bytes.fromhex("d0cf11e0a1b11ae1"):
        return None
    shift, mini_shift = struct.unpack_from("<HH", data, 0x1E)
    size = 1 << shift
    cutoff, mini_fat_start = struct.unpack_from("<II", data, 0x38)[0], struct.unpack_from("<I", data, 0x3C)[0]
    sector = lambda n: data[(n + 1) * size:(n + 2) * size]
    fat_sectors = [s for s in struct.unpack_from("<109I", data, 0x4C) if s < 0xFFFFFFFA]
    fat = []
    for s in fat_sectors:
        fat += struct.unpack("<%dI" % (size // 4), sector(s))
    def chain(start, table, limit):
        out = []
        while start < len(table) and start < 0xFFFFFFFA and len(out) < limit:
            out.append(start)
            start = table[start]
        return out
    limit = len(data) // size + 1
    directory = b"".join(sector(s) for s in chain(struct.unpack_from("<I", data, 0x30)[0], fat, limit))
    entries = [directory[i:i + 128] for i in range(0, len(directory), 128)]
    root = entries[0]
    mini = b"".join(sector(s) for s in chain(struct.unpack_from("<I", root, 0x74)[0], fat, limit))
    mini_fat = []
    for s in chain(mini_fat_start, fat, limit):
        mini_fat += struct.unpack("<%dI" % (size // 4), sector(s))
    for e in entries:
        n = struct.unpack_from("<H", e, 0x40)[0]
        if e[0x42] != 2 or e[:max(n - 2, 0)].decode("utf-16-le", "replace").lower() != wanted:
            continue
        start, length = struct.unpack_from("<II", e, 0x74)
        if length < cutoff:
            m = 1 << mini_shift
            body = b"".join(mini[s * m:(s + 1) * m] for s in chain(start, mini_fat, len(mini) // m + 1))
        else:
            body = b"".join(sector(s) for s in chain(start, fat, limit))
        return body[:length]
    return None
for name in sorted(os.listdir(src)):
    out = os.path.join(dst, "stream-" + name)
    try:
        data = open(os.path.join(src, name), "rb").read()
        body = stream(data, "workbook") or stream(data, "book")
    except Exception:
        body = None
    if body:
        open(out, "wb").write(body)
PY
    fi
    log="$build/fuzz-$t.log"
    echo "== fuzz_$t for ${seconds}s (log: $log)"
    set +e
    "$build/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" -max_len="$(max_len_for "$t")" \
        -rss_limit_mb=2048 -timeout="$(timeout_for "$t")" -print_final_stats=1 $(dict_for "$t") \
        -artifact_prefix="$findings/" >"$log" 2>&1
    rc=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    if [[ $rc -eq 0 ]]; then
        result="nothing found"
    else
        result="FOUND: $(grep -m1 -E 'ERROR: |runtime error|Timeout|out-of-memory' "$log" || echo "exit $rc")"
        status=1
    fi
    summary+=("fuzz_$t: ${runs:-?} runs, ${speed:-?} exec/s, $result")
done
echo
printf '%s\n' "${summary[@]}"
[[ $status -eq 0 ]] || echo "Inputs that failed are in $build/findings/; see fuzz-<target>.log there."
exit $status
