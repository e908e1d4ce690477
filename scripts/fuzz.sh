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
targets=(${FUZZ_TARGETS:-xml_recordset xlsx csv vcard store recordset prefs})
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
        vcard) echo vcf ;;
    esac
}
max_len_for() {
    case $1 in
        xml_recordset) echo 65536 ;;
        xlsx) echo 131072 ;;
        csv | prefs) echo 16384 ;;
        *) echo 65536 ;;
    esac
}
dict_for() {
    case $1 in
        xml_recordset|xlsx) echo "-dict=$root/fuzz/xml.dict" ;;
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
    log="$build/fuzz-$t.log"
    echo "== fuzz_$t for ${seconds}s (log: $log)"
    set +e
    "$build/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" -max_len="$(max_len_for "$t")" \
        -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 $(dict_for "$t") \
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
