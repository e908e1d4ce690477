#!/usr/bin/env bash
# Send run figures: 20,000 small mails to postfix's smtp-sink on loopback,
# from this program and, side by side against the same sink, from postfix's
# smtp-source (one session), nodemailer (pooled, one connection) and
# Python's smtplib (one connection); then a 50 MB attachment's peak memory.
# Installs what only this benchmark needs: postfix (for smtp-sink and
# smtp-source; its daemon is never left running) and nodemailer in a
# folder of the benchmark's build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build-bench-send}"
count="${COUNT:-20000}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

"$root/scripts/install-deps.sh"

if [[ ! -x /usr/sbin/smtp-sink ]]; then
    echo "Installing postfix for smtp-sink and smtp-source"
    echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
    # Keep the package from starting its daemon while it installs.
    policy=/usr/sbin/policy-rc.d
    made_policy=0
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee $policy >/dev/null
        $sudo chmod +x $policy
        made_policy=1
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends postfix || true
    [[ $made_policy == 1 ]] && $sudo rm -f $policy
    [[ -x /usr/sbin/smtp-sink ]] || { echo "postfix could not be installed" >&2; exit 1; }
fi
# Whatever the install did, no postfix daemon stays up.
if $sudo /usr/sbin/postfix status >/dev/null 2>&1; then
    $sudo /usr/sbin/postfix stop >/dev/null 2>&1 || true
fi

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nodejs npm
fi
node_dir="${NODE_DIR:-$build/bench-node}"
if [[ ! -d $node_dir/node_modules/nodemailer ]]; then
    mkdir -p "$node_dir"
    npm install --silent --no-audit --no-fund --prefix "$node_dir" nodemailer >/dev/null
fi

# BENCH_SEND names an already built bench_send to use instead of building one.
bench="${BENCH_SEND:-$build/bench/bench_send}"
if [[ -z ${BENCH_SEND:-} ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANTA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target bench_send --parallel "${JOBS:-2}" >/dev/null
fi

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
sink_user=nobody
id postfix >/dev/null 2>&1 && sink_user=postfix
/usr/sbin/smtp-sink -u "$sink_user" "127.0.0.1:$port" 256 &
sink=$!
trap 'kill "$sink" 2>/dev/null || true; wait "$sink" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null && break
    sleep 0.1
done

echo "== $count small mails to smtp-sink on 127.0.0.1:$port, one connection each =="
"$bench" --port "$port" --count "$count"
start=$(date +%s.%N)
/usr/sbin/smtp-source -d -s 1 -m "$count" -l 300 -f sender@example.com -t r@example.org "127.0.0.1:$port"
end=$(date +%s.%N)
/usr/bin/python3 -c "s=$end-$start; print('smtp-source   %6d mails in %6.2f s: %8.0f mails/s' % ($count, s, $count/s))"
NODE_PATH="$node_dir/node_modules" node "$root/bench/bench_send_nodemailer.js" "$port" "$count"
/usr/bin/python3 "$root/bench/bench_send_smtplib.py" "$port" "$count"

echo "== one mail with a 50 MB attachment =="
"$bench" --port "$port" --big 50
