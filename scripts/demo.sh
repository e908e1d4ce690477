#!/usr/bin/env bash
# Tries the program end to end without touching your own data: starts a
# local SMTP server that writes every mail it receives as an .eml file, and
# starts the program with a data folder of its own, holding a sample list of
# ten people, a sender and mail settings for that server.
#   scripts/demo.sh [folder]     (default: /tmp/corvanta-demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo=$(realpath -m "${1:-/tmp/corvanta-demo}")
port=${DEMO_SMTP_PORT:-2525}
"$root/scripts/install-deps.sh"
dir=$("$root/scripts/build.sh" | tail -n 1)
cmake --build "$dir" --target corvanta-sample-data >&2

mkdir -p "$demo/data" "$demo/mails"
export XDG_DATA_HOME="$demo/data"
"$dir/tools/corvanta-sample-data" "$root/resources/samples/people.csv" "$port" >/dev/null

/usr/bin/python3 "$root/scripts/demo_smtp_server.py" "$demo/mails" --port "$port" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 1
kill -0 $server 2>/dev/null || { echo "the demo SMTP server could not start on port $port" >&2; exit 1; }
echo "Mails sent from the program arrive in $demo/mails as .eml files."
"$dir/src/corvanta"
