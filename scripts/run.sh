#!/usr/bin/env bash
# Builds Orvane and opens its window under Wine.
#
# By default it uses a demo: a Wine prefix of its own (build/win32/demo-prefix) holding a
# sample game folder C:\Games\UnrealTournament, the game's registry entry, and a sample
# map archive in C:\Orvane\Sample Maps\. Pick the map, press Ok, and watch it land.
#
#   scripts/run.sh [--game 'C:\path\to\UnrealTournament'] [--prefix /path/to/wineprefix]
#
# --game (or ORVANE_GAME) names your own game folder instead of the demo's; it is written
#   to the game's registry entry in the prefix, as the game's installer would.
# --prefix (or ORVANE_PREFIX) runs in another Wine prefix instead of the demo's.
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"

game=${ORVANE_GAME:-}
prefix=${ORVANE_PREFIX:-$ORVANE_ROOT/build/win32/demo-prefix}
while [ $# -gt 0 ]; do
  case $1 in
    --game) game=$2; shift 2 ;;
    --prefix) prefix=$(realpath -m "$2"); shift 2 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "Unknown option: $1 (try --help)" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
orvane_build build/win32
orvane_prefix "$prefix"
[ -n "${DISPLAY:-}" ] || { echo "No DISPLAY: opening the window on a headless X server."; orvane_xvfb; }

drive_c=$WINEPREFIX/drive_c
# The program and what ships beside it.
mkdir -p "$drive_c/Orvane"
for f in Orvane.exe Pkzip25.exe Orvane.BAT; do
  if [ -f "build/win32/$f" ]; then cp "build/win32/$f" "$drive_c/Orvane/"; fi
done

# The sample map archive, in the layout most maps come in: folders named after the game's.
sample="$drive_c/Orvane/Sample Maps/CTF-OrvaneDemo.zip"
if [ ! -f "$sample" ]; then
  work=$(mktemp -d)
  mkdir -p "$work/Maps" "$work/Textures" "$work/Help" "$(dirname "$sample")"
  head -c 200000 /dev/urandom > "$work/Maps/CTF-OrvaneDemo.unr"
  head -c 50000 /dev/urandom > "$work/Textures/OrvaneDemo.utx"
  printf 'CTF-OrvaneDemo\r\nA sample map for trying Orvane.\r\n' > "$work/Help/CTF-OrvaneDemo.txt"
  (cd "$work" && zip -qr "$sample" Maps Textures Help)
  rm -rf "$work"
fi

if [ -z "$game" ]; then
  game='C:\Games\UnrealTournament'
  mkdir -p "$drive_c/Games/UnrealTournament/System"
  [ -f "$drive_c/Games/UnrealTournament/System/UnrealTournament.EXE" ] ||
    printf 'stand-in for the game\r\n' > "$drive_c/Games/UnrealTournament/System/UnrealTournament.EXE"
fi
wine reg add 'HKLM\Software\Unreal Technology\Installed Apps\UnrealTournament' \
  /v Folder /t REG_SZ /d "$game" /f >/dev/null

echo "Game folder: $game"
echo "Sample map:  C:\\Orvane\\Sample Maps\\CTF-OrvaneDemo.zip"
echo "Wine prefix: $WINEPREFIX"
cd "$drive_c/Orvane"
# The install script goes on in a console of its own after the window closes.
wine 'C:\Orvane\Orvane.exe'
