#!/usr/bin/env bash
# Runs every test, headless: the extractor's native tests (sanitizers, fuzz smoke run),
# then the Windows build's unit, script and window tests under Wine.
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"

bash scripts/install-deps.sh
bash scripts/test-native.sh build

orvane_build build/win32
# A fresh prefix for every run, so no state leaks from an earlier one.
rm -rf build/win32/test-prefix
orvane_prefix "$ORVANE_ROOT/build/win32/test-prefix"
orvane_xvfb
# Serial: the window tests share C:\TempTemp\ and the screen.
ctest --test-dir build/win32 --output-on-failure "$@"
