#!/bin/sh
# The launcher updating itself on this machine, from a built build/Kaldrith.app:
# a next version of the bundle is made and published on a launcher channel served on
# loopback HTTP; the launcher (the current version, copied to out/self-update/) is
# started, accepts the offer (KALDRA_TEST_ANSWERS), fetches and checks the image,
# stages the bundle and quits; the swap helper exchanges the bundles and starts the new
# one, which confirms. Prints when each phase ended, then the log and the snapshots.
#
#   scripts/self_update_demo.sh [--rollback] [--pad-mb N] [BUILD]
#   --rollback   the new version fails to start (KALDRA_TEST_FAIL_START): rolled back
#   --pad-mb N   adds N MB of incompressible data to the new bundle
set -eu
cd "$(dirname "$0")/.."
rollback=0 pad=0
while [ $# -gt 0 ]; do
  case "$1" in
    --rollback) rollback=1 ;;
    --pad-mb) pad=$2; shift ;;
    *) break ;;
  esac
  shift
done
build=${1:-build}
[ -x "$build/Kaldrith.app/Contents/MacOS/Kaldrith" ] || { echo "no $build/Kaldrith.app" >&2; exit 1; }

out="$PWD/out/self-update"
rm -rf "$out"
mkdir -p "$out/next" "$out/snapshots"
app="$out/Kaldrith.app"
cp -a "$build/Kaldrith.app" "$app"
platform="$app/Contents/Resources/platform"
tool="$app/Contents/Resources/bin/kaldra-update"

current=$(sed -n '/CFBundleShortVersionString/{n;s/.*<string>\(.*\)<\/string>.*/\1/p}' "$app/Contents/Info.plist")
next=$(echo "$current" | awk -F. -v OFS=. '{$NF = $NF + 1; print}')
cp -a "$build/Kaldrith.app" "$out/next/Kaldrith.app"
sed -i "s|<string>$current</string>|<string>$next</string>|" "$out/next/Kaldrith.app/Contents/Info.plist"
if [ "$pad" -gt 0 ]; then
  head -c "$((pad * 1000000))" /dev/urandom >"$out/next/Kaldrith.app/Contents/Resources/padding.bin"
fi
"$platform/codesign" --sign - --force "$out/next/Kaldrith.app"
"$tool" publish-launcher "$out/next/Kaldrith.app" "$out/channel" --key "$build/signing/publisher-key.pem"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$out/channel" >"$out/http.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
until python3 -c "import socket; socket.create_connection(('127.0.0.1', $port))" 2>/dev/null; do sleep 0.1; done

export QT_QPA_PLATFORM=offscreen
export KALDRA_DATA_DIR="$out/data"
export KALDRA_SNAPSHOT_DIR="$out/snapshots"
export KALDRA_XPLAT_FEED="http://127.0.0.1:$port"
export KALDRA_TEST_ANSWERS=0
export KALDRA_TEST_STOP_BEFORE_GAME=1
if [ "$rollback" = 1 ]; then
  export KALDRA_TEST_FAIL_START="$next"
  export KALDRA_TEST_ANSWERS_AFTER_SWAP=0
fi
log="$KALDRA_DATA_DIR/logs/launcher.log"
echo "self-update: $app ($current) -> $next from $KALDRA_XPLAT_FEED"

start=$(date +%s.%N)
elapsed() { awk -v now="$(date +%s.%N)" -v start="$start" 'BEGIN { printf "%.2f", now - start }'; }
"$app/Contents/MacOS/Kaldrith" &
launcher=$!
# Notes when each phase's log line first appears; the launcher that the helper starts
# writes "test: stop before the game start" when it is done.
for phase in "xplat: " "xplat-fetch exit" "self-update: " "self-update $current -> $next confirmed" \
  "self-update to $next rolled back" "test: stop before the game start"; do
  case "$phase" in
    *confirmed) [ "$rollback" = 1 ] && continue ;;
    *"rolled back") [ "$rollback" = 0 ] && continue ;;
  esac
  until grep -q "$phase" "$log" 2>/dev/null; do
    if [ "$(elapsed | cut -d. -f1)" -gt 120 ]; then
      echo "self-update: gave up waiting for \"$phase\"" >&2
      exit 1
    fi
    sleep 0.05
  done
  printf '%7s s  %s\n' "$(elapsed)" "$phase"
done
wait "$launcher" || true

echo "--- installed: $(sed -n '/CFBundleShortVersionString/{n;s/.*<string>\(.*\)<\/string>.*/\1/p}' "$app/Contents/Info.plist")"
echo "--- launcher.log"
cat "$log"
echo "--- snapshots in $KALDRA_SNAPSHOT_DIR"
ls "$KALDRA_SNAPSHOT_DIR"
