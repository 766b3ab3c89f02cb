# The Wine settings of every run: a private 32-bit prefix, no debug chatter,
# and no Mono or Gecko installer (nothing can be downloaded here, and the
# installer's dialog would hang a headless run).
_quillmoor_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$_quillmoor_root/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset _quillmoor_root
