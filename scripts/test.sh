#!/usr/bin/env bash
# Builds and runs every test: the mutation list's quick check, the release build (GCC, warnings as errors), the
# sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and a
# bounded run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
JOBS=2
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
# ccache, where the machine has it, makes a rebuild of an unchanged tree quick; it changes nothing else.
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

echo "== mutation list"
# Each fault of the mutation check must still find its original text, so the
# list cannot rot unnoticed (the full check runs by hand: see the README).
/usr/bin/python3 scripts/mutation-test.py --check

echo "== release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUAVSIM_WERROR=ON "${LAUNCHER[@]}" >/dev/null
cmake --build build/release -j"$JOBS"
echo "== release tests"
# GUI tests use the offscreen platform; anything that needs OpenGL runs under Xvfb.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build/release -j"$JOBS" --output-on-failure

echo "== Debian package"
# Built from the release build and checked unpacked (scripts/check-package.sh).
package_start=$SECONDS
DEB=$(bash scripts/package.sh | tail -n 1)
bash scripts/check-package.sh "$DEB"
echo "packaging and its checks took $((SECONDS - package_start)) s"

echo "== sanitizer build"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
      -DUAVSIM_SANITIZE=ON -DUAVSIM_GUI=OFF -DUAVSIM_BENCH=OFF "${LAUNCHER[@]}" >/dev/null
cmake --build build/sanitize -j"$JOBS"
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize -j"$JOBS" --output-on-failure

echo "== fuzzing (${FUZZ_SECONDS} s per target)"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DUAVSIM_FUZZ=ON -DUAVSIM_GUI=OFF -DUAVSIM_BENCH=OFF "${LAUNCHER[@]}" >/dev/null
# run-fuzzers.sh builds just the fuzz targets.
bash scripts/run-fuzzers.sh build/fuzz "$FUZZ_SECONDS"
echo "== all tests passed"
