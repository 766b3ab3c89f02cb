# Cross toolchain: 64-bit Windows through mingw-w64, for the tests on
# machines that run no 32-bit code (the product stays 32-bit).
set(QUILLMOOR_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
