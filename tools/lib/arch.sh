# Which Wine architectures this machine can run the tests under. Shared by
# tools/setup (which installs the 32-bit half of Wine only where it can run)
# and tools/lib/common.sh. QUILLMOOR_WINE_ARCH_CHOICE is what the caller set
# QUILLMOOR_WINE_ARCH to, if anything (wine-env.sh sets QUILLMOOR_WINE_ARCH
# itself, to the architecture in use).

# Whether this machine runs 32-bit x86 code: a static i386 program of three
# instructions (exit with status 42) is run once. Some hosts refuse every
# i386 execve; there Wine's 32-bit loader cannot run either. The answer is
# kept in REPLY as "yes" or the reason it is "no".
probe_i386() {
  local probe status
  probe=$(mktemp) || return 1
  # ELF header, one program header loading the file at 0x08048000, and
  # the code at 0x08048054: mov eax, 1; mov ebx, 42; int 0x80.
  printf '%b' '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  if [ "$status" -eq 42 ]; then
    REPLY=yes
  else
    REPLY="this machine runs no 32-bit x86 code (a static i386 program did not run: exit status $status)"
  fi
}

# The Wine architectures a run uses, in REPLY: "32 64" where 32-bit code
# runs, "64" where it cannot or QUILLMOOR_WINE_ARCH=64 says so, "32" for
# QUILLMOOR_WINE_ARCH=32. Where 32 is left out, why is in no_32_reason.
no_32_reason=""
choose_wine_arches() {
  case ${QUILLMOOR_WINE_ARCH_CHOICE:-} in
    32) REPLY=32 ;;
    64) no_32_reason="QUILLMOOR_WINE_ARCH=64 chose the 64-bit build"; REPLY=64 ;;
    "")
      probe_i386
      if [ "$REPLY" = yes ]; then REPLY="32 64"; else no_32_reason=$REPLY; REPLY=64; fi ;;
    *) echo "QUILLMOOR_WINE_ARCH must be 32 or 64, not '$QUILLMOOR_WINE_ARCH_CHOICE'" >&2; return 2 ;;
  esac
}
