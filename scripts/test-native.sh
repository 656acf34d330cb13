#!/usr/bin/env bash
# Native checks of the unzip program (unzip/): the unit and end-to-end tests
# under AddressSanitizer and UBSan, then short libFuzzer runs of the ZIP
# reader, over seeds made here with Debian's zip, and of the UMOD reader, over
# seeds made by the script tests' UMOD builder.
#   bash scripts/test-native.sh BUILD_ROOT      (e.g. build)
# Builds into BUILD_ROOT/native and BUILD_ROOT/fuzz; exits non-zero on any failure.
# FUZZ_SECONDS (default 20) sets the length of each fuzzing run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

echo "== native build with ASan+UBSan: $build/native"
cmake -S "$root/unzip" -B "$build/native" -DORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/native" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build/native" --output-on-failure -j"$jobs"

echo "== fuzzer build with clang: $build/fuzz"
cmake -S "$root/unzip" -B "$build/fuzz" -DORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build/fuzz" -j"$jobs" --target zip_reader_fuzz umod_reader_fuzz

# Seeds: small archives of every kind the reader handles or refuses.
seeds="$build/fuzz/seeds"
corpus="$build/fuzz/corpus"
work="$build/fuzz/seed-src"
rm -rf "$seeds" "$work"
mkdir -p "$seeds" "$corpus" "$work/Maps"
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
)
rm -rf "$work"

secs=${FUZZ_SECONDS:-20}
echo "== fuzzing the ZIP reader for ${secs}s"
cd "$build/fuzz"
ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./zip_reader_fuzz -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  "$corpus" "$seeds"

echo "== fuzzing the UMOD reader for ${secs}s"
rm -rf umod-seeds
mkdir -p umod-corpus
python3 "$root/install_script/tests/umod_file.py" --seeds umod-seeds
ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./umod_reader_fuzz -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  umod-corpus umod-seeds
echo "== native checks passed"
