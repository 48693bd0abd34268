#!/usr/bin/env bash
# Builds uavsim and starts the desktop program. On the first start the
# reference trainer becomes the model in conf.ini beside the executable.
# Without a display it says how to run it under a virtual X server instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target uavsim uavsim-run
APP=build/release/app/uavsim

if [ ! -f build/release/app/conf.ini ]; then
  # The trainer is written with decimal points; numbers in conf.ini follow the
  # user's locale, so a locale with a decimal comma gets commas.
  if [ "$(locale decimal_point 2>/dev/null || echo .)" = "," ]; then
    sed 's/\([0-9]\)\.\([0-9]\)/\1,\2/g' models/trainer.mdl > build/release/app/conf.ini
  else
    cp models/trainer.mdl build/release/app/conf.ini
  fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
uavsim is built, but there is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it on a virtual X server:
    xvfb-run -a -s "-screen 0 1280x1024x24" $APP
and take pictures with: bash scripts/screenshot.sh
Or fly the reference trainer headless, with CSV telemetry:
    build/release/tools/uavsim-run models/trainer.mdl --speed 58 --angle 0 --altitude 100 --throttle 20 --seconds 60 --csv flight.csv
MSG
  exit 1
fi
exec "$APP"
