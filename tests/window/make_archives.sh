#!/bin/sh
# Makes the map archives of the whole-chain tests in C:\OrvaneArchives of the test prefix:
# the same map flat, in the game's folders, and wrapped in one more folder.
set -eu
out="$WINEPREFIX/drive_c/OrvaneArchives"
rm -rf "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/flat" "$work/foldered/Maps" "$work/foldered/Textures" "$work/foldered/Sounds" \
  "$work/foldered/Music" "$work/foldered/System" "$work/foldered/Help" "$work/wrapped"
cd "$work/flat"
for f in CTF-Chain.unr Chain.utx Chain.uax Chain.umx Chain.u Chain.int ReadMe.txt Chain.uz; do
  printf 'contents of %s\r\n' "$f" > "$f"
done
zip -q "$out/flat.zip" *
cp CTF-Chain.unr ../foldered/Maps/; cp Chain.utx ../foldered/Textures/; cp Chain.uax ../foldered/Sounds/
cp Chain.umx ../foldered/Music/; cp Chain.u Chain.int Chain.uz ../foldered/System/; cp ReadMe.txt ../foldered/Help/
cd ../foldered && zip -qr "$out/foldered.zip" .
cp -r . ../wrapped/CTF-Chain && cd ../wrapped && zip -qr "$out/wrapped.zip" CTF-Chain
