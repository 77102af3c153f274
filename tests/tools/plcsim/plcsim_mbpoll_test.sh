#!/bin/bash
# mbpoll reads velkopc-plcsim over Modbus TCP on loopback and over Modbus RTU on a socat
# pseudo-terminal pair. Exit 77 (skipped) when mbpoll or socat is missing.
set -u
SIM="$1"
command -v mbpoll >/dev/null || { echo "mbpoll not installed: skipped"; exit 77; }
command -v socat >/dev/null || { echo "socat not installed: skipped"; exit 77; }

DIR=$(mktemp -d /tmp/velk-mbpoll-XXXXXX)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$DIR"
}
trap cleanup EXIT

wait_ready() {
    for _ in $(seq 100); do
        grep -q 'plcsim: ready' "$1" && return 0
        sleep 0.05
    done
    echo "simulator did not start:"; cat "$1"; return 1
}

fail() { echo "FAIL: $*"; exit 1; }

# TCP: a holding register, an input register and a coil; mbpoll counts from 1.
"$SIM" --tcp 127.0.0.1:0 --holding 9=4242 --input 3=17 --coil 5=1 --no-stdin >"$DIR/tcp.log" 2>&1 &
PIDS+=($!)
wait_ready "$DIR/tcp.log" || exit 1
PORT=$(sed -n 's/^plcsim: channel 1 tcp 127.0.0.1:\([0-9]*\)$/\1/p' "$DIR/tcp.log")
[ -n "$PORT" ] || fail "no TCP port in the log"

OUT=$(mbpoll -m tcp -p "$PORT" -a 1 -t 4 -r 10 -c 1 -1 -o 2 127.0.0.1 2>&1)
echo "$OUT" | grep -q '^\[10\]:[[:space:]]*4242$' || fail "holding register over TCP: $OUT"
OUT=$(mbpoll -m tcp -p "$PORT" -a 1 -t 3 -r 4 -c 1 -1 -o 2 127.0.0.1 2>&1)
echo "$OUT" | grep -q '^\[4\]:[[:space:]]*17$' || fail "input register over TCP: $OUT"
OUT=$(mbpoll -m tcp -p "$PORT" -a 1 -t 0 -r 6 -c 1 -1 -o 2 127.0.0.1 2>&1)
echo "$OUT" | grep -q '^\[6\]:[[:space:]]*1$' || fail "coil over TCP: $OUT"

# RTU at 19200 baud, even parity, over a pty pair.
socat "pty,raw,echo=0,link=$DIR/plc" "pty,raw,echo=0,link=$DIR/master" &
PIDS+=($!)
for _ in $(seq 100); do [ -e "$DIR/plc" ] && [ -e "$DIR/master" ] && break; sleep 0.05; done
"$SIM" --rtu "$DIR/plc" --baud 19200 --parity even --unit 7 --holding 0=321 --no-stdin \
    >"$DIR/rtu.log" 2>&1 &
PIDS+=($!)
wait_ready "$DIR/rtu.log" || exit 1
OUT=$(mbpoll -m rtu -b 19200 -P even -a 7 -t 4 -r 1 -c 2 -1 -o 2 "$DIR/master" 2>&1)
echo "$OUT" | grep -q '^\[1\]:[[:space:]]*321$' || fail "holding register over RTU: $OUT"
echo "$OUT" | grep -q '^\[2\]:[[:space:]]*0$' || fail "second register over RTU: $OUT"
echo "mbpoll read the simulator over TCP and RTU"
exit 0
