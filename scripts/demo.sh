#!/bin/sh
# Sets everything up, builds Kaldrith.app and runs the launcher on its bundled demo: the
# demo game channel, served on loopback HTTP at a modest rate so that the download can be
# watched, the real updater tool, and the game: the Windows stand-in under the system's
# Wine (the native stand-in where there is no Wine). Without a display it runs on a
# virtual screen, takes a picture of that screen while the game runs, and says where it
# wrote the pictures and the logs.
#
#   sh scripts/demo.sh                         the game demo
#   sh scripts/demo.sh self-update [--rollback] the launcher replacing itself
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
# Only the bundle: the tests are built by scripts/test.sh, in the same configuration.
cmake --build build --target kaldra_seal
if [ "${1:-}" = "self-update" ]; then
  shift
  exec sh scripts/self_update_demo.sh "$@" build
fi

demo="$PWD/out/demo"
app="$PWD/build/Kaldrith.app"
mkdir -p "$demo"
pids=
trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done' EXIT
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The channel, with a larger file so that the download can be watched, at 256 KB/s a
# connection (the tool fetches chunks over several at once).
rm -rf "$demo/www" "$demo/nginx"
mkdir -p "$demo/nginx"
cp -R "$app/Contents/Resources/demo-channel" "$demo/www"
head -c 4000000 /dev/urandom >"$demo/www/data/music.pak"
version=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["version"])' \
  "$demo/www/manifest.json")
"$app/Contents/Resources/bin/kaldra-update" publish "$demo/www" --version "$version.1" \
  --key build/signing/publisher-key.pem >/dev/null
port=$(free_port)
cat >"$demo/nginx/nginx.conf" <<CONF
daemon off;
pid nginx.pid;
events {}
http {
  access_log access.log;
  server {
    listen 127.0.0.1:$port;
    root $demo/www;
    limit_rate 256k;
  }
}
CONF
/usr/sbin/nginx -p "$demo/nginx" -c nginx.conf -e error.log &
pids="$pids $!"
export KALDRA_UPDATE_CHANNEL="http://127.0.0.1:$port/"

if [ -z "${KALDRA_DATA_DIR:-}" ]; then
  # The demo's own data: the prefix is kept, the game files are fetched anew every time.
  export KALDRA_DATA_DIR="$demo/data"
  rm -rf "$KALDRA_DATA_DIR/prefix/drive_c/Kaldrith"
fi
screen_shot=
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  rm -rf "$demo/snapshots"
  mkdir -p "$demo/snapshots"
  export KALDRA_SNAPSHOT_DIR="$demo/snapshots"
  # Headless, nobody closes the game: it ends by itself after a while.
  export KALDRA_STANDIN_SECONDS="${KALDRA_STANDIN_SECONDS:-8}"
  # Xvfb picks a free display itself and says which once it takes connections.
  rm -f "$demo/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$demo/display" >/dev/null 2>&1 &
  pids="$pids $!"
  tries=0
  while ! grep -q . "$demo/display" 2>/dev/null && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  export DISPLAY=":$(head -n 1 "$demo/display")"
  screen_shot="$demo/snapshots/game-screen.png"
fi

set +e
"$app/Contents/MacOS/Kaldrith" &
launcher=$!
if [ -n "$screen_shot" ]; then
  # A picture of the virtual screen every second until the game has shown its window, and
  # one of the game shortly after.
  game_log="$KALDRA_DATA_DIR/logs/game.log"
  rm -f "$game_log"
  shot=0
  while kill -0 "$launcher" 2>/dev/null && ! grep -q "window shown" "$game_log" 2>/dev/null &&
    [ $shot -lt 60 ]; do
    shot=$((shot + 1))
    "$app/Contents/Resources/platform/screencapture" -x "$(printf '%s/screen-%02d.png' "$demo/snapshots" $shot)"
    sleep 1
  done
  if kill -0 "$launcher" 2>/dev/null; then
    sleep 1.5
    "$app/Contents/Resources/platform/screencapture" -x "$screen_shot"
  fi
fi
wait "$launcher"
status=$?
set -e
echo "demo: the launcher ended with status $status"
echo "demo: launcher log:  $KALDRA_DATA_DIR/logs/launcher.log"
echo "demo: game files:    $KALDRA_DATA_DIR/prefix/drive_c/Kaldrith"
if [ -n "${KALDRA_SNAPSHOT_DIR:-}" ]; then
  echo "demo: snapshots:     $KALDRA_SNAPSHOT_DIR"
  ls "$KALDRA_SNAPSHOT_DIR"
fi
[ -f "$screen_shot" ] && echo "demo: the game's screen: $screen_shot"
echo "--- launcher.log"
tail -n 20 "$KALDRA_DATA_DIR/logs/launcher.log"
exit "$status"
