#!/usr/bin/env bash
# Builds (if needed) and runs the libFuzzer targets.
#   scripts/run-fuzzers.sh <build-dir> <seconds-per-target>
# The build directory is configured with clang++-14 and UAVSIM_FUZZ=ON when it
# holds no build yet. Each target starts from its seeds in fuzz/corpus/<target>/
# and keeps what it finds in <build-dir>/fuzz-corpus/<target>/; a crash input
# is saved as <build-dir>/fuzz-artifacts/<target>-crash-*. Exits non-zero when
# a target finds a crash, a leak or a timeout.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <build-dir> <seconds-per-target>" >&2
  exit 2
fi
build=$1
seconds=$2
src=$(cd "$(dirname "$0")/.." && pwd)
targets=(fuzz_inifile fuzz_numtext fuzz_transmitter fuzz_tga fuzz_linkscanner fuzz_recording fuzz_apservo)

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
        -DUAVSIM_FUZZ=ON -DUAVSIM_GUI=OFF -DUAVSIM_BENCH=OFF
fi
ninja -C "$build" -j2 "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts"
  mkdir -p "$corpus" "$artifacts"
  log="$artifacts/$t.log"
  echo "== $t: ${seconds} s (log: $log)"
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
        "$corpus" "$src/fuzz/corpus/$t" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  else
    tail -n 60 "$log" >&2
    echo "== $t FAILED (inputs in $artifacts)" >&2
    status=1
  fi
done
exit $status
