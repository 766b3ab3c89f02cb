# The mingw-w64 cross toolchain for QUILLMOOR_MINGW_CPU (i686 or x86_64),
# POSIX thread model (the win32 thread model of GCC 12 has no std::mutex, and
# GoogleTest needs it). Included by the toolchain files mingw-i686.cmake (the
# product) and mingw-x86_64.cmake (the tests' stand-in where no 32-bit code
# runs), which name the CPU.
set(CMAKE_SYSTEM_NAME Windows)
if(QUILLMOOR_MINGW_CPU STREQUAL "x86_64")
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(QUILLMOOR_WINE_ARCH 64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
  set(QUILLMOOR_WINE_ARCH 32)
endif()
set(triplet ${QUILLMOOR_MINGW_CPU}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The tests run under Wine of the same architecture.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-exec")
