#!/usr/bin/env bash
# Send run figures. Small mails to postfix's smtp-sink, from this program
# (1 and 4 connections) and, against the same sink, from postfix's
# smtp-source (1 and 5 sessions), nodemailer (pooled, 1 and 5 connections,
# all mails queued at once) and, on loopback, Python's smtplib:
#   - on loopback (COUNT mails, default 20,000);
#   - at a 20 ms round trip through bench/latency_proxy (COUNT_RTT mails,
#     default 300), the round trip measured and printed first;
# then, at the 20 ms round trip, COUNT_REFUSED mails (default 2,000) to the
# test server (aiosmtpd, pipelining, messages discarded) with no refusal and
# with every second recipient refused, one connection; and a 50 MB
# attachment's peak memory. Last, the same through the Send step of the
# real window (offscreen): COUNT mails to smtp-sink beside the engine alone,
# COUNT mails with every second refused (the time per failure as the error
# grid grows), and Cancel against a server that has gone silent.
# Installs what only this benchmark needs: postfix (for smtp-sink and
# smtp-source; its daemon is never left running) and nodemailer in a
# folder of the benchmark's build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build-bench-send}"
count="${COUNT:-20000}"
count_rtt="${COUNT_RTT:-300}"
count_refused="${COUNT_REFUSED:-2000}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

"$root/scripts/install-deps.sh"
"$root/scripts/install-smtp-sink.sh"

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nodejs npm
fi
node_dir="${NODE_DIR:-$build/bench-node}"
if [[ ! -d $node_dir/node_modules/nodemailer ]]; then
    mkdir -p "$node_dir"
    npm install --silent --no-audit --no-fund --prefix "$node_dir" nodemailer >/dev/null
fi

# BENCH_SEND names an already built bench_send to use instead of building one
# (latency_proxy is taken from beside it).
bench="${BENCH_SEND:-$build/bench/bench_send}"
if [[ -z ${BENCH_SEND:-} ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANTA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target bench_send latency_proxy bench_send_window --parallel "${JOBS:-2}" >/dev/null
fi
proxy="$(dirname "$bench")/latency_proxy"

python=/usr/bin/python3
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "${work:-}"
}
trap cleanup EXIT
work=$(mktemp -d)

wait_for_port() {
    for _ in $(seq 100); do
        $python -c "import socket; socket.create_connection(('127.0.0.1', $1), 1).close()" 2>/dev/null && return
        sleep 0.1
    done
    echo "nothing listens on port $1" >&2
    exit 1
}
# Starts a program that prints "PORT <n>" and sets the variable named first to n.
start_printing_port() {
    local name=$1 out="$work/port.$RANDOM"
    shift
    "$@" >"$out" &
    pids+=($!)
    for _ in $(seq 100); do
        if grep -q '^PORT ' "$out" 2>/dev/null; then
            printf -v "$name" '%s' "$(sed -n 's/^PORT //p' "$out")"
            return
        fi
        sleep 0.1
    done
    echo "$1 did not start" >&2
    exit 1
}

sink_port=$($python -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
sink_user=nobody
id postfix >/dev/null 2>&1 && sink_user=postfix
/usr/sbin/smtp-sink -u "$sink_user" "127.0.0.1:$sink_port" 256 &
pids+=($!)
wait_for_port "$sink_port"
start_printing_port proxy_port "$proxy" "$sink_port" 10
wait_for_port "$proxy_port"

round_trip() { # PORT: milliseconds per SMTP command answered, over 200 NOOPs
    $python - "$1" <<'PY'
import socket, sys, time
s = socket.create_connection(('127.0.0.1', int(sys.argv[1])))
s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
f = s.makefile('rb')
f.readline()
start = time.perf_counter()
for _ in range(200):
    s.sendall(b'NOOP\r\n')
    f.readline()
print('%.1f' % ((time.perf_counter() - start) * 1000 / 200))
s.sendall(b'QUIT\r\n')
PY
}

smtp_source() { # PORT COUNT SESSIONS
    local start end
    start=$(date +%s.%N)
    /usr/sbin/smtp-source -d -s "$3" -m "$2" -l 300 -f sender@example.com -t r@example.org "127.0.0.1:$1"
    end=$(date +%s.%N)
    $python -c "s=$end-$start; print('%-26s %6d mails in %7.2f s: %8.0f mails/s' % ('smtp-source -s $3', $2, s, $2/s))"
}

peers() { # PORT COUNT [loopback]
    "$bench" --port "$1" --count "$2" --connections 1
    "$bench" --port "$1" --count "$2" --connections 4
    "$bench" --port "$1" --count "$2" --connections 4 --journal --label "corvanta 4 conn, journal"
    smtp_source "$1" "$2" 1
    smtp_source "$1" "$2" 5
    NODE_PATH="$node_dir/node_modules" node "$root/bench/bench_send_nodemailer.js" "$1" "$2" 1
    NODE_PATH="$node_dir/node_modules" node "$root/bench/bench_send_nodemailer.js" "$1" "$2" 5
    [[ -z ${3:-} ]] || $python "$root/bench/bench_send_smtplib.py" "$1" "$2"
}

echo "== $count small mails to smtp-sink on loopback =="
peers "$sink_port" "$count" loopback
echo
echo "== $count_rtt small mails to smtp-sink at a 20 ms round trip (measured: $(round_trip "$proxy_port") ms) =="
peers "$proxy_port" "$count_rtt"
echo

echo "== $count_refused mails at a 20 ms round trip, one connection, to aiosmtpd (pipelining) =="
mkdir -p "$work/messages"
start_printing_port refusing_port $python "$root/tests/support/smtp_test_server.py" --out "$work/messages" \
    --pipelining --discard --reject-pattern '^refused-'
start_printing_port refusing_proxy "$proxy" "$refusing_port" 10
wait_for_port "$refusing_proxy"
"$bench" --port "$refusing_proxy" --count "$count_refused" --label "corvanta, none refused"
"$bench" --port "$refusing_proxy" --count "$count_refused" --refuse-every 2 --label "corvanta, every 2nd refused"
echo

echo "== the send journal of 1,000,000 mails: finding the unsent =="
"$bench" --journal-find 1000000
echo

echo "== one mail with a 50 MB attachment =="
"$bench" --port "$sink_port" --big 50

echo
echo "== through the Send step of the window =="
window_bench="$(dirname "$bench")/bench_send_window"
"$bench" --port "$sink_port" --count "$count" --connections 4 --label "engine alone, 4 connections"
"$window_bench" --port "$sink_port" --rows "$count"
"$window_bench" --port "$refusing_port" --rows "$count" --refuse-every 2
"$window_bench" --silent --rows 100
