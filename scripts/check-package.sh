#!/usr/bin/env bash
# Checks a built Debian package without installing it into this system:
#   bash scripts/check-package.sh build/release/uavsim_<version>_amd64.deb
# lintian (no errors), desktop-file-validate and appstreamcli on its files;
# then, unpacked into a scratch root: uavsim-run --version and a 60 s flight of
# the packaged reference model; uavsim under Xvfb from an unrelated working
# directory with a scratch HOME and XDG_CONFIG_HOME, which must apply the
# model, keep conf.ini in that config folder and write nothing into the
# unpacked tree.
set -euo pipefail
DEB=$(realpath "$1")
scratch=$(mktemp -d)
# KEEP=DIR keeps the scratch files (pictures, conf.ini, logs) there.
trap 'if [ -n "${KEEP:-}" ]; then mkdir -p "$KEEP" && cp -r "$scratch"/*.png "$scratch"/*.err "$scratch/config" "$KEEP"/; fi; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

echo "package: $(basename "$DEB"), $(stat -c %s "$DEB") bytes"
dpkg-deb -f "$DEB" Package Version Section Depends Recommends

echo "-- lintian"
lintian --fail-on error --display-level ">=warning" --tag-display-limit 0 "$DEB" \
  | tee "$scratch/lintian.txt" || fail "lintian reports errors"

root="$scratch/root"
dpkg-deb -x "$DEB" "$root"
echo "-- desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/uavsim.desktop"
echo "-- appstreamcli validate --no-net"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

snapshot() { (cd "$root" && find . -printf '%p %y %s %m %T@\n' | sort); }
snapshot > "$scratch/before.txt"

echo "-- unpacked uavsim-run"
"$root/usr/bin/uavsim-run" --version
model="$root/usr/share/uavsim/models/trainer.mdl"
"$root/usr/bin/uavsim-run" "$model" --speed 58 --angle 0 --altitude 100 --throttle 20 --seconds 60 \
  --csv "$scratch/flight.csv" --quiet
rows=$(($(wc -l < "$scratch/flight.csv") - 1))
[ "$rows" -ge 600 ] || fail "the 60 s flight wrote $rows rows"
# The trainer at 40 % throttle cruises: still well above the ground after 60 s.
awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "t_s") ct = i; else if ($i == "posH_m") ch = i; next }
         { t = $ct; h = $ch }
         END { printf "after %s s: altitude %.1f m\n", t, h; exit !(ct && ch && t >= 59.9 && h > 30) }' "$scratch/flight.csv" \
  || fail "the packaged model did not fly 60 s"

echo "-- unpacked uavsim under Xvfb"
home="$scratch/home" config="$scratch/config" work="$scratch/work"
mkdir -p "$home" "$work"
run_gui() {
  (cd "$work" && env -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$config" LC_ALL=C.UTF-8 \
     UAVSIM_SCREENSHOT="$scratch/$1.png" UAVSIM_SCREENSHOT_START=1 UAVSIM_SCREENSHOT_DELAY_MS=3000 \
     xvfb-run -a -s "-screen 0 1280x1024x24" "$root/usr/bin/uavsim") 2> "$scratch/$1.err" \
    || { cat "$scratch/$1.err"; fail "uavsim ($1) exited with status $?"; }
  cat "$scratch/$1.err"
  [ -s "$scratch/$1.png" ] || fail "no picture of the $1 start"
}
run_gui first
conf="$config/uavsim/conf.ini"
[ -f "$conf" ] || fail "no conf.ini in $config/uavsim after the first start"
grep -q "first start" "$scratch/first.err" || fail "the first start did not say it applied the trainer"
# The packaged trainer, applied and stored: its first wing panel and its mass.
grep -q $'^Param0=0.12\r$' "$conf" && grep -q $'^M=2\r$' "$conf" || fail "conf.ini does not hold the trainer"

# The second start reads conf.ini as it is: an edited mass stays.
sed -i $'s/^M=2\r$/M=2.5\r/' "$conf"
run_gui second
grep -q "first start" "$scratch/second.err" && fail "the second start applied the trainer again"
grep -q $'^M=2.5\r$' "$conf" || fail "the second start did not keep conf.ini's model"

[ -z "$(ls -A "$work")" ] || fail "files written into the working directory: $(ls -A "$work")"
snapshot > "$scratch/after.txt"
diff "$scratch/before.txt" "$scratch/after.txt" || fail "the unpacked tree changed"
echo "package checks passed"
