#!/bin/sh
# Runs a test command on the desktop that CTest allotted to it: a Wine prefix, an X display
# and a resident wineserver of its own (made by orvane_desktops in scripts/lib.sh), so that
# tests on different desktops never share C:\, the registry, the screen or the foreground.
# Without an allotment (ctest run by hand) the caller's WINEPREFIX and DISPLAY hold.
#   on_desktop.sh COMMAND...          on the allotted desktop
#   on_desktop.sh --each COMMAND...   once on every desktop, for setup that each one needs
set -eu

use() {  # use ID: the desktop's prefix and display, as orvane_desktops wrote them
  { read -r WINEPREFIX && read -r DISPLAY; } < "$ORVANE_DESKTOPS/$1"
  export WINEPREFIX DISPLAY
}

if [ "${1:-}" = --each ]; then
  shift
  [ -n "${ORVANE_DESKTOPS:-}" ] || exec "$@"
  for desktop in "$ORVANE_DESKTOPS"/[0-9]*; do
    (use "$(basename "$desktop")" && "$@")
  done
  exit 0
fi
# CTest's allotment for the first (only) resource group: "id:N,slots:1".
if [ -n "${CTEST_RESOURCE_GROUP_0_DESKTOP:-}" ]; then
  id=${CTEST_RESOURCE_GROUP_0_DESKTOP#id:}
  use "${id%%,*}"
fi
exec "$@"
