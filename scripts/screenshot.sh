#!/usr/bin/env bash
# Starts uavsim under a virtual X server with the reference trainer as its
# settings file, presses start, and saves a PNG of the main window after a few
# seconds of flight.
#   bash scripts/screenshot.sh [OUT.png] [SECONDS]
# Default OUT: docs/screenshot-main.png; SECONDS of flight before the picture: 4.
# Uses the build in $BUILD (default build/release), building uavsim if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${1:-docs/screenshot-main.png}
SECONDS_IN_FLIGHT=${2:-4}
BUILD=${BUILD:-build/release}

if [ ! -x "$BUILD/app/uavsim" ]; then
  bash scripts/deps.sh
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j2 --target uavsim
fi

# The program keeps conf.ini beside its executable: run a copy in a scratch
# folder so the build's own conf.ini is left alone.
RUN_DIR=$(mktemp -d)
trap 'rm -rf "$RUN_DIR"' EXIT
cp "$BUILD/app/uavsim" "$RUN_DIR/"
cp models/trainer.mdl "$RUN_DIR/conf.ini"   # written with a decimal point

mkdir -p "$(dirname "$OUT")"
OUT_ABS=$(cd "$(dirname "$OUT")" && pwd)/$(basename "$OUT")
LC_ALL=C.UTF-8 UAVSIM_SCREENSHOT="$OUT_ABS" UAVSIM_SCREENSHOT_START=1 \
  UAVSIM_SCREENSHOT_DELAY_MS=$((SECONDS_IN_FLIGHT * 1000)) \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$RUN_DIR/uavsim"
echo "Screenshot: $OUT"
