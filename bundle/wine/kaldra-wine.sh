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

# The Wine loader: the bundle's own, else the system's. Debian's wine64 package alone has
# no /usr/bin/wine, so the loader itself is looked for first. KALDRA_WINE_SEARCH replaces
# the system's places (empty: no system Wine).
loader=
for candidate in "$KALDRA_WINE_DIR/bin/wine64" "$KALDRA_WINE_DIR/bin/wine" \
  ${KALDRA_WINE_SEARCH-/usr/lib/wine/wine64 /usr/bin/wine64 /usr/bin/wine /usr/local/bin/wine64 /usr/local/bin/wine}; do
  if [ -f "$candidate" ] && [ -x "$candidate" ]; then
    loader=$candidate
    break
  fi
done

# The game's process, as the launcher recognises it: it runs the loader on the game and
# ends with the game's status.
host=$KALDRA_WINE_DIR/lib/wine/x86_64-unix/Kaldrith
if [ -n "$loader" ]; then
  export WINEPREFIX="$prefix" WINELOADER="$loader"
  # No crash debugger (it would end a crashed game with status 0), no menu entries on the
  # player's desktop, and no offer to download Wine's .NET and HTML engines.
  export WINEDLLOVERRIDES="winedbg.exe=d;winemenubuilder.exe=d;mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
  export WINEDEBUG="${WINEDEBUG-fixme-all}"
  wineserver=$(dirname "$loader")/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver) || wineserver=
  if [ ! -e "$marker" ]; then
    echo "kaldra-wine.sh: setting up the Wine prefix $prefix with $loader" >&2
    if ! "$loader" wineboot --init; then
      echo "kaldra-wine.sh: wineboot failed" >&2
      exit 70
    fi
  fi
  set -- "$host" "$loader" 'C:\Kaldrith\kaldrith.exe'
else
  # No Wine on this system: the native stand-in game plays the game's part.
  wineserver=
  set -- "$host" "$KALDRA_WINE_DIR/lib/wine/x86_64-unix/KaldrithStandIn" 'C:\Kaldrith\kaldrith.exe'
fi
# Only now is the prefix ready.
: > "$marker"

# Whoever looks for a running game (the updater tool) finds it by its working folder.
cd "$game_dir" || exit 70
echo "kaldra-wine.sh: starting $*" >&2
# A plain command, neither the last one nor in a pipeline: the shell forks it as its
# direct child and waits for it.
"$@" > "$logs/game.log"
status=$?
echo "kaldra-wine.sh: the game ended with status $status" >&2
# Wine's own processes (and any the game left behind) end after the game; the launcher
# waits for this script, and quits by itself when they stay too long.
if [ -n "$wineserver" ]; then
  "$wineserver" -w
  echo "kaldra-wine.sh: Wine has ended" >&2
fi
exit "$status"
