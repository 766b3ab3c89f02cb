# Builds the Windows build of another git revision, for benchmarks that run an
# older build side by side with the current one. Source it after
# tools/lib/common.sh.
#
#   dir=$(build_revision REV [TARGET...])
#
# exports the tree of REV (a commit, branch or tag of this repository) into
# build/revisions/<commit>/src, configures and builds it there with the same
# toolchain and the same cross-built libwebp, and prints the build folder
# (build/revisions/<commit>/win32), whose executables are those of REV. The
# targets default to Quillmoor. A revision built once is reused; the working
# tree is never touched. Build output goes to build/revisions/<commit>/build.log.

build_revision() {
  local rev=$1
  shift
  local targets=("$@")
  [ ${#targets[@]} -gt 0 ] || targets=(Quillmoor)
  local commit
  commit=$(git -C "$root" rev-parse --verify --quiet "$rev^{commit}") ||
    { log "build_revision: no such revision: $rev"; return 1; }
  local base="$build/revisions/$commit"
  mkdir -p "$base"
  if [ ! -f "$base/src/CMakeLists.txt" ]; then
    rm -rf "$base/src"
    mkdir -p "$base/src"
    git -C "$root" archive "$commit" | tar -x -C "$base/src" || { log "build_revision: cannot export $rev"; return 1; }
  fi
  {
    cmake -S "$base/src" -B "$base/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$base/src/cmake/mingw-i686.cmake" \
      -DQUILLMOOR_WEBP_PREFIX="$root/.deps/libwebp-i686" &&
      cmake --build "$base/win32" --target "${targets[@]}"
  } >"$base/build.log" 2>&1 || { log "build_revision: building $rev failed, see $base/build.log"; return 1; }
  echo "$base/win32"
}
