#!/usr/bin/env bash
# Builds uavsim and flies the reference trainer headless: one minute of
# level flight, then a summary; the telemetry goes to build/trainer-flight.csv.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target uavsim-run
build/release/tools/uavsim-run models/trainer.mdl --speed 58 --angle 0 --altitude 100 \
  --throttle 20 --seconds 60 --csv build/trainer-flight.csv
echo "Telemetry: build/trainer-flight.csv"
