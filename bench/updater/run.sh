#!/usr/bin/env bash
# Measures the updater tool against the standard tools on generated data and prints the
# ratios:
#   (a) verify over 2,000 files (2 GB) against sha256sum and openssl's SHA-256 speed, on
#       one thread and on all cores
#   (b) prepare with nothing changed against a full verify, over 10,000 files (2 GB)
#   (c) prepare downloading 1 GB over loopback HTTP against curl, from the same nginx, and
#       against the disk's durable write limit (dd conv=fsync)
#   (d) prepare downloading 4,000 files of 256 kB against curl --parallel, then sha256sum,
#       and the tool's peak memory while it does
#   (e) a 1 GB download killed at half way, then run again: the bytes the second run fetches
#   (f) the chunk store: a 1 GB file changed in 10 places (1 %), and with 64 KB inserted at
#       its start: the bytes each update fetches
#   (g) a fresh install of 1 GB in 2,000 files from the chunk store against the same files
#       published whole: bytes fetched and time
#   (h) publishing 1 GB into the chunk store (chunking, hashing, compressing, writing), and
#       again (chunking and hashing only), against sha256sum
#   (k) a fresh install that walks 100 key rotations, against one without any
#   (r) real update pairs: the two newest versions of each Debian package in
#       KALDRA_BENCH_PACKAGES that the archive lists (or two packages, OLD:NEW), unpacked; the tool against a seeded casync extract, zsync
#       (on a tar of each tree) and a seeded rsync -z, all over loopback: bytes, requests,
#       time, store size, publish time; and the changed files compressed whole (zstd -3).
#       Needs scripts/setup.sh --bench (casync, zsync, rsync) and the archive.
#
#   bench/updater/run.sh [BUILD_DIR [SECTIONS]]      (default: build abcdefgh; k, r on request)
#
# Needs about 4 GB free under $TMPDIR (default /tmp); what it generates there is removed at
# the end. Run it on an otherwise idle machine: every figure is the best of a few runs.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
sections=${2:-abcdefgh}
tool=$build/Kaldrith.app/Contents/Resources/bin/kaldra-update
key=$build/signing/publisher-key.pem
work=$(mktemp -d "${TMPDIR:-/tmp}/kaldra-bench-XXXXXX")
server_pid=
cleanup() {
  if [[ -n $server_pid ]]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work" ${shm:+"$shm"}
}
trap cleanup EXIT

if [[ ! -x $tool ]]; then
  echo "no kaldra-update in $build: build the target kaldra-update first" >&2
  exit 1
fi
if ! command -v nginx >/dev/null && [[ ! -x /usr/sbin/nginx ]]; then
  echo "no nginx: run scripts/setup.sh" >&2
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
  "$tool" publish "$1" --key "$key" --version "1.$(date +%s%N)" >/dev/null
  KALDRA_UPDATE_CHANNEL=$1 "$tool" prepare --root "$1" --json >/dev/null 2>&1
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"

if [[ $sections == *a* ]]; then
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
# What OpenSSL's SHA-256 does on one core with the bytes already in memory: the limit of
# any verify, which must also read them.
openssl_rate=$(openssl speed -evp sha256 -bytes 1048576 -seconds 3 2>/dev/null | tail -1 |
  awk '{ printf "%.0f", $2 / 1000 }')
per_core() { awk -v ns="$1" -v cores="$2" -v limit="$openssl_rate" 'BEGIN { printf "%.2f", 2e9 / ns * 1e3 / cores / limit }'; }
echo "sha256sum            $(seconds "$sha") s $(rate 2e9 "$sha")"
echo "openssl speed        $openssl_rate MB/s on one core"
echo "verify, one thread   $(seconds "$one") s $(rate 2e9 "$one")  $(ratio "$sha" "$one")x sha256sum (target >= 0.9), $(per_core "$one" 1)x openssl per core (target >= 0.8)"
echo "verify, $(nproc) threads    $(seconds "$all") s $(rate 2e9 "$all")  $(ratio "$sha" "$all")x sha256sum (target > 1), $(per_core "$all" "$(nproc)")x openssl per core (target >= 0.8)"
rm -rf "$a"
fi

if [[ $sections == *b* ]]; then
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
fi

# serve FOLDER: nginx on a free loopback port, serving FOLDER; sets url. Each request is
# logged to $work/nginx/access.log as "status bytes request".
serve() {
  local port conf=$work/nginx
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$conf"
  cat >"$conf/nginx.conf" <<CONF
daemon off; master_process off; user root; pid $conf/nginx.pid; error_log $conf/error.log;
events { worker_connections 256; }
http { log_format counted '\$status \$body_bytes_sent \$request';
  access_log $conf/access.log counted; sendfile on; keepalive_requests 100000;
  client_body_temp_path $conf/b; proxy_temp_path $conf/p; fastcgi_temp_path $conf/f;
  uwsgi_temp_path $conf/u; scgi_temp_path $conf/s;
  server { listen 127.0.0.1:$port; root $1; } }
CONF
  /usr/sbin/nginx -p "$conf" -c "$conf/nginx.conf" -e "$conf/error.log" &
  server_pid=$!
  url=http://127.0.0.1:$port
  for _ in $(seq 50); do curl -s -o /dev/null "$url/" && return; sleep 0.1; done
  echo "nginx does not start" >&2
  exit 1
}
stop_serving() {
  kill "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}

# (e) reuses the 1 GB file of (c): the two run together.
if [[ $sections == *[ce]* ]]; then
echo "== (c) download of 1 GB over loopback HTTP, the tool against curl, same nginx"
c=$work/c
generate "$c/channel" 1 1000000000
"$tool" publish "$c/channel" --key "$key" --version "1.$(date +%s%N)" >/dev/null
serve "$c/channel"
remove_downloads() {
  rm -rf "$c/game" "$c/curl.bin" "$c/dd"
  sync
}
curl_hash_sync() {
  curl -sSf -o "$c/curl.bin" "$url/data/f00000" && sha256sum "$c/curl.bin" && sync "$c/curl.bin"
}
# Warm the server's page cache.
curl -sSf -o /dev/null "$url/data/f00000"
plain= checked= tool_time= dd_time=
for _ in 1 2 3; do
  # The disk's durable write limit: a gigabyte of zeros, flushed.
  best dd_time "$(elapsed remove_downloads dd if=/dev/zero of="$c/dd" bs=1M count=1024 conv=fsync)"
  best plain "$(elapsed remove_downloads curl -sSf -o "$c/curl.bin" "$url/data/f00000")"
  best checked "$(elapsed remove_downloads curl_hash_sync)"
  best tool_time "$(elapsed remove_downloads env KALDRA_UPDATE_CHANNEL="$url" "$tool" prepare --root "$c/game" --json)"
done
echo "dd 1 GiB, conv=fsync           $(seconds "$dd_time") s $(rate 1.073741824e9 "$dd_time")"
echo "curl -o                        $(seconds "$plain") s $(rate 1e9 "$plain")"
echo "curl -o, sha256sum, sync       $(seconds "$checked") s $(rate 1e9 "$checked")"
echo "prepare (hash+fsync)           $(seconds "$tool_time") s $(rate 1e9 "$tool_time")  $(ratio "$checked" "$tool_time")x curl+sha256sum+sync (target >= 1.2), $(ratio "$plain" "$tool_time")x curl -o (target >= 0.8), $(ratio "$tool_time" "$dd_time")x the time of dd (target <= 1.15)"
# The same two into memory (/dev/shm): what is left when no disk has to take the bytes.
shm=$(mktemp -d /dev/shm/kaldra-bench-XXXXXX)
remove_shm() { rm -rf "${shm:?}"/*; }
plain_shm= tool_shm=
for _ in 1 2 3; do
  best plain_shm "$(elapsed remove_shm curl -sSf -o "$shm/curl.bin" "$url/data/f00000")"
  best tool_shm "$(elapsed remove_shm env KALDRA_UPDATE_CHANNEL="$url" "$tool" prepare --root "$shm/game" --json)"
done
rm -rf "$shm"
echo "into memory: curl -o           $(seconds "$plain_shm") s, prepare $(seconds "$tool_shm") s  $(ratio "$plain_shm" "$tool_shm")x"

echo "== (e) the same 1 GB killed at half way, then run again"
remove_downloads
partial=$c/game/.kaldra-partial
env KALDRA_UPDATE_CHANNEL="$url" "$tool" prepare --root "$c/game" --json >/dev/null 2>&1 &
tool_pid=$!
until [[ $(du -b "$partial" 2>/dev/null | cut -f1) -ge 500000000 ]]; do sleep 0.01; done
kill -9 "$tool_pid"
wait "$tool_pid" 2>/dev/null || true
kept=$(find "$partial" -type f -printf '%s\n')
second=$(env KALDRA_UPDATE_CHANNEL="$url" "$tool" prepare --root "$c/game" --json 2>&1 >/dev/null |
  sed -n 's/.*downloaded (\([0-9]*\) bytes).*/\1/p')
echo "kept after the kill            $kept bytes"
echo "fetched by the second run      $second bytes = $(awk -v a="$second" 'BEGIN { printf "%.1f", a / 1e7 }') % of the file (target <= 55 %)"
stop_serving
rm -rf "$c"
fi

if [[ $sections == *d* ]]; then
echo "== (d) 4,000 files of 256 kB over loopback HTTP, the tool against curl --parallel"
d=$work/d
generate "$d/channel" 4000 256000
"$tool" publish "$d/channel" --key "$key" --version "1.$(date +%s%N)" >/dev/null
serve "$d/channel"
(cd "$d/channel" && for f in data/f*; do echo "url = \"$url/$f\""; echo "output = \"$d/curl/$f\""; done) >"$d/curl.cfg"
remove_many() {
  rm -rf "$d/game" "$d/curl"
  mkdir -p "$d/curl/data"
  sync
}
curl_many() {
  curl -sSf --no-progress-meter --parallel --parallel-max 8 -K "$d/curl.cfg" && (cd "$d/curl" && sha256sum data/* >/dev/null)
}
remove_many
curl -sSf --no-progress-meter --parallel --parallel-max 8 -K "$d/curl.cfg"  # warm the page cache
many_curl= many_tool=
for _ in 1 2 3; do
  best many_curl "$(elapsed remove_many curl_many)"
  best many_tool "$(elapsed remove_many env KALDRA_UPDATE_CHANNEL="$url" "$tool" prepare --root "$d/game" --json)"
done
remove_many
peak=$( { env KALDRA_UPDATE_CHANNEL="$url" /usr/bin/time -f %M "$tool" prepare --root "$d/game" --json >/dev/null 2>"$d/err"; } ; tail -1 "$d/err")
echo "curl --parallel, sha256sum     $(seconds "$many_curl") s $(rate 1.024e9 "$many_curl")"
echo "prepare                        $(seconds "$many_tool") s $(rate 1.024e9 "$many_tool")  $(ratio "$many_curl" "$many_tool")x (target >= 1.0)"
echo "prepare's peak memory          $((peak / 1024)) MB (target < 64 MB)"
stop_serving
fi


# downloaded FOLDER CHANNEL: prepares FOLDER from CHANNEL; prints the bytes fetched.
downloaded() {
  KALDRA_UPDATE_CHANNEL=$2 "$tool" prepare --root "$1" --json 2>&1 >/dev/null |
    sed -n 's/.*downloaded (\([0-9]*\) bytes).*/\1/p'
}
percent() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f %%", 100 * a / b }'; }

if [[ $sections == *f* ]]; then
echo "== (f) a 1 GB file in the chunk store, changed, and fetched again"
f=$work/f
generate "$f/channel" 1 1000000000
"$tool" publish "$f/channel" --key "$key" --version "1.$(date +%s%N)" >/dev/null
serve "$f/channel"
downloaded "$f/game" "$url" >/dev/null
# 10 places of 1 MB each, spread over the file: 1 % of its bytes.
for i in $(seq 0 9); do
  head -c 1000000 /dev/urandom |
    dd of="$f/channel/data/f00000" bs=1M seek=$((i * 95 + 3)) conv=notrunc status=none
done
"$tool" publish "$f/channel" --key "$key" --version "1.$(date +%s%N)" >/dev/null
changed=$(downloaded "$f/game" "$url")
echo "1 % changed in 10 places        $changed bytes fetched = $(percent "$changed" 1e9) of the file (target <= 2 %)"
{ head -c 65536 /dev/urandom; cat "$f/channel/data/f00000"; } >"$f/inserted"
mv "$f/inserted" "$f/channel/data/f00000"
"$tool" publish "$f/channel" --key "$key" --version "1.$(date +%s%N)" >/dev/null
inserted=$(downloaded "$f/game" "$url")
echo "64 KB inserted at the start     $inserted bytes fetched = $(percent "$inserted" 1e9) of the file (target <= 1 %)"
stop_serving
rm -rf "$f"
fi

if [[ $sections == *g* ]]; then
echo "== (g) a fresh install of 1 GB in 2,000 files: chunk store against whole files"
g=$work/g
generate "$g/whole" 2000 500000
cp -r "$g/whole" "$g/chunked"
"$tool" publish "$g/whole" --key "$key" --version "1.$(date +%s%N)" --whole-files >/dev/null
"$tool" publish "$g/chunked" --key "$key" --version "1.$(date +%s%N)" >/dev/null
serve "$g"
remove_installs() { rm -rf "$g/game"; sync; }
whole= chunked=
for _ in 1 2 3; do
  best whole "$(elapsed remove_installs env KALDRA_UPDATE_CHANNEL="$url/whole" "$tool" prepare --root "$g/game" --json)"
  best chunked "$(elapsed remove_installs env KALDRA_UPDATE_CHANNEL="$url/chunked" "$tool" prepare --root "$g/game" --json)"
done
remove_installs
fetched=$(downloaded "$g/game" "$url/chunked")
echo "bytes fetched                  $fetched = $(percent "$fetched" 1e9) of the game (target <= 101 %)"
echo "whole files                    $(seconds "$whole") s $(rate 1e9 "$whole")"
echo "chunk store                    $(seconds "$chunked") s $(rate 1e9 "$chunked")  $(ratio "$whole" "$chunked")x the whole files' speed (target >= 0.9)"
stop_serving
rm -rf "$g"
fi

if [[ $sections == *h* ]]; then
echo "== (h) publishing 1 GB into the chunk store, against sha256sum ($(nproc) cores)"
h=$work/h
generate "$h" 1 1000000000
sha= first= again=
for _ in 1 2 3; do
  best sha "$(elapsed : sha256sum "$h/data/f00000")"
  best first "$(elapsed "rm -rf $h/kaldra-store" "$tool" publish "$h" --key "$key" --version "1.$(date +%s%N)")"
  best again "$(elapsed : "$tool" publish "$h" --key "$key" --version "1.$(date +%s%N)")"
done
echo "sha256sum                      $(seconds "$sha") s"
echo "publish, empty store           $(seconds "$first") s  $(ratio "$first" "$sha")x sha256sum"
echo "publish, chunks all stored     $(seconds "$again") s  $(ratio "$again" "$sha")x sha256sum (target <= 1.5)"
rm -rf "$h"
fi

if [[ $sections == *k* ]]; then
echo "== (k) a fresh install that walks 100 key rotations, over loopback HTTP"
k=$work/k
mkdir -p "$k/plain" "$k/keys"
echo "a small game" >"$k/plain/kaldrith.exe"
cp -r "$k/plain" "$k/rotated"
"$tool" publish "$k/plain" --key "$key" --version 1.0 >/dev/null
signer=$key
for n in $(seq 1 100); do
  "$tool" keygen "$k/keys/$n.pem" >/dev/null
  "$tool" rotate-key "$k/rotated" --key "$signer" --new-key "$k/keys/$n.pem" --retire >/dev/null
  signer=$k/keys/$n.pem
done
"$tool" publish "$k/rotated" --key "$signer" --version 1.0 >/dev/null
serve "$k"
remove_install() { rm -rf "$k/game"; }
plain= rotated=
for _ in 1 2 3 4 5; do
  best plain "$(elapsed remove_install env KALDRA_UPDATE_CHANNEL="$url/plain" "$tool" prepare --root "$k/game" --json)"
  best rotated "$(elapsed remove_install env KALDRA_UPDATE_CHANNEL="$url/rotated" "$tool" prepare --root "$k/game" --json)"
done
echo "no rotation                    $(seconds "$plain") s"
echo "100 rotations walked           $(seconds "$rotated") s  (target < 1 s)"
stop_serving
rm -rf "$k"
fi

if [[ $sections == *r* ]]; then
echo "== (r) real update pairs, over loopback: the tool, casync (seeded), zsync, rsync -z (seeded)"
r=$work/r
log=$work/nginx/access.log
# requests / bytes: of what nginx sent since the log was emptied.
requests() { wc -l <"$log"; }
sent() { awk '{ s += $2 } END { print s + 0 }' "$log"; }
timed() { local start; start=$(date +%s%N); "$@" >/dev/null 2>&1; sync; seconds $(($(date +%s%N) - start)); }
# best FROM TO COMMAND...: the least time of three runs of COMMAND, each on a fresh copy of
# FROM at TO (which the last run leaves there), after a sync.
best() {
  local from=$1 to=$2 least= t
  shift 2
  for _ in 1 2 3; do
    rm -rf "$to" && cp -a "$from" "$to" && sync
    t=$(timed "$@")
    if [[ -z $least ]] || awk -v a="$t" -v b="$least" 'BEGIN { exit !(a < b) }'; then least=$t; fi
  done
  echo "$least"
}
same() { diff -r --exclude='.kaldra-*' "$1" "$2" >/dev/null && echo same || echo DIFFERENT; }
# A package, whose two newest versions the archive lists, or OLD:NEW, two packages (such as
# two kernels, whose every path differs).
for package in ${KALDRA_BENCH_PACKAGES:-openjdk-17-jre-headless libreoffice-core firefox-esr linux-image-6.1.0-56-amd64:linux-image-6.1.0-57-amd64}; do
  if [[ $package == *:* ]]; then
    specs=("${package%%:*}" "${package#*:}")
  else
    mapfile -t versions < <(apt-cache madison "$package" | awk '{ print $3 }' | sort -uV)
    if ((${#versions[@]} < 2)); then
      echo "$package: the archive lists one version, skipped"
      continue
    fi
    specs=("$package=${versions[-2]}" "$package=${versions[-1]}")
  fi
  rm -rf "$r"
  for i in 0 1; do
    mkdir -p "$r/deb$i"
    (cd "$r/deb$i" && apt-get download "${specs[i]}" >/dev/null 2>&1)
    dpkg-deb -x "$r/deb$i"/*.deb "$r/v$i"
  done
  # A game channel carries regular files only: the package's links (and the folders they
  # leave empty) go, for every contender.
  find "$r/v0" "$r/v1" -type l -delete
  find "$r/v0" "$r/v1" -type d -empty -delete
  echo "-- ${specs[0]} -> ${specs[1]}: $(du -sm "$r/v1" | cut -f1) MB, $(find "$r/v1" -type f | wc -l) files"
  serve "$r"
  # The tool: v0 published and installed, then v1 published into the same store. Each
  # publish (and casync's make below) the best of three, into a fresh copy of what it starts
  # from: this machine's times vary by a fifth between runs.
  publish0=$(best "$r/v0" "$r/ch" "$tool" publish "$r/ch" --key "$key" --version 1.0)
  KALDRA_UPDATE_CHANNEL=$url/ch "$tool" prepare --root "$r/game" --json >/dev/null 2>&1
  find "$r/ch" -mindepth 1 -maxdepth 1 ! -name kaldra-store ! -name 'manifest.json*' -exec rm -rf {} +
  cp -a "$r/v1/." "$r/ch/"
  # The same publish without patches: the time until the manifest is written.
  manifest1=$(best "$r/ch" "$r/ch-nopatches" "$tool" publish "$r/ch-nopatches" --key "$key" \
    --version 2.0 --no-patches)
  rm -rf "$r/ch-nopatches"
  mv "$r/ch" "$r/ch-v0"
  publish1=$(best "$r/ch-v0" "$r/ch" "$tool" publish "$r/ch" --key "$key" --version 2.0)
  rm -rf "$r/ch-v0"
  : >"$log"
  took=$(timed env KALDRA_UPDATE_CHANNEL="$url/ch" "$tool" prepare --root "$r/game" --json)
  echo "this tool        $(sent) bytes, $(requests) requests, $took s, store $(du -sb "$r/ch/kaldra-store" | cut -f1) bytes, publish $publish0 s + $publish1 s ($manifest1 s without patches), $(same "$r/game" "$r/v1")"
  # casync: both versions into one store, v1 extracted with v0 as its seed.
  mkdir -p "$r/empty"
  make0=$(best "$r/empty" "$r/castore" casync make --store="$r/castore" "$r/v0.caidx" "$r/v0")
  mv "$r/castore" "$r/castore-v0"
  make1=$(best "$r/castore-v0" "$r/castore" casync make --store="$r/castore" "$r/v1.caidx" "$r/v1")
  rm -rf "$r/castore-v0"
  cp -a "$r/v0" "$r/caseed"
  : >"$log"
  took=$(timed casync extract --store="$url/castore" --seed="$r/caseed" "$r/v1.caidx" "$r/caout")
  echo "casync           $(sent) bytes, $(requests) requests, $took s, store $(du -sb "$r/castore" | cut -f1) bytes, make $make0 s + $make1 s, $(same "$r/caout" "$r/v1")"
  # zsync: a tar of each tree, v0's as the seed.
  tar -C "$r/v0" -cf "$r/v0.tar" . && tar -C "$r/v1" -cf "$r/v1.tar" .
  (cd "$r" && zsyncmake -u v1.tar -o v1.tar.zsync v1.tar)
  : >"$log"
  took=$(cd "$r" && timed zsync -q -i "$r/v0.tar" -o "$r/zout.tar" "$url/v1.tar.zsync")
  echo "zsync            $(sent) bytes, $(requests) requests, $took s, $(cmp -s "$r/zout.tar" "$r/v1.tar" && echo same || echo DIFFERENT)"
  # rsync -z from a daemon on loopback into a copy of v0.
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf 'port = %s\nuse chroot = no\n[v1]\npath = %s\n' "$port" "$r/v1" >"$r/rsyncd.conf"
  rsync --daemon --no-detach --config="$r/rsyncd.conf" --address=127.0.0.1 &
  rsync_pid=$!
  sleep 0.5
  cp -a "$r/v0" "$r/rseed"
  start=$(date +%s%N)
  received=$(rsync -a -z --delete --stats "rsync://127.0.0.1:$port/v1/" "$r/rseed/" |
    sed -n 's/^Total bytes received: \([0-9,]*\).*/\1/p' | tr -d ,)
  echo "rsync -z         $received bytes, $(seconds $(($(date +%s%N) - start))) s, $(same "$r/rseed" "$r/v1")"
  kill "$rsync_pid"
  # What downloading each new or changed file compressed whole would cost.
  whole=0
  while IFS= read -r -d '' file; do
    rel=${file#"$r/v1/"}
    if ! cmp -s "$file" "$r/v0/$rel"; then whole=$((whole + $(zstd -3 -c -q "$file" | wc -c))); fi
  done < <(find "$r/v1" -type f -print0)
  echo "changed files, zstd -3 each: $whole bytes"
  stop_serving
done
rm -rf "$r"
fi
