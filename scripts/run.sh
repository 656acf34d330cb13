#!/usr/bin/env bash
# Builds Orvane and opens its window under Wine.
#
# By default it uses a demo: a Wine prefix of its own (build/win32/demo-prefix) holding a
# sample game folder C:\Games\UnrealTournament, the game's registry entry, and two sample
# map archives in C:\Orvane\Sample Maps\: CTF-OrvaneDemo.zip installs cleanly, and
# DM-OrvaneNeeds.zip needs packages the game lacks, which the summary names. Pick one,
# press Ok, and watch it land.
#
#   scripts/run.sh [--game 'C:\path\to\UnrealTournament'] [--prefix /path/to/wineprefix]
#
# --game (or ORVANE_GAME) names your own game folder instead of the demo's; it is written
#   to the game's registry entry in the prefix, as the game's installer would.
# --prefix (or ORVANE_PREFIX) runs in another Wine prefix instead of the demo's.
# On a machine that runs no 32-bit program it runs the x86_64 build of the same sources under
# wine64, in build/win64/demo-prefix (see orvane_choose_wine in scripts/lib.sh).
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"

game=${ORVANE_GAME:-}
prefix=${ORVANE_PREFIX:-}
while [ $# -gt 0 ]; do
  case $1 in
    --game) game=$2; shift 2 ;;
    --prefix) prefix=$(realpath -m "$2"); shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "Unknown option: $1 (try --help)" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
orvane_choose_wine
echo "The window runs the $ORVANE_WINE_ARCH build: $ORVANE_WINE_WHY"
build=$ORVANE_WINE_BUILD
orvane_build "$ORVANE_WINE_ARCH" "$build"
orvane_prefix "${prefix:-$ORVANE_ROOT/$build/demo-prefix}"
[ -n "${DISPLAY:-}" ] || { echo "No DISPLAY: opening the window on a headless X server."; orvane_xvfb; }

drive_c=$WINEPREFIX/drive_c
# The program and what ships beside it.
mkdir -p "$drive_c/Orvane"
for f in Orvane.exe Pkzip25.exe Orvane.BAT; do
  if [ -f "$build/$f" ]; then cp "$build/$f" "$drive_c/Orvane/"; fi
done

# The sample map archives, in the layout most maps come in (folders named after the game's),
# holding real packages. CTF-OrvaneDemo needs only its own texture package and the game's
# code, so it installs cleanly; DM-OrvaneNeeds also needs a texture and a sound package that
# nothing holds, so the summary names them as missing. Made afresh every run.
samples="$drive_c/Orvane/Sample Maps"
mkdir -p "$samples"
python3 - "$samples" "$ORVANE_ROOT/install_script/tests" <<'PY'
import os, sys, zipfile
sys.path.insert(0, sys.argv[2])
from unreal_package import package_bytes

def pack(name, files):
    with zipfile.ZipFile(os.path.join(sys.argv[1], name), "w", zipfile.ZIP_DEFLATED) as z:
        for path, data in files.items():
            z.writestr(path, data)

pack("CTF-OrvaneDemo.zip", {
    "Maps/CTF-OrvaneDemo.unr": package_bytes(needs={"Botpack": "Class", "OrvaneDemoTex": "Texture"},
                                             groups={"OrvaneDemoTex": ["Walls"]}, exports=["MyLevel"],
                                             unique="CTF-OrvaneDemo", shape="map"),
    "Textures/OrvaneDemoTex.utx": package_bytes(unique="OrvaneDemoTex", holds=[("Texture", "Walls.Texture1")]),
    "Help/CTF-OrvaneDemo.txt": b"CTF-OrvaneDemo\r\nA sample map for trying Orvane.\r\n"})
pack("DM-OrvaneNeeds.zip", {
    "DM-OrvaneNeeds.unr": package_bytes(needs={"Botpack": "Class", "CityTex": "Texture", "CitySounds": "Sound"},
                                        exports=["MyLevel"], unique="DM-OrvaneNeeds", shape="map"),
    "DM-OrvaneNeeds.txt": b"DM-OrvaneNeeds\r\nNeeds CityTex.utx and CitySounds.uax, which it does not bring.\r\n"})
PY

if [ -z "$game" ]; then
  game='C:\Games\UnrealTournament'
  system="$drive_c/Games/UnrealTournament/System"
  mkdir -p "$system"
  [ -f "$system/UnrealTournament.EXE" ] || printf 'stand-in for the game\r\n' > "$system/UnrealTournament.EXE"
  # Stand-ins for the code packages every map needs, shaped as the game's own: packages
  # that export script classes, those the sample maps take among them. A text stand-in of an earlier run is replaced; anything else stays.
  python3 - "$system" "$ORVANE_ROOT/install_script/tests" <<'PY'
import os, sys
sys.path.insert(0, sys.argv[2])
from unreal_package import stock_package

for name in ("Core", "Engine", "Botpack"):
    path = os.path.join(sys.argv[1], name + ".u")
    if os.path.exists(path) and open(path, "rb").read() != b"stand-in for the game\r\n":
        continue
    with open(path, "wb") as f:
        f.write(stock_package(name))
PY
fi
# In the registry's 32-bit view, where the game's own 32-bit installer writes it.
wine reg add 'HKLM\Software\Unreal Technology\Installed Apps\UnrealTournament' \
  /v Folder /t REG_SZ /d "$game" /reg:32 /f >/dev/null

echo "Game folder: $game"
echo "Sample maps: C:\\Orvane\\Sample Maps\\CTF-OrvaneDemo.zip (installs cleanly)"
echo "             C:\\Orvane\\Sample Maps\\DM-OrvaneNeeds.zip (needs packages the game lacks)"
echo "Wine prefix: $WINEPREFIX"
cd "$drive_c/Orvane"
# The install script goes on in a console of its own after the window closes.
wine 'C:\Orvane\Orvane.exe'
