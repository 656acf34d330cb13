# Shared by run.sh and test.sh: building, Wine prefixes and a headless X server.
# Source it; it expects ORVANE_ROOT to be set to the repository's root.

orvane_build() {  # orvane_build BUILD_DIR [cmake --build args...]
  local build_dir=$1 libs; shift
  # The static libarchive, liblzma and libbz2 for Windows: built once, then found in the cache.
  libs=$(bash "$ORVANE_ROOT/scripts/build-libs.sh")
  cmake -S "$ORVANE_ROOT" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$ORVANE_ROOT/cmake/mingw-i686.cmake" \
    -DORVANE_MINGW_LIBS="$libs" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" "$@"
}

# A 32-bit Wine prefix of our own; never the user's ~/.wine.
orvane_prefix() {  # orvane_prefix PREFIX_DIR
  export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
  # No "install Mono/Gecko?" questions: nothing here needs them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}

# Everything the functions below start is stopped when the shell exits, on failure too.
ORVANE_XVFB_PIDS=()
ORVANE_SERVER_PREFIXES=()
ORVANE_SESSIONS=()  # background jobs started with setsid, stopped whole
orvane_stop() {
  local prefix pid
  for pid in "${ORVANE_SESSIONS[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
  for prefix in "${ORVANE_SERVER_PREFIXES[@]}" "${WINEPREFIX:-}"; do
    [ -z "$prefix" ] || WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  done
  [ ${#ORVANE_XVFB_PIDS[@]} -eq 0 ] || kill "${ORVANE_XVFB_PIDS[@]}" 2>/dev/null || true
}

# Starts Xvfb on a free display and exports DISPLAY; stopped when the shell exits.
# -displayfd lets the server pick the number itself, so runs started side by side never
# share (or fight over) one display.
orvane_xvfb() {
  local fifo n
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  ORVANE_XVFB_PIDS+=($!)
  trap orvane_stop EXIT
  n=$(timeout 20 head -n1 "$fifo" || true)
  rm -f "$fifo"
  if [ -z "$n" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$n"
}

# Keeps one wineserver running for $WINEPREFIX until the shell exits: a Wine program then
# starts in about 0.05 s instead of seconds. The first program also starts Wine's services,
# which hold on to the standard handles they inherit for as long as the server lives; they
# get none of ours, or a runner reading a test's output (CTest) would wait for ever.
orvane_wineserver() {
  wineserver -p
  ORVANE_SERVER_PREFIXES+=("$WINEPREFIX")
  trap orvane_stop EXIT
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

# A headless X server has no window manager. For a window that a manager would manage, Wine
# waits on every hide (the main window's close, each message box and dialog) for the manager
# to mark it withdrawn, and gives up only after 2 s (winex11's wait_for_withdrawn_state,
# "wait timed out"). Told to leave a program's windows unmanaged, it hides them at once.
# Only for the programs under test: an unmanaged window takes the X input focus itself, and
# when a test program's window took it and went, Orvane.exe could take the late focus-out
# for the focus leaving Wine and drop the activation it had just got back. The setting
# stays in the prefix, so only for prefixes used on our own headless servers.
orvane_unmanaged() {  # orvane_unmanaged PROGRAM.exe...
  local program
  for program in "$@"; do
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" /v Managed /d N /f \
      </dev/null >/dev/null 2>&1
  done
}

# N desktops for Wine tests side by side, each a Wine prefix, an X display (with no window
# manager) and a resident wineserver of its own. Desktop 0 is $WINEPREFIX itself (made by
# orvane_prefix), the others are copies of it. Writes DIR/<id> (prefix and display, read by
# tests/on_desktop.sh) and DIR/resources.json (for ctest --resource-spec-file), and exports
# ORVANE_DESKTOPS=DIR. The shell keeps desktop 0's WINEPREFIX and DISPLAY.
orvane_desktops() {  # orvane_desktops N DIR
  local n=$1 dir base=$WINEPREFIX prefix i ids=
  dir=$(realpath -m "$2")
  rm -rf "$dir"
  mkdir -p "$dir"
  # Copied before any server runs in the base, so that no copy catches a registry half saved.
  for ((i = 1; i < n; i++)); do
    rm -rf "$base-$i"
    cp -a "$base" "$base-$i"
  done
  for ((i = 0; i < n; i++)); do
    prefix=$base
    [ "$i" -eq 0 ] || prefix=$base-$i
    WINEPREFIX=$prefix orvane_xvfb
    WINEPREFIX=$prefix orvane_wineserver
    WINEPREFIX=$prefix orvane_unmanaged Orvane.exe
    printf '%s\n%s\n' "$prefix" "$DISPLAY" > "$dir/$i"
    ids+="${ids:+,}{\"id\":\"$i\",\"slots\":1}"
  done
  printf '{"version":{"major":1,"minor":0},"local":[{"desktop":[%s]}]}\n' "$ids" > "$dir/resources.json"
  { read -r WINEPREFIX && read -r DISPLAY; } < "$dir/0"
  export WINEPREFIX DISPLAY ORVANE_DESKTOPS=$dir
}
