#!/usr/bin/env bash
# The three programs' --version and --help, and the desktop program started
# where there is no display, as a user's shell (or help2man) runs them.
#   cli_test.sh <uavsim> <uavsim-run> <uavsim-hil>
set -euo pipefail
app=$1 run=$2 hil=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
fail() { echo "FAIL: $*"; exit 1; }

for prog in "$app" "$run" "$hil"; do
  name=$(basename "$prog")
  out=$("$prog" --version) || fail "$name --version: status $?"
  line1=$(printf '%s\n' "$out" | sed -n 1p)
  [[ $line1 =~ ^$name\ [0-9]+\.[0-9]+ ]] || fail "$name --version first line: $line1"
  printf '%s\n' "$out" | sed -n 2p | grep -Eq '^built from (git .+|a source tree without git)$' \
    || fail "$name --version second line: $out"
  # Other options, even unknown ones, still just print the version.
  [ "$("$prog" --bogus --version --csv out.csv)" = "$out" ] || fail "$name --version with other options"
  # Read whole first: grep -q stops at its match, and under pipefail the
  # program's SIGPIPE on the rest of its help would fail the pipeline.
  help=$("$prog" --help) || fail "$name --help: status $?"
  grep -q "^Usage: $name" <<<"$help" || fail "$name --help"
done
[ ! -e out.csv ] || fail "--version created a file"

# No display at all: the advice and status 1, not Qt's abort (134).
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app" 2>err.txt
status=$?
set -e
[ $status -eq 1 ] || fail "no display: status $status"
grep -q 'xvfb-run -a -s "-screen 0 1280x1024x24" uavsim' err.txt || fail "no display: $(cat err.txt)"

# A display that is set but cannot be opened: the same.
set +e
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:57913 "$app" 2>err.txt
status=$?
set -e
[ $status -eq 1 ] || fail "unreachable display: status $status: $(cat err.txt)"
grep -q "uavsim needs a display" err.txt || fail "unreachable display: $(cat err.txt)"
[ -z "$(ls -A | grep -v '^err.txt$')" ] || fail "left files: $(ls -A)"
echo "ok"
