# Shared by tools/run and tools/test: where things live, the builds, and the
# Wine session (display, private prefix, one persistent wineserver).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"
# What the caller asked for, before wine-env.sh sets QUILLMOOR_WINE_ARCH to
# the architecture in use; kept for what this run starts (tools/setup).
export QUILLMOOR_WINE_ARCH_CHOICE=${QUILLMOOR_WINE_ARCH_CHOICE-${QUILLMOOR_WINE_ARCH:-}}
# shellcheck source=tools/lib/wine-env.sh
. "$root/tools/lib/wine-env.sh"
# shellcheck source=tools/lib/arch.sh
. "$root/tools/lib/arch.sh"

log() { printf '%s\n' "$*" >&2; }

# The Windows builds: build/win32 (i686, the product) and build/win64
# (x86-64, which stands in for it in the tests where no 32-bit code runs).
windows_toolchain() {
  case $1 in
    win32) echo "$root/cmake/mingw-i686.cmake" ;;
    win64) echo "$root/cmake/mingw-x86_64.cmake" ;;
  esac
}

configure_windows() {
  local name=$1
  shift
  cmake -S "$root" -B "$build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$(windows_toolchain "$name")" -DQUILLMOOR_MISS_BREAKDOWN=OFF "$@" \
    >"$build/$name-configure.log" ||
    { cat "$build/$name-configure.log" >&2; return 1; }
}

# build_windows NAME [CMAKE ARGUMENTS]: configures and builds everything of
# build NAME, or only the targets windows_targets names.
windows_targets=()
build_windows() {
  configure_windows "$@" && cmake --build "$build/$1" ${windows_targets[@]:+--target "${windows_targets[@]}"}
}

configure_win32() { configure_windows win32 "$@"; }
build_win32() { build_windows win32 "$@"; }

# The Windows build a player's run or a benchmark uses, in client_build: the
# 32-bit product, or where no 32-bit code runs, the x64 build standing in
# (said on the console), with the Wine architecture to match.
select_client_build() {
  client_build=win32
  choose_wine_arches || return 2
  if [[ " $REPLY " != *" 32 "* ]]; then
    client_build=win64
    log "The x64 build stands in for the 32-bit client: $no_32_reason."
    select_wine_arch 64
  fi
}

# Builds client_build, its log in build/BUILD-build.log, shown on failure.
build_client() {
  build_windows "$client_build" >"$build/$client_build-build.log" 2>&1 ||
    { cat "$build/$client_build-build.log"; return 1; }
}

configure_native() {
  cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "$@" >"$build/native-configure.log" ||
    { cat "$build/native-configure.log" >&2; return 1; }
}

build_native() {
  configure_native "$@" && cmake --build "$build/native"
}

configure_builds() {
  configure_native && configure_windows win32 && configure_windows win64
}

# The CPU seconds this shell's reaped children have used so far, in REPLY.
# Measured by this shell itself: a subshell starts its count at zero.
children_cpu() {
  local report
  report=$(mktemp)
  times >"$report"
  REPLY=$(sed -n 2p "$report" | awk '{
    total = 0
    for (i = 1; i <= 2; i++) { split($i, part, "m"); total += part[1] * 60 + part[2] }
    printf "%.2f", total }')
  rm -f "$report"
}

# Runs a command (or a function of this shell) as one step of a run and, when
# QUILLMOOR_TIMINGS names a file, records its wall and CPU time there.
step() {
  local name=$1 began cpu code
  shift
  began=$EPOCHREALTIME
  children_cpu
  cpu=$REPLY
  "$@"
  code=$?
  if [ -n "${QUILLMOOR_TIMINGS:-}" ]; then
    children_cpu
    awk -v name="$name" -v a="$began" -v b="$EPOCHREALTIME" -v c="$cpu" -v d="$REPLY" \
      'BEGIN { printf "{\"kind\": \"step\", \"name\": \"%s\", \"wall\": %.2f, \"cpu\": %.2f}\n", name, b - a, d - c }' \
      >>"$QUILLMOOR_TIMINGS"
  fi
  return $code
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
#
#   start_wine            a player's session: tools/run, the screenshots and
#                         the benchmarks, in build/player-wineprefix, with
#                         Wine's windows managed as they always are
#   start_wine --tests    the test suites' session, in build/wineprefix
#                         (the prefix the tests' own checks expect), with
#                         unmanaged windows
#
# Each architecture has prefixes of its own (wine-env.sh): select_wine_arch
# first for a session of the other one; both may run at once.
#
# With no window manager under Xvfb, Wine's X11 driver waits about 2 s for
# every managed window that is hidden or destroyed, to see it withdrawn;
# unmanaged windows have nothing to wait for. No window manager runs for
# the tests, so nothing they check depends on it; a player's session keeps
# the setting a newcomer gets.
start_wine() {
  local windows=managed
  if [ "${1:-}" = --tests ]; then
    windows=unmanaged
  elif [ "$WINEPREFIX" = "$build/wineprefix" ] || [ "$WINEPREFIX" = "$build/wineprefix64" ]; then
    export WINEPREFIX="$build/player-${WINEPREFIX#"$build/"}"
  fi
  mkdir -p "$WINEPREFIX"
  boot_wine
  if ! prefix_is_set_up "$windows"; then
    set_up_prefix "$windows"
    # Explorer and the services read these settings when they start.
    stop_wine
    boot_wine
  fi
}

# The desktop keeper is the session's first program, so the boot it sets
# off (services, the devices, and the prefix itself when it is new) inherits
# its descriptors, not a caller's pipe; the second program returns once the
# boot is done. The desktop, explorer.exe, is started here too, by us: a
# console boot starts none, and the first window a test opens would start it
# as that test's own child, holding ctest's output pipe open for the rest of
# the session. Booting again on top of all that, with "wineboot -i", would
# start a second service manager that fights the first for the service
# database until the session ends.
boot_wine() {
  wineserver -p </dev/null >/dev/null 2>&1
  keep_desktop
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
  local tries
  for tries in $(seq 200); do
    wine_program_runs 'explorer.exe' && return 0
    sleep 0.05
  done
  log "Wine's desktop did not start"
}

# True when a program of this prefix whose command line holds text runs.
wine_program_runs() {
  local process
  for process in /proc/[0-9]*; do
    grep -qzxF "WINEPREFIX=$WINEPREFIX" "$process/environ" 2>/dev/null || continue
    grep -qaiF "\\$1" "$process/cmdline" 2>/dev/null && return 0
  done
  return 1
}

# Ends the session's programs and its wineserver, and waits for them.
stop_wine() {
  wineserver -k </dev/null >/dev/null 2>&1
  wineserver -w </dev/null >/dev/null 2>&1
  release_desktop_keeper
}

# Each setting of ours is made once per prefix and leaves a marker file.
prefix_is_set_up() {
  [ -e "$WINEPREFIX/.quillmoor-cjk-fonts" ] &&
    { [ "$1" != unmanaged ] || [ -e "$WINEPREFIX/.quillmoor-unmanaged-windows" ]; }
}

set_up_prefix() {
  # The faces Wine draws dialogs, message boxes and menus with fall back to
  # Noto Sans CJK SC (fonts-noto-cjk) for the Chinese texts they lack. Not
  # "Small Fonts": that would change the dialog units.
  local face
  if [ ! -e "$WINEPREFIX/.quillmoor-cjk-fonts" ]; then
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif" Arial; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
        /t REG_MULTI_SZ /d "NotoSansCJK-Regular.ttc,Noto Sans CJK SC" /f </dev/null >/dev/null 2>&1 || return 0
    done
    touch "$WINEPREFIX/.quillmoor-cjk-fonts"
  fi
  if [ "$1" = unmanaged ] && [ ! -e "$WINEPREFIX/.quillmoor-unmanaged-windows" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 || return 0
    touch "$WINEPREFIX/.quillmoor-unmanaged-windows"
  fi
}

# The tests' display and their Wine sessions, one for each architecture
# named (32 by default), the first one's left selected.
start_test_session() {
  local arch
  start_display || return 1
  for arch in $(printf '%s\n' "${@:-32}" | tac); do
    select_wine_arch "$arch" && start_wine --tests || return 1
  done
}

# The prefixes whose sessions this shell started, and their desktop keepers.
declare -A desktop_keepers=()
# Wine closes the desktop about a second after its last program ends, and a
# program that starts while the desktop's explorer.exe is going away gets no
# windows ("The explorer process failed to start") and ends. A console
# program that waits for the whole session (cmd's "pause" on a pipe nobody
# writes to) keeps the desktop up between one test's program and the next.
keep_desktop() {
  [ -n "${desktop_keepers[$WINEPREFIX]:-}" ] && return 0
  local fifo keeper_fd
  fifo=$(new_fifo) || return 1
  wine cmd.exe /c pause <"$fifo" >/dev/null 2>&1 &
  local keeper=$!
  exec {keeper_fd}>"$fifo"
  desktop_keepers[$WINEPREFIX]=$keeper_fd
  rm -f "$fifo"
  # Running once its shell has become Wine's loader (the fifo held it until
  # the line above opened it).
  local tries
  for tries in $(seq 100); do
    [ "$(readlink "/proc/$keeper/exe" 2>/dev/null)" != "$(readlink /proc/$$/exe)" ] && break
    sleep 0.05
  done
}

# Lets the desktop of prefix (the selected one by default) close.
release_desktop_keeper() {
  local prefix=${1:-$WINEPREFIX} fd
  fd=${desktop_keepers[$prefix]:-}
  if [ -n "$fd" ]; then
    exec {fd}>&-
    desktop_keepers[$prefix]=""
  fi
}

stop_session() {
  local prefix
  for prefix in "${!desktop_keepers[@]}"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    release_desktop_keeper "$prefix"
  done
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
