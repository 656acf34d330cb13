#!/usr/bin/env bash
# Installs every Debian package that building and testing Orvane needs.
# Safe to run again: it does nothing when everything is already there.
set -euo pipefail

packages=(
  # the cross tool chain and static zlib for Windows
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 libz-mingw-w64-dev
  cmake make googletest
  # the x86_64 build of the same sources, which the Wine tests run where no 32-bit program runs
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  # Wine (both loaders: see orvane_choose_wine in lib.sh) and a headless X server
  wine wine32:i386 wine64 xvfb xauth x11-utils
  # making test archives; the native extractor's build, sanitizers and fuzzer
  zip unzip zlib1g-dev g++ clang libfuzzer-14-dev libclang-rt-14-dev
  # libarchive: Debian's for the native build; for the cross build scripts/build-libs.sh
  # unpacks Debian's source packages (dpkg-source, xz, bzip2) and builds them with CMake
  libarchive-dev liblzma-dev dpkg-dev xz-utils bzip2
  # reference tools and test data: bsdtar, 7zz, Go's zip test archives, Wine's fonts
  libarchive-tools 7zip golang-1.19-src fonts-wine
  # the script and release tests are driven from Python
  python3
  # a compiler cache outside the clone: a fresh clone's builds reuse what an earlier one compiled
  ccache
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
# wine32:i386 alone, and it could not be had within the last day: no new try (each costs a
# minute of index downloads), the Wine tests run the x86_64 build.
unavailable=${XDG_CACHE_HOME:-$HOME/.cache}/orvane/wine32-unavailable
if [ "${missing[*]}" = wine32:i386 ] && [ -n "$(find "$unavailable" -mmin -1440 2>/dev/null)" ]; then
  echo "wine32:i386 could not be installed today: the Wine tests run the x86_64 build under wine64" >&2
  exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# A Debian mirror in the middle of a sync serves an index of the wrong size for a while
# ("Mirror sync in progress?"), often for one architecture only: try again, then go on with
# what could be read.
for try in 1 2 3; do
  $SUDO apt-get update -qq && break
  [ $try -eq 3 ] && echo "apt-get update failed three times; going on with the indexes it has" >&2
  sleep $((try * 10))
done
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@" >/dev/null; }
# wine32:i386 is the only one the tests can do without: where it cannot be had (an i386 index
# behind the amd64 one), the Wine tests run the x86_64 build under wine64 (orvane_choose_wine).
needed=() optional=()
for p in "${missing[@]}"; do
  if [ "$p" = wine32:i386 ]; then optional+=("$p"); else needed+=("$p"); fi
done
[ ${#needed[@]} -eq 0 ] || install "${needed[@]}"
if [ ${#optional[@]} -gt 0 ] && ! install "${optional[@]}"; then
  echo "Could not install ${optional[*]}: the Wine tests will run the x86_64 build under wine64" >&2
  mkdir -p "$(dirname "$unavailable")" && touch "$unavailable"
fi
