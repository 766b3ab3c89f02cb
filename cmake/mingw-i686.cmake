# Cross toolchain: 32-bit Windows through mingw-w64, the product's.
set(QUILLMOOR_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
