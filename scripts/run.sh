#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
dir=$("$here/build.sh" | tail -n 1)
exec "$dir/src/corvanta"
