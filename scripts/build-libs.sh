#!/usr/bin/env bash
# Builds the static Windows libraries that Pkzip25 links, libarchive (7z and RAR)
# with liblzma and libbz2, from Debian's own source packages with Debian's patches, and
# prints the prefix holding them (include/, lib/, share/licenses/, and libarchive's own RAR
# and 7z test archives in share/libarchive-tests/). Debian ships no MinGW build of them;
# zlib is Debian's libz-mingw-w64-dev.
#
#   scripts/build-libs.sh [i686|x86_64]  # prints e.g. ~/.cache/orvane/mingw-i686/3.6.2-1+deb12u5_..._1.0.8-5
#
# i686 (the default) is the release's; x86_64 is for the build that the Wine tests run where
# this machine runs no 32-bit program. Each target has a cache folder of its own.
# The prefix is kept outside the clone, keyed by the source packages' versions, so only a
# fresh machine (or a new Debian version) builds; a later run just prints it. A build goes
# into a temporary folder that is moved into place once complete, so an interrupted one
# leaves nothing that looks finished. The source packages come through an apt sources list
# and lists folder of our own (beside the prefixes), never through the machine's apt setup;
# that needs no root. ORVANE_LIBS_CACHE overrides the folder that holds the targets' folders.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
case $arch in
  i686|x86_64) ;;
  *) echo "build-libs: unknown target $arch (i686 or x86_64)" >&2; exit 2 ;;
esac
cache=${ORVANE_LIBS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvane}/mingw-$arch
# Raised whenever the way the libraries are built changes, so that older builds are not reused.
recipe=r2
host=$arch-w64-mingw32
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

say() { echo "build-libs: $*" >&2; }

# One run at a time, from reading the lists on (apt refuses a second one on the same lists,
# and the native tests ask for the prefix while the cross build may be making it); the loser
# of a race then finds the winner's prefix.
exec 9>"$cache/.lock"
flock 9

# --- the source packages' versions, through our own apt state ---------------------------
apt_dir=$cache/apt
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")
apt_update() {
  [ -f /etc/apt/sources.list.d/debian.sources ] || { say "no /etc/apt/sources.list.d/debian.sources to copy"; exit 1; }
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$apt_dir/sources/debian.sources"
  say "reading Debian's source package lists"
  apt-get -qq "${apt_opts[@]}" update >&2
}
# Name and version of each source package, as apt would fetch it now: "libarchive 3.6.2-1+deb12u5".
versions() {
  apt-get -qq "${apt_opts[@]}" source --print-uris libarchive xz-utils bzip2 2>/dev/null |
    sed -n "s/^'[^']*' \([^_ ]*\)_\([^ ]*\)\.dsc .*/\1 \2/p"
}
[ -d "$apt_dir/lists" ] && [ "$(versions | wc -l)" -eq 3 ] || apt_update
declare -A version
while read -r name ver; do version[$name]=$ver; done < <(versions)
for name in libarchive xz-utils bzip2; do
  [ -n "${version[$name]:-}" ] || { say "no source package $name in Debian's lists"; exit 1; }
done
prefix=$cache/${version[libarchive]}_${version[xz-utils]}_${version[bzip2]}-$recipe
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# What an interrupted build left; none is running while we hold the lock.
rm -rf "$cache"/.build.*
work=$(mktemp -d "$cache/.build.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/prefix
mkdir -p "$stage/include" "$stage/lib" "$stage/share/licenses"
log=$work/build.log
run() {  # run COMMAND...: output into the log, shown only on failure
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    say "failed: $*"
    exit 1
  fi
}

say "fetching for $arch: libarchive ${version[libarchive]}, xz-utils ${version[xz-utils]}, bzip2 ${version[bzip2]}"
mkdir -p "$work/src"
(cd "$work/src" && apt-get -qq "${apt_opts[@]}" source --download-only libarchive xz-utils bzip2 >>"$log" 2>&1) || {
  # Lists older than the mirror name files it no longer has: read them anew once.
  apt_update
  (cd "$work/src" && run apt-get -qq "${apt_opts[@]}" source --download-only libarchive xz-utils bzip2)
}
for dsc in "$work"/src/*.dsc; do
  # Unpacks and applies Debian's patches. apt has already checked the files against the
  # signed lists, so a missing upstream keyring only costs a warning here.
  run dpkg-source -x "$dsc" "$work/src/$(basename "$dsc" .dsc)"
done
src_of() { echo "$work/src/$1_${version[$1]}"; }
jobs=$(nproc 2>/dev/null || echo 2)
common=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release)

say "building libbz2"
bz=$(src_of bzip2)
# bzip2 builds its library with a plain Makefile for the host; these seven files are the
# library, built here through the tool chain file like the others.
mkdir -p "$work/bz2"
printf 'cmake_minimum_required(VERSION 3.13)\nproject(bz2 C)\nadd_library(bz2 STATIC %s)\n' \
  "$(printf '"%s/%s.c" ' "$bz" blocksort "$bz" huffman "$bz" crctable "$bz" randtable \
     "$bz" compress "$bz" decompress "$bz" bzlib)" > "$work/bz2/CMakeLists.txt"
run cmake -S "$work/bz2" -B "$work/build-bz2" "${common[@]}"
run cmake --build "$work/build-bz2" -j"$jobs"
cp "$work/build-bz2/libbz2.a" "$stage/lib/"
cp "$bz/bzlib.h" "$stage/include/"

say "building liblzma"
xz=$(src_of xz-utils)
run cmake -S "$xz" -B "$work/build-xz" "${common[@]}" -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_INSTALL_PREFIX="$stage"
run cmake --build "$work/build-xz" -j"$jobs" --target liblzma
run cmake --install "$work/build-xz" --component liblzma_Development

say "building libarchive (minutes)"
la=$(src_of libarchive)
off=()
for o in OPENSSL NETTLE MBEDTLS LIBB2 LZ4 LZO ZSTD LIBXML2 EXPAT PCREPOSIX LIBGCC CNG \
         TAR CPIO CAT XATTR ACL ICONV TEST INSTALL WERROR; do
  off+=(-DENABLE_$o=OFF)
done
run cmake -S "$la" -B "$work/build-la" "${common[@]}" -DWINDOWS_VERSION=VISTA -DPOSIX_REGEX_LIB=NONE "${off[@]}" \
  -DENABLE_ZLIB=ON -DENABLE_LZMA=ON -DENABLE_BZip2=ON \
  -DZLIB_INCLUDE_DIR="/usr/$host/include" -DZLIB_LIBRARY="/usr/$host/lib/libz.a" \
  -DLIBLZMA_INCLUDE_DIR="$stage/include" -DLIBLZMA_LIBRARY="$stage/lib/liblzma.a" \
  -DBZIP2_INCLUDE_DIR="$stage/include" -DBZIP2_LIBRARIES="$stage/lib/libbz2.a"
for need in HAVE_LIBZ HAVE_LIBLZMA HAVE_LIBBZ2; do
  grep -q "^#define $need 1" "$work/build-la/config.h" || { say "libarchive was configured without $need"; exit 1; }
done
run cmake --build "$work/build-la" -j"$jobs" --target archive_static
cp "$work/build-la/libarchive/libarchive_static.a" "$stage/lib/libarchive.a"
cp "$la/libarchive/archive.h" "$la/libarchive/archive_entry.h" "$stage/include/"

# The licences the release package ships beside the programs, in Windows line ends.
licence() { sed 's/\r*$/\r/' "$1" > "$stage/share/licenses/$2"; }
licence "$la/COPYING" libarchive.txt
licence "$xz/COPYING" liblzma.txt
licence "$bz/LICENSE" bzip2.txt
licence /usr/share/doc/libz-mingw-w64-dev/copyright zlib.txt
# libarchive's own RAR and 7z test archives, real and malformed: the native tests hold
# Pkzip25 against bsdtar on them.
mkdir -p "$stage/share/libarchive-tests"
cp "$la"/libarchive/test/*rar*.uu "$la"/libarchive/test/*7z*.uu "$stage/share/libarchive-tests/"
printf 'libarchive %s\nxz-utils %s\nbzip2 %s\n' "${version[libarchive]}" "${version[xz-utils]}" \
  "${version[bzip2]}" > "$stage/versions.txt"
touch "$stage/.complete"

rm -rf "$prefix"
mv "$stage" "$prefix"
say "made $prefix"
echo "$prefix"
