#!/bin/sh
# bench/swap/run.sh BUILD_DIR: the bundle exchange's costs against baselines measured in
# the same run, on a 1 MB and a 1 GB bundle made here (in $TMPDIR, removed afterwards):
#   the exchange itself (one rename) for 1 MB against 1 GB;
#   the staging copy (ditto stand-in) against cp -a;
#   codesign --verify against sha256sum of the same files.
# Run by hand on an idle machine; it needs about 3 GB of free space.
set -eu
build=$(cd "${1:-build}" && pwd)
tools=$(cd "$(dirname "$0")/../../platform-tools" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# make_bundle DIR MEGABYTES: a bundle of a few large files and many small ones.
make_bundle() {
  mkdir -p "$1/Contents/MacOS" "$1/Contents/Resources/small"
  cp "$build/Kaldrith.app/Contents/Info.plist" "$1/Contents/"
  big=$(($2 / 8))
  for i in 1 2 3 4 5 6 7 8; do
    head -c "${big}M" /dev/urandom >"$1/Contents/Resources/big$i.bin"
  done
  i=0
  while [ $i -lt 2000 ]; do
    head -c 4096 /dev/urandom >"$1/Contents/Resources/small/f$i"
    i=$((i + 1))
  done
  ln -s big1.bin "$1/Contents/Resources/link"
  "$tools/codesign" --sign - "$1"
}

# seconds COMMAND...: the best of three wall times.
seconds() {
  best=
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" >/dev/null
    t=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
    best=$(awk -v t="$t" -v b="${best:-$t}" 'BEGIN { print (t < b ? t : b) }')
  done
  echo "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

make_bundle "$work/small/a.app" 1
make_bundle "$work/small/b.app" 1
make_bundle "$work/large/a.app" 1024
mkdir -p "$work/large/b.app"

small=$("$build/bench/swap/exchange_bench" "$work/small/a.app" "$work/small/b.app")
large=$("$build/bench/swap/exchange_bench" "$work/large/a.app" "$work/large/b.app")
echo "exchange: 1 MB bundle ${small} us, 1 GB bundle ${large} us, ratio 1 GB / 1 MB $(ratio "$large" "$small")"

copy_cp() { rm -rf "$work/copy"; cp -a "$work/large/a.app" "$work/copy"; }
copy_ditto() { rm -rf "$work/copy"; "$tools/ditto" --noqtn "$work/large/a.app" "$work/copy"; }
copy_cp
cp_time=$(seconds copy_cp)
ditto_time=$(seconds copy_ditto)
echo "staging copy of 1 GB: cp -a ${cp_time} s, ditto ${ditto_time} s, speed ratio ditto / cp -a $(ratio "$cp_time" "$ditto_time")"

hash_all() { (cd "$work/large/a.app" && find . -type f -print0 | xargs -0 sha256sum); }
verify() { "$tools/codesign" --verify --deep --strict "$work/large/a.app"; }
sha_time=$(seconds hash_all)
verify_time=$(seconds verify)
echo "verify of 1 GB: sha256sum ${sha_time} s, codesign --verify ${verify_time} s, speed ratio codesign / sha256sum $(ratio "$sha_time" "$verify_time")"
