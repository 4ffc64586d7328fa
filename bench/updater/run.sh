#!/usr/bin/env bash
# Measures the updater tool against the standard tools on generated data and prints the
# ratios:
#   (a) verify over 2,000 files (2 GB) against sha256sum, on one thread and on all cores
#   (b) prepare with nothing changed against a full verify, over 10,000 files (2 GB)
#   (c) prepare downloading 1 GB over loopback HTTP against curl, from the same server
#
#   bench/updater/run.sh [BUILD_DIR]      (default: build)
#
# Needs about 4 GB free under /tmp; what it generates there is removed at the end. Run it
# on an otherwise idle machine: every figure is the best of a few runs.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
tool=$build/Kaldrith.app/Contents/Resources/bin/kaldra-update
server=$build/bench/updater/bench_http_server
work=$(mktemp -d /tmp/kaldra-bench-XXXXXX)
server_pid=
cleanup() {
  if [[ -n $server_pid ]]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

if [[ ! -x $tool ]]; then
  echo "no kaldra-update in $build: build the target kaldra-update first" >&2
  exit 1
fi
if [[ ! -x $server ]]; then
  echo "no bench_http_server in $build: build the target bench_http_server first" >&2
  exit 1
fi

# elapsed SETUP COMMAND...: runs SETUP untimed, then COMMAND; prints its wall time in ns.
elapsed() {
  local setup=$1 start end
  shift
  $setup
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $((end - start))
}

# best NAME NS: keeps the smaller of NS and the value of NAME in NAME.
best() {
  if [[ -z ${!1:-} ]] || (($2 < ${!1})); then printf -v "$1" %s "$2"; fi
}

seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
rate() { awk -v bytes="$1" -v ns="$2" 'BEGIN { printf "%5.0f MB/s", bytes / ns * 1e3 }'; }

# generate FOLDER COUNT SIZE: COUNT files of SIZE random bytes in FOLDER/data, named
# f00000, f00001, ... and on the disk before anything is measured.
generate() {
  mkdir -p "$1/data"
  head -c $(($2 * $3)) /dev/urandom | split -d -b "$3" -a 5 - "$1/data/f"
  sync
}

# adopt FOLDER: publishes FOLDER as a channel and prepares it as its own game folder, so
# that it holds the tool's saved manifest and cache (and sits in the page cache).
adopt() {
  "$tool" publish "$1" >/dev/null
  KALDRA_UPDATE_CHANNEL=$1 "$tool" prepare --root "$1" --json >/dev/null 2>&1
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"

echo "== (a) verify, 2,000 files of 1 MB, against sha256sum (single-threaded)"
a=$work/a
generate "$a" 2000 1000000
adopt "$a"
# The contenders take turns, so that a change in the machine's load hits all alike.
sha= one= all=
for _ in 1 2 3; do
  best sha "$(elapsed : sha256sum "$a"/data/*)"
  best one "$(elapsed : env KALDRA_UPDATE_THREADS=1 "$tool" verify --root "$a")"
  best all "$(elapsed : "$tool" verify --root "$a")"
done
echo "sha256sum            $(seconds "$sha") s $(rate 2e9 "$sha")"
echo "verify, one thread   $(seconds "$one") s $(rate 2e9 "$one")  $(ratio "$sha" "$one")x sha256sum (target >= 0.9)"
echo "verify, $(nproc) threads    $(seconds "$all") s $(rate 2e9 "$all")  $(ratio "$sha" "$all")x sha256sum (target > 1)"
rm -rf "$a"

echo "== (b) prepare with nothing changed against a full verify, 10,000 files of 200 kB"
b=$work/b
generate "$b" 10000 200000
adopt "$b"
unchanged= full=
for _ in 1 2 3; do
  best unchanged "$(elapsed : env KALDRA_UPDATE_CHANNEL="$b" "$tool" prepare --root "$b" --json)"
  best full "$(elapsed : "$tool" verify --root "$b")"
done
echo "prepare, unchanged   $(seconds "$unchanged") s"
echo "verify               $(seconds "$full") s  prepare $(ratio "$full" "$unchanged")x faster (target >= 20)"
rm -rf "$b"

echo "== (c) download of 1 GB over loopback HTTP, the tool against curl, same server"
c=$work/c
generate "$c/channel" 1 1000000000
"$tool" publish "$c/channel" >/dev/null
coproc SERVER { "$server" "$c/channel"; }
server_pid=$SERVER_PID
read -r url <&"${SERVER[0]}"
remove_downloads() {
  rm -rf "$c/game" "$c/curl.bin"
  sync
}
curl_sync() { curl -sSf -o "$c/curl.bin" "$url/data/f00000" && sync "$c/curl.bin"; }
# Warm the server's page cache.
curl -sSf -o /dev/null "$url/data/f00000"
plain= synced= tool_time=
for _ in 1 2 3; do
  best plain "$(elapsed remove_downloads curl -sSf -o "$c/curl.bin" "$url/data/f00000")"
  best synced "$(elapsed remove_downloads curl_sync)"
  best tool_time "$(elapsed remove_downloads env KALDRA_UPDATE_CHANNEL="$url" "$tool" prepare --root "$c/game" --json)"
done
echo "curl -o              $(seconds "$plain") s $(rate 1e9 "$plain")"
echo "curl -o, then sync   $(seconds "$synced") s $(rate 1e9 "$synced")"
echo "prepare (hash+fsync) $(seconds "$tool_time") s $(rate 1e9 "$tool_time")  $(ratio "$plain" "$tool_time")x curl -o (target >= 0.8), $(ratio "$synced" "$tool_time")x curl -o + sync"
