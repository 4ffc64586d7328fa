#!/bin/sh
# Sets everything up, builds with warnings as errors, and runs every test: the unit
# and end-to-end tests, then the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

# Warnings are errors: the compiler cache replays them for objects it did not compile again.
cmake --build build -j "$jobs" >build/build.log 2>&1 || { cat build/build.log; exit 1; }
if grep -q "warning:" build/build.log; then
  grep -B2 -A6 "warning:" build/build.log
  echo "test: the build warns; warnings count as errors" >&2
  exit 1
fi
(cd build && ctest --output-on-failure -j "$jobs" -L 'unit|e2e')

cmake -S . -B build-asan -G Ninja -DKALDRA_WERROR=ON -DKALDRA_SANITIZE=ON \
  -DKALDRA_UNIT_TESTS_ONLY=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -L unit)
