#!/bin/sh
# Installs the Debian packages the launcher builds and runs with, and configures the
# build folder; with --bench, what the benchmarks compare against too. Safe to run again.
set -eu
cd "$(dirname "$0")/.."

packages="build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev fonts-dejavu-core
  nlohmann-json3-dev libplist-dev libssl-dev libcurl4-openssl-dev
  googletest libgtest-dev libbenchmark-dev
  squashfs-tools procps curl python3 libcap2-bin
  nginx-light openssl ccache
  wine wine64 gcc-mingw-w64-x86-64-win32 xvfb libzstd-dev libcli11-dev"
# The real-data benchmark's contenders, never needed by the tests.
if [ "${1:-}" = --bench ]; then packages="$packages casync zsync rsync zstd"; fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
  # The tests start nginx themselves, on loopback ports; the packaged service is not wanted.
  case "$missing" in *nginx-light*) service nginx stop >/dev/null 2>&1 || true ;; esac
fi

# One configuration for the demo and the tests, so that neither rebuilds what the other built.
# Warnings fail the tests (scripts/test.sh) without -Werror on the command line, so that a
# release build of the same sources (the README's) finds every object in the compiler cache.
cmake -S . -B build -G Ninja -DKALDRA_WERROR=OFF -DKALDRA_BENCH=OFF >/dev/null
