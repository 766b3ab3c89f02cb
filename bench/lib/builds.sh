# Older builds for the benchmarks that run an older build beside this one in
# the same run (bench/fetch, bench/server, bench/page, bench/startup; each
# takes it as --old REV). Sourced after tools/lib/common.sh.

# Builds TARGETs (default: Quillmoor) of the git revision REV (a commit,
# branch or tag of this repository) and prints the build folder, whose
# executables are those of REV. REV's tree is exported into
# build/bench-builds/COMMIT/src and built in build/bench-builds/COMMIT/BUILD
# (client_build: win32, or win64 where the x64 build stands in) with the same
# toolchain and the same cross-built libwebp; a folder built once is reused,
# and the working tree is never touched. The logs stay there. A revision
# from before the x64 build cannot stand in for the 32-bit one. With
# old_build_breakdown=1 the build has the asset server's per-miss breakdown
# compiled in (QUILLMOOR_MISS_BREAKDOWN), in BUILD-breakdown.
#   dir=$(old_build REV [TARGET...])
old_build() {
  local rev=$1
  shift
  local targets=("$@") commit base
  [ ${#targets[@]} -gt 0 ] || targets=(Quillmoor)
  commit=$(git -C "$root" rev-parse --verify --quiet "$rev^{commit}") ||
    { log "not a git revision: $rev"; return 1; }
  base="$build/bench-builds/$commit"
  if [ ! -f "$base/src/CMakeLists.txt" ]; then
    rm -rf "$base"
    mkdir -p "$base/src"
    git -C "$root" archive "$commit" | tar -x -C "$base/src" || { log "cannot export $rev"; return 1; }
  fi
  local name=${client_build:-win32} cpu=i686 options=()
  [ "$name" = win64 ] && cpu=x86_64
  if [ -n "${old_build_breakdown:-}" ]; then
    grep -q QUILLMOOR_MISS_BREAKDOWN "$base/src/cmake/Win32Build.cmake" ||
      { log "$rev has no per-miss breakdown: name a later revision with --old"; return 1; }
    name+=-breakdown
    options=(-DQUILLMOOR_MISS_BREAKDOWN=ON)
  fi
  [ -f "$base/src/cmake/mingw-$cpu.cmake" ] ||
    { log "$rev has no $cpu build: name a later revision with --old"; return 1; }
  log "building ${targets[*]} of $rev ($(git -C "$root" rev-parse --short "$commit")) in $base/$name"
  # The cross-built libwebp is the working tree's (it is not in git).
  cmake -S "$base/src" -B "$base/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$base/src/cmake/mingw-$cpu.cmake" \
    -DQUILLMOOR_WEBP_PREFIX="$root/.deps/libwebp-$cpu" "${options[@]}" >"$base/$name-configure.log" 2>&1 &&
    cmake --build "$base/$name" --target "${targets[@]}" >"$base/$name-build.log" 2>&1 ||
    { log "building $rev failed; see $base/$name-configure.log and $base/$name-build.log"; return 1; }
  echo "$base/$name"
}

# Prints the path of an older client: EXE itself when it names a file, or
# else Quillmoor.exe of the git revision REV (old_build).
#   old_client REV|EXE
old_client() {
  if [ -f "$1" ]; then
    readlink -f "$1"
    return 0
  fi
  local dir
  dir=$(old_build "$1") || return 1
  echo "$dir/Quillmoor.exe"
}

# A short name of what --old named, for the printed figures.
#   old_label REV|EXE
old_label() {
  if [ -f "$1" ]; then
    echo "$1"
  else
    echo "$1 ($(git -C "$root" rev-parse --short "$1^{commit}" 2>/dev/null))"
  fi
}

# Prints the port of a build's asset CDN base when it is a loopback address.
#   cdn_port_of BUILD_FOLDER
cdn_port_of() {
  sed -n 's|^#define QUILLMOOR_CDN_BASE_A "http://127\.0\.0\.1:\([0-9]*\)"$|\1|p' "$1/generated/BuildConfig.h"
}

# Builds TARGETs of the working tree with the per-miss breakdown compiled in,
# in build/BUILD-breakdown (client_build names BUILD), and prints the folder.
#   dir=$(breakdown_build TARGET...)
breakdown_build() {
  local dir="$build/$client_build-breakdown"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$(windows_toolchain "$client_build")" -DQUILLMOOR_MISS_BREAKDOWN=ON \
    >"$dir-configure.log" 2>&1 && cmake --build "$dir" --target "$@" >"$dir-build.log" 2>&1 ||
    { log "building with the breakdown failed; see $dir-configure.log and $dir-build.log"; return 1; }
  echo "$dir"
}
