#!/bin/sh
# Sets everything up, builds with warnings as errors, and runs every test: the unit
# and end-to-end tests, then the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" -L 'unit|e2e')

cmake -S . -B build-asan -G Ninja -DKALDRA_WERROR=ON -DKALDRA_SANITIZE=ON \
  -DKALDRA_UNIT_TESTS_ONLY=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -L unit)
