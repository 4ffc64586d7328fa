#!/bin/sh
# Sets everything up, builds Kaldrith.app and runs the launcher on its bundled demo: the
# demo game channel, the real updater tool and the stand-in game. Without a display it
# runs headless and says where it wrote its snapshots and its log.
#
#   sh scripts/demo.sh                         the game demo
#   sh scripts/demo.sh self-update [--rollback] the launcher replacing itself
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
if [ "${1:-}" = "self-update" ]; then
  shift
  exec sh scripts/self_update_demo.sh "$@" build
fi

demo="$PWD/out/demo"
mkdir -p "$demo"
export KALDRA_DATA_DIR="${KALDRA_DATA_DIR:-$demo/data}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  rm -rf "$demo/snapshots"
  mkdir -p "$demo/snapshots"
  export QT_QPA_PLATFORM=offscreen
  export KALDRA_SNAPSHOT_DIR="$demo/snapshots"
  # Headless, nobody closes the stand-in game: it ends by itself after a while.
  export KALDRA_STANDIN_SECONDS="${KALDRA_STANDIN_SECONDS:-6}"
fi

set +e
build/Kaldrith.app/Contents/MacOS/Kaldrith
status=$?
set -e
echo "demo: the launcher ended with status $status"
echo "demo: launcher log:  $KALDRA_DATA_DIR/logs/launcher.log"
echo "demo: game files:    $KALDRA_DATA_DIR/prefix/drive_c/Kaldrith"
if [ -n "${KALDRA_SNAPSHOT_DIR:-}" ]; then
  echo "demo: snapshots:     $KALDRA_SNAPSHOT_DIR"
  ls "$KALDRA_SNAPSHOT_DIR"
fi
echo "--- launcher.log"
tail -n 20 "$KALDRA_DATA_DIR/logs/launcher.log"
exit "$status"
