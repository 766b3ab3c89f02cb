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

xvfb_pid=""
# A display for GUI code: the caller's, or a private Xvfb.
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r -t 30 number <"$fifo" || { rm -f "$fifo"; log "Xvfb did not start"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
}

# Wine's InternetGetConnectedState calls a machine offline unless an
# interface other than loopback is up with a gateway, and the download client
# then gives up at its first step. A run in a private network namespace with
# loopback alone (as the developers' wrapper gives) gets a veth pair of its
# own, with a link-local address and a default route through its other end:
# up, and leading nowhere. Never on a machine with another interface.
ensure_network_for_wine() {
  command -v ip >/dev/null || return 0
  local others
  others=$(ip -o link show | awk -F': ' '$2 != "lo" { print $2 }')
  [ -z "$others" ] || return 0
  [ "$(id -u)" -eq 0 ] || return 0
  ip link add quillmoor0 type veth peer name quillmoor1 2>/dev/null || return 0
  ip link set quillmoor0 up && ip link set quillmoor1 up &&
    ip addr add 169.254.77.1/30 dev quillmoor0 && ip addr add 169.254.77.2/30 dev quillmoor1 &&
    ip route add default via 169.254.77.2 dev quillmoor0
}

# Starts one wineserver for the whole run and brings the prefix up. Wine's own
# helper processes inherit open descriptors, so everything Wine starts here
# writes to /dev/null and never holds a caller's pipe open.
start_wine() {
  ensure_network_for_wine
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

stop_session() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
