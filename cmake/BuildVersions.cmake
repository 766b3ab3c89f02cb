# Writes OUTPUT: the versions of what decides a Windows build's bytes, for a
# release manager to publish beside the build, so that anyone with the same
# versions can rebuild it and compare. Run by the build (cmake -P) with
# CPU (i686 or x86_64), WEBP_PREFIX and OUTPUT; the file changes only when
# a version does.
set(packages
  gcc-mingw-w64-${CPU}-posix g++-mingw-w64-${CPU}-posix gcc-mingw-w64-${CPU}-posix-runtime
  binutils-mingw-w64-${CPU} mingw-w64-${CPU}-dev mingw-w64-common cmake ninja-build)
string(REPLACE "x86_64" "x86-64" packages "${packages}")
execute_process(COMMAND dpkg-query -W [=[-f=${Package} ${Version}\n]=] ${packages}
                OUTPUT_VARIABLE installed RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  set(installed "dpkg-query could not name every package: ${installed}")
endif()
set(webp "unknown (no ${WEBP_PREFIX}/VERSION)")
if(EXISTS ${WEBP_PREFIX}/VERSION)
  file(READ ${WEBP_PREFIX}/VERSION webp)
  string(STRIP "${webp}" webp)
endif()
set(text "# What decides the bytes of this build, besides the source and its settings\n")
string(APPEND text "${installed}libwebp (Debian source package) ${webp}\n")
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
