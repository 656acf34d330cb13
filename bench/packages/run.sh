#!/usr/bin/env bash
# Package-check benchmark (run on demand, not in CI): wall time and peak memory of one
# native Pkzip25 install with -check-packages for maps whose outer chains are very long
# or loop, and for a batch of 100 archives into a game of 20,000 packages.
#   bash bench/packages/run.sh [WORK_DIR]        (default build/bench-packages)
# REV=<git revision> times that revision's Pkzip25 instead of the working tree's, for a
# before-and-after comparison: REV=HEAD~3 bash bench/packages/run.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$root/build/bench-packages}
mkdir -p "$work"
work=$(cd "$work" && pwd)

src=$root
if [ -n "${REV:-}" ]; then
  src="$work/src-$(git -C "$root" rev-parse --short "$REV")"
  rm -rf "$src" && mkdir -p "$src"
  git -C "$root" archive "$REV" unzip | tar -x -C "$src"
fi
build="$work/build-$(basename "$src")"
cmake -S "$src/unzip" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target Pkzip25 >/dev/null
ours="$build/Pkzip25"
echo "Pkzip25 of ${REV:-the working tree}: $ours"

shapes="$work/shapes"
[ -f "$shapes/big-game/Textures/Tex19999.utx" ] || python3 "$root/bench/packages/make_shapes.py" "$shapes"

# Runs Pkzip25 with these arguments and prints its exit code, wall time and peak memory.
measure() {
  local what=$1
  shift
  local code=0
  /usr/bin/time -f '%e %M' -o "$work/time.txt" timeout 600 "$ours" "$@" >"$work/out.txt" 2>&1 || code=$?
  read -r secs kb < <(tail -n 1 "$work/time.txt")
  printf '%-44s exit %-3s %8.2f s %9.1f MB\n' "$what" "$code" "$secs" "$(echo "$kb" | awk '{ print $1 / 1024 }')"
}

fresh_game() {
  rm -rf "$work/game"
  mkdir -p "$work/game/Maps" "$work/game/Textures"
  cp -r "$shapes/big-game/System" "$work/game/"
}
game="$work/game"
for shape in chain imports ring; do
  fresh_game
  measure "$shape.zip" -extract -all-or-nothing "-check-packages=$game" "$shapes/$shape.zip" '*.unr' "$game/Maps/" \
    '*.utx' "$game/Textures/"
  grep '^Unloadable' "$work/out.txt" | sed 's/^/    /' || true
done

# The batch installs into the big game, as the player's install does, and takes its maps
# out again afterwards.
mapfile -t more < <(tr -d '\r' < "$shapes/batch/list.txt")
rm -rf "$shapes/big-game/Maps"
mkdir -p "$shapes/big-game/Maps"
big="$shapes/big-game"
measure "100 archives, game of 20,000 packages" -orvane "$shapes/batch/CTF-Batch000.zip" "$big" "${more[@]}"
grep -c '^Done. The map is installed.' "$work/out.txt" | sed 's/^/    archives installed whole: /'
rm -rf "$big/Maps"
mkdir -p "$big/Maps" "$work/empty/Textures" "$work/empty/Maps"
cp -r "$big/System" "$work/empty/"
measure "100 archives, empty game" -orvane "$shapes/batch/CTF-Batch000.zip" "$work/empty" "${more[@]}"
rm -rf "$work/empty"
