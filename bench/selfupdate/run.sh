#!/bin/sh
# The launcher's own update, measured by hand (never by the tests):
#   1. sha256File of a 1 GB file against sha256sum;
#   2. an image download cut at 50 % and started again: the bytes the second run
#      fetches, against the image's size;
#   3. a whole self-update of a 50 MB bundle, from the offer's answer to the new
#      launcher confirmed, phase by phase, against copying the bundle and hashing the
#      image once (the least any installer does).
#
#   bench/selfupdate/run.sh [BUILD]
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
[ $# -gt 0 ] && shift

echo "== 1. sha256File"
"$build/bench/selfupdate/sha256_file_bench" "$@"

echo "== 2. resume after a cut at 50 %"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tool="$build/Kaldrith.app/Contents/Resources/bin/kaldra-update"
mkdir -p "$work/next"
cp -a "$build/Kaldrith.app" "$work/next/Kaldrith.app"
sed -i "s|<string>1.0.0</string>|<string>9.0</string>|" "$work/next/Kaldrith.app/Contents/Info.plist"
head -c 30000000 /dev/urandom >"$work/next/Kaldrith.app/Contents/Resources/padding.bin"
"$tool" publish-launcher "$work/next/Kaldrith.app" "$work/channel" --key "$build/signing/publisher-key.pem" >/dev/null
image="$work/channel/Kaldrith-9.0.dmg"
size=$(stat -c %s "$image")
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# A throttled server that honours "Range: bytes=N-", so that the first run can be cut at
# half the image and the second continue.
python3 - "$work/channel" "$port" <<'PY' &
import http.server, os, re, sys, time
root, port = sys.argv[1], int(sys.argv[2])
class Slow(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *a): pass
    def do_GET(self):
        path = os.path.join(root, os.path.basename(self.path))
        if not os.path.isfile(path):
            self.send_response(404); self.send_header("Content-Length", "0"); self.end_headers(); return
        size = os.path.getsize(path)
        match = re.match(r"bytes=(\d+)-$", self.headers.get("Range", ""))
        start = int(match.group(1)) if match else 0
        self.send_response(206 if match else 200)
        if match: self.send_header("Content-Range", f"bytes {start}-{size - 1}/{size}")
        self.send_header("Content-Length", str(size - start)); self.end_headers()
        with open(path, "rb") as f:
            f.seek(start)
            try:
                while chunk := f.read(1 << 20):
                    self.wfile.write(chunk); time.sleep(0.05)
            except (BrokenPipeError, ConnectionResetError):
                pass
http.server.ThreadingHTTPServer(("127.0.0.1", port), Slow).serve_forever()
PY
server=$!
trap 'kill $server; rm -rf "$work"' EXIT
until python3 -c "import socket; socket.create_connection(('127.0.0.1', $port))" 2>/dev/null; do sleep 0.1; done
set -- xplat-fetch --state "$work/state" --platform macos --json --out "$work/out" \
  --feed "http://127.0.0.1:$port"
"$tool" "$@" >/dev/null 2>"$work/err" &
first=$!
until [ "$(cat "$work"/out/*.part 2>/dev/null | wc -c)" -ge $((size / 2)) ]; do sleep 0.01; done
kill -9 $first
wait $first 2>/dev/null || true
kept=$(cat "$work"/out/*.part | wc -c)
"$tool" "$@" >/dev/null 2>"$work/err"
again=$(sed -n 's/.*bytes, \([0-9]*\) of them fetched.*/\1/p' "$work/err")
awk -v size="$size" -v kept="$kept" -v again="$again" 'BEGIN {
  printf "image %d bytes; cut after %d (%.1f %%); second run fetched %d (%.1f %% of the image)\n",
    size, kept, 100 * kept / size, again, 100 * again / size }'

echo "== 3. whole self-update of a 50 MB bundle"
bundle_mb=$(du -sm "$build/Kaldrith.app" | cut -f1)
pad=$((50 - bundle_mb))
[ "$pad" -lt 0 ] && pad=0
start=$(date +%s.%N)
cp -a "$build/Kaldrith.app" "$work/copy.app"
head -c $((pad * 1000000)) /dev/urandom >"$work/copy.app/padding.bin"
sha256sum "$image" >/dev/null
baseline=$(awk -v now="$(date +%s.%N)" -v start="$start" 'BEGIN { printf "%.2f", now - start }')
sh scripts/self_update_demo.sh --pad-mb "$pad" "$build" | grep -E '^ *[0-9.]+ s '
echo "baseline (cp -a of the bundle and sha256sum of an image): $baseline s"
