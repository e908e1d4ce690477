#!/usr/bin/env bash
# Draws every window of the program offscreen into docs/screenshots/, with a
# sample list and senders in a data folder of its own; then the same at 150%
# scaling into docs/screenshots/150/, where clipped borders show first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
dir=$("$root/scripts/build.sh" | tail -n 1)
cmake --build "$dir" --target corvanta-screenshots >&2
QT_QPA_PLATFORM=offscreen "$dir/tools/corvanta-screenshots" "$root/docs/screenshots"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1.5 \
    "$dir/tools/corvanta-screenshots" "$root/docs/screenshots/150"
