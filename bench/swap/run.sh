#!/bin/sh
# bench/swap/run.sh BUILD_DIR: the bundle exchange's costs against baselines measured in
# the same run, on a 1 MB and a 1 GB bundle made here (in $TMPDIR, removed afterwards):
#   the exchange itself (one rename) for 1 MB against 1 GB;
#   the staging copy (ditto stand-in) against cp -a;
#   codesign --verify against sha256sum of the same files.
# Run by hand on an idle machine; it needs about 3 GB of free space.
set -eu
build=$(cd "${1:-build}" && pwd)
tools=$build/Kaldrith.app/Contents/Resources/platform
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

# elapsed COMMAND...: its wall time in seconds, after the disk has caught up.
elapsed() {
  sync
  start=$(date +%s.%N)
  "$@" >/dev/null
  awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }'
}
min() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN { print (a < b ? a : b) }'; }

# best_pair A B: the best of three runs of each, taken in turns so that neither gains
# from the other's cache or pays for its write-back.
best_pair() {
  best_a= best_b=
  for _ in 1 2 3; do
    best_a=$(min "$(elapsed "$1")" "$best_a")
    best_b=$(min "$(elapsed "$2")" "$best_b")
  done
  echo "$best_a $best_b"
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
set -- $(best_pair copy_cp copy_ditto)
echo "staging copy of 1 GB: cp -a $1 s, ditto $2 s, speed ratio ditto / cp -a $(ratio "$1" "$2")"

hash_all() { (cd "$work/large/a.app" && find . -type f -print0 | xargs -0 sha256sum); }
verify() { "$tools/codesign" --verify --deep --strict "$work/large/a.app"; }
set -- $(best_pair hash_all verify)
echo "verify of 1 GB: sha256sum $1 s, codesign --verify $2 s, speed ratio codesign / sha256sum $(ratio "$1" "$2")"
