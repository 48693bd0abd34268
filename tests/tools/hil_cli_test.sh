#!/usr/bin/env bash
# The two command-line tools together, as an autopilot developer would run them
# in CI: uavsim-run serving the link in lockstep on a free port of 127.0.0.1,
# uavsim-hil flying 100 frames with its wing leveller.
#   hil_cli_test.sh <uavsim-run> <uavsim-hil> <model.mdl>
set -euo pipefail
run=$1 hil=$2 model=$3
err=$(mktemp) out=$(mktemp)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -f "$err" "$out"' EXIT

# Starts a lockstep runner flying $1 seconds in the background ($pid) and waits
# for the port it listens on ($port).
start_runner() {
  timeout 30 "$run" "$model" --link 0 --lockstep --seconds "$1" --altitude 100 --speed 58 --angle 0 2>"$err" &
  pid=$!
  port=""
  for _ in $(seq 1 200); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$err")
    [ -n "$port" ] && break
    sleep 0.05
  done
  [ -n "$port" ] || { echo "the runner did not listen:"; cat "$err"; exit 1; }
}

start_runner 2
timeout 30 "$hil" --port "$port" --rate 0 --frames 100 --thr 1400 --level --print-every 50 | tee "$out"
wait "$pid"
pid=""
cat "$err"
grep -q "^100 frames sent, 100 answered" "$out"
grep -q "2.00 s simulated (200 ticks)" "$err"
grep -q "^link: 100 frames answered, 1 connections" "$err"

# A port outside 0..65535 is refused, not wrapped round to another port.
if "$hil" --port 70000 --frames 1 >"$out" 2>"$err"; then echo "--port 70000 accepted"; exit 1; fi
grep -q "option --port: '70000' is not a port (0..65535)" "$err" || { cat "$err"; exit 1; }

# A flight of 1 s answers 50 frames; asked for 100, the client reports the
# frames it actually wrote (at most the one that found the runner gone), not 100.
start_runner 1
status=0
timeout 30 "$hil" --port "$port" --rate 0 --frames 100 --print-every 1000 >"$out" 2>/dev/null || status=$?
wait "$pid"
pid=""
cat "$out"
[ "$status" = 1 ] || { echo "uavsim-hil should report stopping early (status $status)"; exit 1; }
line=$(grep "frames sent" "$out")
sent=$(echo "$line" | sed -n 's/^\([0-9]*\) frames sent, \([0-9]*\) answered.*/\1/p')
answered=$(echo "$line" | sed -n 's/^\([0-9]*\) frames sent, \([0-9]*\) answered.*/\2/p')
[ "$answered" = 50 ] || { echo "expected 50 answered: $line"; exit 1; }
[ "$sent" -ge 50 ] && [ "$sent" -le 51 ] || { echo "frames sent should be 50 or 51: $line"; exit 1; }
