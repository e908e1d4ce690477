#!/usr/bin/env bash
# Configures and builds into build/ (or build-sanitize/ with SANITIZE=1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build"
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${SANITIZE:-0}" == 1 ]]; then
    dir="$root/build-sanitize"
    args=(-DCMAKE_BUILD_TYPE=Debug -DCORVANTA_SANITIZE=ON)
fi
# Objects compiled in one checkout are reused by another of the same
# sources (a fresh clone, a second worktree).
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
# Progress goes to standard error; the last line on standard output is the folder.
cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >&2
cmake --build "$dir" --parallel "$(nproc)" >&2
echo "$dir"
