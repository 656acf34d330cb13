# Shared by run.sh and test.sh: building, Wine prefixes and a headless X server.
# Source it; it expects ORVANE_ROOT to be set to the repository's root.

# Which Windows build the Wine tests and the demo run. The release is always the i686 build.
# Some kernels here run no 32-bit program at all ("Exec format error" for every 32-bit Linux
# program, Wine's 32-bit loader among them); there the same sources are built for x86_64
# and run under wine64 in win64 prefixes. Sets and exports ORVANE_WINE_ARCH (i686 or x86_64),
# ORVANE_WINE_BUILD (the build folder, relative to the root), ORVANE_WINE_WHY (the reason, for
# the reader) and ORVANE_WINEARCH (the kind of prefix that build needs). ORVANE_WINE_ARCH set
# beforehand chooses without asking the machine.
orvane_choose_wine() {
  local loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64 out status=0 bin name
  case ${ORVANE_WINE_ARCH:-} in
    i686|x86_64) ORVANE_WINE_WHY="chosen by ORVANE_WINE_ARCH" ;;
    "")
      # Run once: a file that exists says nothing about whether this kernel can run it.
      out=$("$loader32" --version 2>&1 </dev/null) || status=$?
      if [ $status -eq 0 ]; then
        ORVANE_WINE_ARCH=i686 ORVANE_WINE_WHY="this machine runs 32-bit programs"
      else
        ORVANE_WINE_ARCH=x86_64
        ORVANE_WINE_WHY="this machine runs no 32-bit program ($loader32: exit $status${out:+, ${out##*: }})"
      fi ;;
    *) echo "ORVANE_WINE_ARCH is '$ORVANE_WINE_ARCH'; it must be i686 or x86_64" >&2; return 1 ;;
  esac
  if [ "$ORVANE_WINE_ARCH" = i686 ]; then
    ORVANE_WINE_BUILD=build/win32 ORVANE_WINEARCH=win32
  else
    status=0
    out=$("$loader64" --version 2>&1 </dev/null) || status=$?
    if [ $status -ne 0 ]; then
      echo "Wine cannot run here: its 32-bit loader does not run on this machine, and its 64-bit" >&2
      echo "loader $loader64 failed too (exit $status${out:+: $out})." >&2
      return 1
    fi
    ORVANE_WINE_BUILD=build/win64 ORVANE_WINEARCH=win64
    # Debian's wine wrapper (and wineboot and the other tools, which go through it as
    # wine-stable) takes the 32-bit loader whenever its file exists, even where the kernel
    # cannot run it. Ours come first on PATH and always take the 64-bit one.
    bin=$ORVANE_ROOT/$ORVANE_WINE_BUILD/wine-bin
    mkdir -p "$bin"
    for name in wine wine-stable; do
      printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$loader64" "$loader64" > "$bin/$name"
      chmod +x "$bin/$name"
    done
    export PATH="$bin:$PATH"
  fi
  export ORVANE_WINE_ARCH ORVANE_WINE_BUILD ORVANE_WINE_WHY ORVANE_WINEARCH
}

orvane_build() {  # orvane_build ARCH BUILD_DIR [cmake --build args...]
  local arch=$1 build_dir=$2 libs shipped=() launcher=()
  shift 2
  # The compiler cache, where there is one, outside the clone: paths below the clone count
  # relative to it, so that a fresh clone compiles only what changed.
  if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=$ORVANE_ROOT CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  # The static libarchive, liblzma and libbz2 for Windows: built once, then found in the cache.
  libs=$(bash "$ORVANE_ROOT/scripts/build-libs.sh" "$arch") ||
    { echo "Building the libraries for $arch failed: see the messages above" >&2; return 1; }
  # The x86_64 build never ships: its tests of the shipped programs' shape read the i686 build's.
  [ "$arch" = i686 ] || shipped=(-DORVANE_SHIPPED_BUILD="$ORVANE_ROOT/build/win32")
  cmake -S "$ORVANE_ROOT" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$ORVANE_ROOT/cmake/mingw-$arch.cmake" \
    -DORVANE_MINGW_LIBS="$libs" "${shipped[@]}" "${launcher[@]}" >/dev/null ||
    { echo "Configuring the $arch build in $build_dir failed" >&2; return 1; }
  cmake --build "$build_dir" -j"$(nproc)" "$@" || { echo "The $arch build in $build_dir failed" >&2; return 1; }
}

# A Wine prefix of our own, made of the kind that orvane_choose_wine chose; never the user's
# ~/.wine. An existing one keeps its own kind (Wine reads it from the prefix): the i686 build
# runs in either.
orvane_prefix() {  # orvane_prefix PREFIX_DIR
  local arch=${ORVANE_WINEARCH:-win32}
  export WINEPREFIX=$1 WINEDEBUG=${WINEDEBUG:--all}
  # No "install Mono/Gecko?" questions: nothing here needs them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -f "$WINEPREFIX/system.reg" ]; then
    # Wine refuses to run 64-bit programs in a 32-bit prefix, with words a reader may not place.
    if [ "$arch" = win64 ] && grep -q '^#arch=win32' "$WINEPREFIX/system.reg"; then
      echo "The Wine prefix $WINEPREFIX is a 32-bit one, and the x86_64 build runs only in a 64-bit" >&2
      echo "one: name another prefix, or remove this one to have it made anew." >&2
      return 1
    fi
    return 0
  fi
  echo "Creating Wine prefix $WINEPREFIX ($arch)"
  mkdir -p "$WINEPREFIX"
  local log=$WINEPREFIX.wineboot.log
  if ! WINEARCH=$arch wineboot -i >"$log" 2>&1 || ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Wine could not make the prefix $WINEPREFIX ($arch). What it said:" >&2
    tail -n 20 "$log" >&2
    return 1
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
