#!/usr/bin/env bash
# Native checks of the unzip program (unzip/): the unit and end-to-end tests under
# AddressSanitizer and UBSan, the install's cases as the player runs them (the script tests,
# run on Pkzip25 -orvane without Wine), and libarchive's own RAR and 7z test archives against
# bsdtar (unzip/tests/corpus_test.py), then short libFuzzer runs of the ZIP reader and the
# 7z/RAR reader (seeds made here with Debian's zip and 7zz, and the RAR test archives of
# unzip/tests/data), of the UMOD reader, of the Unreal package reader and of the object check
# on a small game (seeds made by the script tests' builders).
#   bash scripts/test-native.sh BUILD_ROOT      (e.g. build)
# Builds into BUILD_ROOT/native and BUILD_ROOT/fuzz; exits non-zero on any failure.
# FUZZ_SECONDS (default 25) sets the length of the fuzzing, shared by the five targets.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

echo "== native build with ASan+UBSan: $build/native"
# The compiler cache outside the clone, where there is one (as orvane_build in lib.sh).
ccache=()
if command -v ccache >/dev/null; then
  ccache=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1  # another clone finds what this one compiled
fi
cmake -S "$root/unzip" -B "$build/native" -DORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug "${ccache[@]}" >/dev/null
cmake --build "$build/native" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build/native" --output-on-failure -j"$jobs"

echo "== the install's cases (install_script/tests/script_tests.py) against Pkzip25 -orvane"
# 77: some cases cannot run here (a small disk needs root); the rest passed.
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  python3 "$root/install_script/tests/script_tests.py" --engine "$build/native/Pkzip25" || status=$?
[ $status -eq 0 ] || [ $status -eq 77 ] || exit $status

echo "== libarchive's own RAR and 7z test archives: ours against bsdtar"
# The archives come with the libraries' source (the cross build may be making them now).
libs=$(bash "$root/scripts/build-libs.sh")
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  python3 "$root/unzip/tests/corpus_test.py" "$libs/share/libarchive-tests" "$build/native/Pkzip25"

echo "== fuzzer build with clang: $build/fuzz"
cmake -S "$root/unzip" -B "$build/fuzz" -DORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${ccache[@]}" >/dev/null
cmake --build "$build/fuzz" -j"$jobs" --target zip_reader_fuzz libarchive_reader_fuzz unreal_package_fuzz umod_reader_fuzz \
  unreal_game_fuzz

# Seeds: small archives of every kind the readers handle or refuse. For the 7z/RAR reader,
# 7z in several codings, encrypted, solid or not, and the RAR archives of the tests, since
# Debian has no RAR writer.
seeds="$build/fuzz/seeds"
corpus="$build/fuzz/corpus"
seeds7="$build/fuzz/seeds-7z"
corpus7="$build/fuzz/corpus-7z"
work="$build/fuzz/seed-src"
rm -rf "$seeds" "$seeds7" "$work"
mkdir -p "$seeds" "$corpus" "$seeds7" "$corpus7" "$work/Maps"
(
  cd "$work"
  printf 'Actor Class=Engine.Brush Name=Brush0\n%.0s' $(seq 40) > Maps/CTF-Seed.unr
  printf 'readme\n' > readme.txt
  zip -q -X "$seeds/deflated.zip" Maps/CTF-Seed.unr readme.txt
  zip -q -X -0 "$seeds/stored.zip" readme.txt
  zip -q -X -fz "$seeds/zip64.zip" readme.txt
  zip -q -r "$seeds/folders.zip" Maps readme.txt
  zip -q -X -P pw "$seeds/encrypted.zip" readme.txt
  zip -q -X -Z bzip2 "$seeds/bzip2.zip" readme.txt || true
  printf 'streamed\n' | zip -q "$seeds/streamed.zip" -
  cp "$seeds/stored.zip" "$seeds/comment.zip"
  echo 'archive comment' | zip -q -z "$seeds/comment.zip"
  z() { 7zz a -bso0 -bse0 -bsp0 "$@"; }
  z -m0=lzma2 -ms=on "$seeds7/lzma2_solid.7z" Maps readme.txt
  z -m0=lzma -ms=off "$seeds7/lzma.7z" Maps readme.txt
  z -m0=ppmd "$seeds7/ppmd.7z" readme.txt
  z -m0=bzip2 "$seeds7/bzip2.7z" readme.txt
  z -m0=deflate "$seeds7/deflate.7z" readme.txt
  z -mf=BCJ2 "$seeds7/bcj2.7z" readme.txt
  z -mx0 "$seeds7/stored.7z" readme.txt
  z -pSeed "$seeds7/encrypted.7z" readme.txt
  z -pSeed -mhe=on "$seeds7/encrypted_headers.7z" readme.txt
)
rm -rf "$work"
# The test archives too: filters libarchive lacks, a pipe's data and an update archive
# (whose header Pkzip25 reads itself).
cp "$root"/unzip/tests/data/*.rar "$root"/unzip/tests/data/filter_*.7z "$root"/unzip/tests/data/from_stdin.7z \
  "$root"/unzip/tests/data/update_anti.7z "$root"/unzip/tests/data/huge_dictionary.7z "$seeds7/"

# Package seeds: every name-table form and header layout the reader handles, and some damage.
pkg_seeds="$build/fuzz/package-seeds"
pkg_corpus="$build/fuzz/package-corpus"
game_seeds="$build/fuzz/game-seeds"
game_corpus="$build/fuzz/game-corpus"
rm -rf "$pkg_seeds" "$game_seeds"
mkdir -p "$pkg_seeds" "$pkg_corpus" "$game_seeds" "$game_corpus"
python3 - "$root/install_script/tests" "$pkg_seeds" "$game_seeds" <<'EOF_PY'
import os, sys
sys.path.insert(0, sys.argv[1])
import unreal_package as u
needs = {"CityTex": "Texture", "CitySounds": "Sound", "Tunes": "Music", "CityMod": "Class", "Meshes": "Mesh"}
groups = {"CityTex": ["Walls", "Floors.Old"]}
seeds = {"empty.utx": u.package_bytes()}
for version in (69, 68, 64, 63, 61):
    seeds["map%d.unr" % version] = u.package_bytes(needs=needs, groups=groups, version=version,
                                                   unique="CTF-Seed", exports=["MyLevel"])
loop = [("Core", "Package", "A", u.import_ref(1)), ("Core", "Package", "B", u.import_ref(0))]
seeds["loop.unr"] = u.raw_package(imports=loop)
seeds["bad-tag.unr"] = b"\0" + seeds["map69.unr"][1:]
for name, data in seeds.items():
    with open(os.path.join(sys.argv[2], name), "wb") as f:
        f.write(data)
# Games for the object check (unreal_game_fuzz.cpp): the map, the ini, then the game's
# CityTex, CitySounds, Tunes, CityMod and CTF-Other, joined by "|PKG|".
holds = {"CityTex": [("Texture", "Walls.Texture1"), ("Texture", "Floors.Old.Texture1")],
         "CitySounds": [("Sound", "Sound1")], "Tunes": [("Music", "Music1")], "CityMod": [("Class", "Class1")]}
game = [u.package_bytes(holds=holds.get(n, ()), unique=n) for n in ("CityTex", "CitySounds", "Tunes", "CityMod")]
game.append(u.package_bytes(needs={"CityTex": "Texture"}, unique="CTF-Other"))
ini = b"[Core.System]\r\nPaths=../System/*.u\r\nPaths=../Maps/*.unr\r\nPaths=../Textures/*.utx\r\n"
for version in (69, 63):
    games = {"game%d" % version: [seeds["map%d.unr" % version], b""] + game,
             "game%d-ini" % version: [seeds["map%d.unr" % version], ini] + game[:2],
             "game%d-wrong" % version: [seeds["map%d.unr" % version], b""] + game[1:] + game[:1]}
    for name, pieces in games.items():
        with open(os.path.join(sys.argv[3], name), "wb") as f:
            f.write(b"|PKG|".join(pieces))
EOF_PY

secs=${FUZZ_SECONDS:-25}
each=$(( (secs + 4) / 5 ))
cd "$build/fuzz"
echo "== fuzzing the ZIP reader for ${each}s"
ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./zip_reader_fuzz -max_total_time="$each" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  "$corpus" "$seeds"
echo "== fuzzing the 7z/RAR reader for ${each}s"
# libarchive asks for absurd sizes on some damaged headers and copes when malloc says no,
# as it does on Windows: let malloc say no here too, instead of stopping the run.
ASAN_OPTIONS=abort_on_error=1:allocator_may_return_null=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./libarchive_reader_fuzz -max_total_time="$each" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  "$corpus7" "$seeds7"

echo "== fuzzing the package reader for ${each}s"
ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./unreal_package_fuzz -max_total_time="$each" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  "$pkg_corpus" "$pkg_seeds"

echo "== fuzzing the object check on a small game for ${each}s"
ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./unreal_game_fuzz -max_total_time="$each" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  "$game_corpus" "$game_seeds"

echo "== fuzzing the UMOD reader for ${each}s"
rm -rf umod-seeds
mkdir -p umod-corpus
python3 "$root/install_script/tests/umod_file.py" --seeds umod-seeds
ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./umod_reader_fuzz -max_total_time="$each" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  umod-corpus umod-seeds
echo "== native checks passed"
