#!/usr/bin/env bash
# The README's CI example with both tools started at once, the client first:
# uavsim-hil keeps trying the refused connection until the lockstep runner
# listens. And a lockstep runner nobody connects to gives up after its
# --client-wait with status 5, naming the address.
#   hil_start_test.sh <uavsim-run> <uavsim-hil> <model.mdl>
set -euo pipefail
run=$1 hil=$2 model=$3
err=$(mktemp) out=$(mktemp)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -f "$err" "$out"' EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

timeout 30 "$hil" --port "$port" --rate 0 --frames 50 --thr 1400 --print-every 50 >"$out" 2>&1 &
pid=$!
sleep 0.5  # the client is refused meanwhile
timeout 30 "$run" "$model" --link "$port" --lockstep --client-wait 10 --seconds 1 --altitude 100 --speed 58 \
  --angle 0 2>"$err"
wait "$pid"
pid=""
cat "$out" "$err"
grep -q "^50 frames sent, 50 answered" "$out"
grep -q "1.00 s simulated (100 ticks)" "$err"

status=0
timeout 30 "$run" "$model" --link 0 --lockstep --client-wait 0.3 --seconds 1 2>"$err" || status=$?
cat "$err"
[ "$status" -eq 5 ] || { echo "status $status, not 5"; exit 1; }
grep -q "no client connected to 127.0.0.1:[0-9]* within 0.3 s (--client-wait)" "$err"
