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
timeout 30 "$run" "$model" --link 0 --lockstep --seconds 2 --altitude 100 --speed 58 --angle 0 2>"$err" &
pid=$!
port=""
for _ in $(seq 1 200); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$err")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "the runner did not listen:"; cat "$err"; exit 1; }
timeout 30 "$hil" --port "$port" --rate 0 --frames 100 --thr 1400 --level --print-every 50 | tee "$out"
wait "$pid"
pid=""
cat "$err"
grep -q "^100 frames sent, 100 answered" "$out"
grep -q "2.00 s simulated (200 ticks)" "$err"
grep -q "^link: 100 frames answered, 1 connections" "$err"
