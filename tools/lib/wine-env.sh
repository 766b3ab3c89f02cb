# The Wine settings of every run: a private prefix of the architecture chosen
# (QUILLMOOR_WINE_ARCH: 32, the product's, by default; 64 for the x64 build),
# no debug chatter, no Mono or Gecko installer (nothing can be downloaded
# here, and the installer's dialog would hang a headless run), and no menu
# builder: it would write launchers for the prefix's programs into the
# user's desktop menus, work at every boot that nobody needs.
#
# A prefix holds one architecture for good, so each has its own:
# build/wineprefix (32-bit) and build/wineprefix64 for the tests,
# build/player-wineprefix and build/player-wineprefix64 for a player's
# session. Debian's wine script runs the 32-bit loader whenever it is
# installed, so the loader is named here: "wine" below is a function that
# runs it, and wine_loader its path, for scripts that exec it.
_quillmoor_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Chooses the architecture ARCH (32 or 64) for what follows: the loader, and
# the prefix when it is unset or one of the project's own of the other
# architecture.
select_wine_arch() {
  local arch=$1 suffix="" own
  case $arch in
    32) wine_loader=/usr/lib/wine/wine; export WINEARCH=win32 ;;
    64) wine_loader=/usr/lib/wine/wine64; suffix=64; export WINEARCH=win64 ;;
    *) echo "QUILLMOOR_WINE_ARCH must be 32 or 64, not '$arch'" >&2; return 2 ;;
  esac
  export QUILLMOOR_WINE_ARCH=$arch WINELOADER=$wine_loader
  own=${WINEPREFIX:-$_quillmoor_root/build/wineprefix}
  case $own in
    "$_quillmoor_root"/build/wineprefix | "$_quillmoor_root"/build/wineprefix64)
      own=$_quillmoor_root/build/wineprefix$suffix ;;
    "$_quillmoor_root"/build/player-wineprefix | "$_quillmoor_root"/build/player-wineprefix64)
      own=$_quillmoor_root/build/player-wineprefix$suffix ;;
  esac
  export WINEPREFIX=$own
}

wine() { "$wine_loader" "$@"; }

select_wine_arch "${QUILLMOOR_WINE_ARCH:-32}" || exit 2
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
