#!/usr/bin/env bash
# Import figures: CSV, .xlsx and XML record set files of 100,000 and
# 1,000,000 rows and an .xls file of 65,536 rows, read by this program and by
# Debian's python3 readers (csv, openpyxl, xlrd, ElementTree), each import in
# its own process. Installs what only this benchmark needs: python3-openpyxl,
# python3-xlrd and python3-xlwt (which writes the .xls file).
# SIZES (default 100000,1000000) and XLS_ROWS (default 65536) change the files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build-bench-import}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

"$root/scripts/install-deps.sh"

missing=()
for p in python3-openpyxl python3-xlrd python3-xlwt; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANTA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_import --parallel "${JOBS:-2}" >/dev/null

# The debian python, not a pyenv one first on PATH: the readers are Debian's.
"$build/bench/bench_import" --python /usr/bin/python3 --script "$root/bench/bench_import_python.py" \
    --sizes "${SIZES:-100000,1000000}" --xls-rows "${XLS_ROWS:-65536}"
