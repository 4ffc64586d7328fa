#!/bin/sh
# Starts Kaldrith under Wine: kaldra-wine.sh run
#
# The launcher passes KALDRA_DATA_DIR (the data folder), KALDRA_WINE_DIR (Wine inside
# the bundle), KALDRA_RES_DIR (this script's folder) and KALDRA_PLATFORM, and on some
# keyboards KALDRA_MAC_PICKUP_SCANCODE, which the game reads itself. Standard error is
# the launch log; the game's own output goes to logs/game.log.
#
# The launcher recognises the game as the shell's direct child whose program ends with
# /lib/wine/x86_64-unix/Kaldrith, and takes this script's exit status as the game's:
# 0 or 1 is a normal end, anything else a failure.
set -u

if [ "$#" -ne 1 ] || [ "$1" != run ]; then
  echo "kaldra-wine.sh: usage: kaldra-wine.sh run" >&2
  exit 64
fi
if [ -z "${KALDRA_DATA_DIR:-}" ] || [ -z "${KALDRA_WINE_DIR:-}" ]; then
  echo "kaldra-wine.sh: KALDRA_DATA_DIR and KALDRA_WINE_DIR must be set" >&2
  exit 64
fi

prefix=$KALDRA_DATA_DIR/prefix
game_dir=$prefix/drive_c/Kaldrith
marker=$prefix/.kaldra-runtime
logs=$KALDRA_DATA_DIR/logs
mkdir -p "$game_dir" "$logs" || exit 70

if [ -x "$KALDRA_WINE_DIR/bin/wine" ]; then
  wine=$KALDRA_WINE_DIR/bin/wine
else
  wine=$(command -v wine) || wine=
fi

if [ -n "$wine" ]; then
  export WINEPREFIX="$prefix"
  if [ ! -e "$marker" ]; then
    echo "kaldra-wine.sh: setting up the Wine prefix $prefix" >&2
    if ! "$wine" wineboot --init; then
      echo "kaldra-wine.sh: wineboot failed" >&2
      exit 70
    fi
  fi
  set -- "$wine" 'C:\Kaldrith\kaldrith.exe'
else
  # No Wine on this system: the stand-in game plays the game's part.
  set -- "$KALDRA_WINE_DIR/lib/wine/x86_64-unix/Kaldrith" 'C:\Kaldrith\kaldrith.exe'
fi
: > "$marker"

# Whoever looks for a running game (the updater tool) finds it by its working folder.
cd "$game_dir" || exit 70
echo "kaldra-wine.sh: starting $*" >&2
# A plain command, neither the last one nor in a pipeline: the shell forks it as its
# direct child and waits for it.
"$@" > "$logs/game.log"
status=$?
echo "kaldra-wine.sh: the game ended with status $status" >&2
exit "$status"
