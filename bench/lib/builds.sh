# Client builds for benchmarks that run an older build beside the new one in
# the same run. Sourced after tools/lib/common.sh.

# Prints the path of an older client: EXE itself when it names a file, or
# else Quillmoor.exe built from the git revision REV into
# build/bench-builds/COMMIT (kept for the next run). Build logs stay there.
#   old_client REV|EXE
old_client() {
  local wanted=$1 commit dir
  if [ -f "$wanted" ]; then
    readlink -f "$wanted"
    return 0
  fi
  commit=$(git -C "$root" rev-parse --verify --quiet "$wanted^{commit}") ||
    { log "neither a file nor a git revision: $wanted"; return 1; }
  dir="$build/bench-builds/$commit"
  if [ ! -f "$dir/win32/Quillmoor.exe" ]; then
    log "building Quillmoor.exe of $wanted ($commit) in $dir"
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git -C "$root" archive "$commit" | tar -x -C "$dir/src" || return 1
    # The cross-built libwebp is the working tree's (it is not in git).
    cmake -S "$dir/src" -B "$dir/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-i686.cmake" \
      -DQUILLMOOR_WEBP_PREFIX="$root/.deps/libwebp-i686" >"$dir/configure.log" 2>&1 &&
      cmake --build "$dir/win32" --target Quillmoor >"$dir/build.log" 2>&1 ||
      { log "the build of $wanted failed; see $dir/configure.log and $dir/build.log"; return 1; }
  fi
  echo "$dir/win32/Quillmoor.exe"
}

# Prints the port of a build's asset CDN base when it is a loopback address.
#   cdn_port_of BUILD_FOLDER
cdn_port_of() {
  sed -n 's|^#define QUILLMOOR_CDN_BASE_A "http://127\.0\.0\.1:\([0-9]*\)"$|\1|p' "$1/generated/BuildConfig.h"
}
