# The Windows build: Quillmoor.exe and the Windows test executables, which
# CTest runs under Wine through CMAKE_CROSSCOMPILING_EMULATOR.

# Static runtime: no DLL needs to sit beside the executable.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
# Resource scripts are UTF-8: they carry Chinese texts.
string(APPEND CMAKE_RC_FLAGS " --codepage=65001")

# WIN32_LEAN_AND_MEAN keeps winsock.h out of windows.h, so winsock2.h may
# come in any order; each source includes the other headers it uses.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)

# GoogleTest from Debian's sources, built with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# libwebp's decoder, cross-built by tools/setup from Debian's patched sources.
set(QUILLMOOR_WEBP_PREFIX ${CMAKE_SOURCE_DIR}/.deps/libwebp-i686 CACHE PATH "Cross-built libwebp")
add_library(quillmoor_webp STATIC IMPORTED)
set_target_properties(quillmoor_webp PROPERTIES
  IMPORTED_LOCATION ${QUILLMOOR_WEBP_PREFIX}/lib/libwebpdecoder.a
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMOOR_WEBP_PREFIX}/include)

add_library(quillmoor_portable STATIC ${QUILLMOOR_PORTABLE_SOURCES})
target_include_directories(quillmoor_portable PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(quillmoor_portable PRIVATE quillmoor_warnings)

add_library(quillmoor_windows STATIC ${QUILLMOOR_WINDOWS_SOURCES})
target_link_libraries(quillmoor_windows
  PUBLIC quillmoor_portable ole32 oleaut32 uuid comctl32 shell32 user32 gdi32 ws2_32 wininet iphlpapi psapi
  PRIVATE quillmoor_warnings)

add_executable(Quillmoor WIN32 app/main.cpp res/Quillmoor.rc)
target_link_options(Quillmoor PRIVATE -municode)
target_link_libraries(Quillmoor PRIVATE quillmoor_windows quillmoor_warnings)

# Helpers the Windows tests share, such as the scripted loopback origin.
add_library(quillmoor_testsupport STATIC testsupport/TestOrigin.cpp testsupport/TestClient.cpp)
target_link_libraries(quillmoor_testsupport PUBLIC quillmoor_portable ws2_32 GTest::gtest PRIVATE quillmoor_warnings)

quillmoor_add_test_executables(QUILLMOOR_PORTABLE_TESTS quillmoor_portable GTest::gtest_main)
quillmoor_add_test_executables(QUILLMOOR_WINDOWS_TESTS quillmoor_windows quillmoor_testsupport GTest::gtest_main)

# A test tool: closes a window by its title, as the player would.
add_executable(close_window testsupport/CloseWindow.cpp)
target_link_options(close_window PRIVATE -municode)
target_link_libraries(close_window PRIVATE quillmoor_warnings)

# Whole runs of Quillmoor.exe under Wine with real HTTP clients.
add_test(NAME quillmoor_e2e
         COMMAND python3 ${CMAKE_SOURCE_DIR}/app/Quillmoor_e2e_test.py
                 --exe $<TARGET_FILE:Quillmoor> --close-window $<TARGET_FILE:close_window>
                 --config ${CMAKE_BINARY_DIR}/generated/BuildConfig.h
                 --work ${CMAKE_BINARY_DIR}/e2e)

# The resource test opens the executable beside it.
add_dependencies(app_win_tests Quillmoor)

# Benchmarks: built with the client, run by hand through bench/.
add_executable(fetch_bench bench/FetchBench.cpp)
target_link_libraries(fetch_bench PRIVATE quillmoor_windows quillmoor_warnings)
add_executable(bare_responder bench/BareResponder.cpp)
target_link_libraries(bare_responder PRIVATE ws2_32 quillmoor_warnings)
