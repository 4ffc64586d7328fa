#!/bin/sh
# Runs the README's "Step by step, from nothing" commands as written, from the repository's
# root, with a new home folder; then looks at what a player got.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
script=$home/walkthrough.sh
echo 'trap '"'"'kill ${server:-} 2>/dev/null || true'"'"' EXIT' >"$script"
awk '/^### Step by step, from nothing/ { on = 1; next }
     on && /^### / { exit }
     on && /^```sh$/ { code = 1; next }
     on && code && /^```$/ { code = 0; next }
     on && code { print }' "$root/README.md" >>"$script"
test "$(grep -c . "$script")" -gt 20
cd "$root"
HOME=$home sh -eu "$script"

player=$home/kaldrith/player
test "$(cat "$player/data/level2.txt")" = "a new level"
cmp "$player/kaldrith.exe" "$home/kaldrith/new-player/kaldrith.exe"
grep -q "\"1.0.4\"" "$player/.kaldra-manifest.json"
