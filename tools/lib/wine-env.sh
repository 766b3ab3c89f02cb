# The Wine settings of every run: a private 32-bit prefix, no debug chatter,
# no Mono or Gecko installer (nothing can be downloaded here, and the
# installer's dialog would hang a headless run), and no menu builder: it
# would write launchers for the prefix's programs into the user's desktop
# menus, work at every boot that nobody needs.
_quillmoor_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$_quillmoor_root/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
unset _quillmoor_root
