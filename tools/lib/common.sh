# Shared by tools/run and tools/test: where things live, the builds, and the
# Wine session (display, private prefix, one persistent wineserver).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"
# shellcheck source=tools/lib/wine-env.sh
. "$root/tools/lib/wine-env.sh"

log() { printf '%s\n' "$*" >&2; }

build_win32() {
  cmake -S "$root" -B "$build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" "$@" >"$build/win32-configure.log" ||
    { cat "$build/win32-configure.log" >&2; return 1; }
  cmake --build "$build/win32"
}

build_native() {
  cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "$@" >"$build/native-configure.log" ||
    { cat "$build/native-configure.log" >&2; return 1; }
  cmake --build "$build/native"
}

# The path of a new named pipe, for a process to talk to this shell.
new_fifo() {
  local fifo
  fifo=$(mktemp -u) && mkfifo "$fifo" && echo "$fifo"
}

xvfb_pid=""
# A display for GUI code: the caller's, or a private Xvfb.
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo
  fifo=$(new_fifo) || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r -t 30 number <"$fifo" || { rm -f "$fifo"; log "Xvfb did not start"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
}

# Starts one wineserver for the whole run and brings the prefix up. Wine's own
# helper processes inherit open descriptors, so everything Wine starts here
# writes to /dev/null and never holds a caller's pipe open.
start_wine() {
  local fresh=""
  [ -e "$WINEPREFIX/system.reg" ] || fresh=yes
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1 || true
  if [ -n "$fresh" ]; then
    # A new prefix's first boot leaves two service managers fighting over the
    # service database, and COM then waits about 10 s in every process for
    # an RPC service that cannot start. One restart settles it.
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  keep_desktop
  # Once per prefix: the faces Wine draws dialogs, message boxes and menus
  # with fall back to Noto Sans CJK SC (fonts-noto-cjk) for the Chinese texts
  # they lack. Not "Small Fonts": that would change the dialog units.
  local marker="$WINEPREFIX/.quillmoor-cjk-fonts" face
  if [ ! -e "$marker" ]; then
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif" Arial; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
        /t REG_MULTI_SZ /d "NotoSansCJK-Regular.ttc,Noto Sans CJK SC" /f </dev/null >/dev/null 2>&1 || return 0
    done
    touch "$marker"
  fi
}

desktop_keeper=""
# Wine closes the desktop about a second after its last program ends, and a
# program that starts while the desktop's explorer.exe is going away gets no
# windows ("The explorer process failed to start") and ends. A console
# program that waits for the whole session (cmd's "pause" on a pipe nobody
# writes to) keeps the desktop up between one test's program and the next.
keep_desktop() {
  [ -n "$desktop_keeper" ] && return 0
  local fifo
  fifo=$(new_fifo) || return 1
  wine cmd.exe /c pause <"$fifo" >/dev/null 2>&1 &
  exec {desktop_keeper}>"$fifo"
  rm -f "$fifo"
}

stop_session() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$desktop_keeper" ]; then
    exec {desktop_keeper}>&-
    desktop_keeper=""
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
