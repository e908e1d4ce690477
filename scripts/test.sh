#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# SANITIZE=1 builds and tests with AddressSanitizer and UBSan instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
# postfix's smtp-sink for the pipelining test; its daemon never runs.
"$here/install-smtp-sink.sh"
dir=$("$here/build.sh" | tail -n 1)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
cd "$dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
