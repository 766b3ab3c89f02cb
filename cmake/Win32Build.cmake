# The Windows builds: Quillmoor.exe and the Windows test executables, which
# CTest runs under Wine through CMAKE_CROSSCOMPILING_EMULATOR. The product is
# the 32-bit build (build/win32); the same sources build as x86-64
# (build/win64), which the tests use where no 32-bit code runs. The toolchain
# file names the Wine architecture, QUILLMOOR_WINE_ARCH.
if(NOT QUILLMOOR_WINE_ARCH MATCHES "^(32|64)$")
  message(FATAL_ERROR "Configure the Windows build with cmake/mingw-i686.cmake or cmake/mingw-x86_64.cmake")
endif()

# Static runtime: no DLL needs to sit beside the executable.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
# The same sources, settings and tools give the same bytes, wherever the tree
# lies: no link time stamp in the PE header (whose checksum then follows the
# bytes alone), and no absolute source or build path in the objects.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--no-insert-timestamp")
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=src/ -ffile-prefix-map=${CMAKE_BINARY_DIR}/=out/)
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
set(QUILLMOOR_WEBP_PREFIX ${CMAKE_SOURCE_DIR}/.deps/libwebp-${QUILLMOOR_MINGW_CPU} CACHE PATH "Cross-built libwebp")
# The versions that decide the bytes, in build-versions.txt beside the client.
add_custom_target(build_versions ALL
  COMMAND ${CMAKE_COMMAND} -DCPU=${QUILLMOOR_MINGW_CPU} -DWEBP_PREFIX=${QUILLMOOR_WEBP_PREFIX}
          -DOUTPUT=${CMAKE_BINARY_DIR}/build-versions.txt -P ${CMAKE_SOURCE_DIR}/cmake/BuildVersions.cmake
  BYPRODUCTS ${CMAKE_BINARY_DIR}/build-versions.txt VERBATIM)

add_library(quillmoor_webp STATIC IMPORTED)
set_target_properties(quillmoor_webp PROPERTIES
  IMPORTED_LOCATION ${QUILLMOOR_WEBP_PREFIX}/lib/libwebpdecoder.a
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMOOR_WEBP_PREFIX}/include)

add_library(quillmoor_portable STATIC ${QUILLMOOR_PORTABLE_SOURCES})
target_include_directories(quillmoor_portable PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(quillmoor_portable PRIVATE quillmoor_warnings)

# The asset server's log of where each miss spends its time, for
# bench/misses, which builds it in a folder of its own; the builds of
# tools/test and tools/run, and every release, are without it.
option(QUILLMOOR_MISS_BREAKDOWN "Benchmarks only: log where each miss of the asset server spends its time" OFF)
if(QUILLMOOR_MISS_BREAKDOWN)
  if(QUILLMOOR_RELEASE)
    message(FATAL_ERROR "QUILLMOOR_MISS_BREAKDOWN is for benchmarks: a release build is without it")
  endif()
  target_compile_definitions(quillmoor_portable PUBLIC QUILLMOOR_MISS_BREAKDOWN)
endif()

# windres reports no dependencies: the resource script is compiled again
# whenever a picture or the icon it takes in changes.
file(GLOB QUILLMOOR_RESOURCE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/skin/*.webp
     ${CMAKE_SOURCE_DIR}/res/icons/*.ico)
set_source_files_properties(res/Quillmoor.rc PROPERTIES OBJECT_DEPENDS "${QUILLMOOR_RESOURCE_FILES}")

add_library(quillmoor_windows STATIC ${QUILLMOOR_WINDOWS_SOURCES})
target_link_libraries(quillmoor_windows
  PUBLIC quillmoor_portable quillmoor_webp ole32 oleaut32 uuid comctl32 shell32 user32 gdi32 ws2_32 wininet iphlpapi psapi bcrypt
  PRIVATE quillmoor_warnings)

# A client executable with its own local version, update base and update key
# (128 hex digits, or empty for none), and optionally its own cache limit in
# MiB (CACHE_LIMIT_MB), asset CDN base (CDN_BASE) and CDN idle bound in ms
# (CDN_IDLE_LIMIT_MS; by default the download client's own); the other
# settings are the build's.
function(quillmoor_add_client target version update_base update_key_hex)
  cmake_parse_arguments(PARSE_ARGV 4 client "" "CACHE_LIMIT_MB;CDN_BASE;CDN_IDLE_LIMIT_MS" "")
  set(QUILLMOOR_CDN_IDLE_LIMIT_MS 0)
  if(DEFINED client_CDN_IDLE_LIMIT_MS)
    set(QUILLMOOR_CDN_IDLE_LIMIT_MS ${client_CDN_IDLE_LIMIT_MS})
  endif()
  set(QUILLMOOR_LOCAL_VERSION ${version})
  set(QUILLMOOR_UPDATE_BASE ${update_base})
  set(QUILLMOOR_UPDATE_KEY_HEX "${update_key_hex}")
  if(DEFINED client_CACHE_LIMIT_MB)
    set(QUILLMOOR_CACHE_LIMIT_MB ${client_CACHE_LIMIT_MB})
  endif()
  if(DEFINED client_CDN_BASE)
    set(QUILLMOOR_CDN_BASE ${client_CDN_BASE})
  endif()
  set(settings ${CMAKE_BINARY_DIR}/clients/${target})
  configure_file(${CMAKE_SOURCE_DIR}/common/BuildConfig.h.in ${settings}/BuildConfig.h @ONLY)
  add_executable(${target} WIN32 ${QUILLMOOR_CLIENT_SOURCES})
  target_include_directories(${target} BEFORE PRIVATE ${settings})
  target_link_options(${target} PRIVATE -municode)
  target_link_libraries(${target} PRIVATE quillmoor_windows quillmoor_warnings)
endfunction()

quillmoor_add_client(Quillmoor ${QUILLMOOR_LOCAL_VERSION} ${QUILLMOOR_UPDATE_BASE} "${QUILLMOOR_UPDATE_KEY_HEX}")

# For the self-update tests: the client pointed at a test origin, once as the
# running build and once as a newer build for it to install. Both take the
# demo key, which the tests sign with; a third client has no key at all.
set(QUILLMOOR_TEST_UPDATE_PORT 12398)
set(test_update_base "http://127.0.0.1:${QUILLMOOR_TEST_UPDATE_PORT}/ruruvir/brightfen/")
# The hostile-peer tests also send it a CDN that never answers: a short
# bound shows that the bound ends the wait, without waiting out the real one.
quillmoor_add_client(Quillmoor_update_test ${QUILLMOOR_LOCAL_VERSION} ${test_update_base} ${QUILLMOOR_DEMO_KEY_HEX}
                     CDN_IDLE_LIMIT_MS 3000)
quillmoor_add_client(Quillmoor_next_test 1.0.6 ${test_update_base} ${QUILLMOOR_DEMO_KEY_HEX})
quillmoor_add_client(Quillmoor_keyless_test ${QUILLMOOR_LOCAL_VERSION} ${test_update_base} "")
# For the hostile-peer tests: a cache that may hold 1 MiB only.
quillmoor_add_client(Quillmoor_small_cache_test ${QUILLMOOR_LOCAL_VERSION} ${test_update_base} ${QUILLMOOR_DEMO_KEY_HEX}
                     CACHE_LIMIT_MB 1)
# For the HTTPS tests and bench/page: the update base and the asset CDN base
# on one loopback port over TLS, where the tests put Debian's nginx. The host
# is localhost, the name the tests' certificates are made out to: WinINet
# refuses a certificate made out to an address.
set(QUILLMOOR_TEST_TLS_PORT 12396)
set(test_tls_base "https://localhost:${QUILLMOOR_TEST_TLS_PORT}")
quillmoor_add_client(Quillmoor_https_test ${QUILLMOOR_LOCAL_VERSION} ${test_tls_base}/ruruvir/brightfen/
                     ${QUILLMOOR_DEMO_KEY_HEX} CDN_BASE ${test_tls_base})

# Helpers the Windows tests share, such as the scripted loopback origin.
add_library(quillmoor_testsupport STATIC testsupport/TestOrigin.cpp testsupport/TestClient.cpp)
target_link_libraries(quillmoor_testsupport PUBLIC quillmoor_portable ws2_32 GTest::gtest PRIVATE quillmoor_warnings)

quillmoor_add_test_executables(QUILLMOOR_PORTABLE_TESTS quillmoor_portable GTest::gtest_main)
quillmoor_add_test_executables(QUILLMOOR_WINDOWS_TESTS quillmoor_windows quillmoor_testsupport GTest::gtest_main)

# A test tool: closes a window by its title, as the player would.
add_executable(close_window testsupport/CloseWindow.cpp)
target_link_options(close_window PRIVATE -municode)
target_link_libraries(close_window PRIVATE quillmoor_warnings)

# A test tool: the handles and threads of a running program, from outside.
add_executable(process_counts testsupport/ProcessCounts.cpp)
target_include_directories(process_counts PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(process_counts PRIVATE -municode)
target_link_libraries(process_counts PRIVATE ntdll quillmoor_warnings)

# A test tool: adds a test CA to the private prefix's machine "Root" store,
# or removes it again.
add_executable(trust_root testsupport/TrustRoot.cpp)
target_include_directories(trust_root PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(trust_root PRIVATE -municode)
target_link_libraries(trust_root PRIVATE crypt32 quillmoor_warnings)

# A test script that runs Quillmoor.exe against the loopback CDN: it takes the
# client, close_window, the generated settings and a work folder of its own.
function(quillmoor_add_client_e2e_test name script work)
  add_test(NAME ${name}
           COMMAND python3 ${CMAKE_SOURCE_DIR}/${script}
                   --exe $<TARGET_FILE:Quillmoor> --close-window $<TARGET_FILE:close_window>
                   --config ${CMAKE_BINARY_DIR}/generated/BuildConfig.h --work ${CMAKE_BINARY_DIR}/${work})
endfunction()

# The executable's format, read without Wine: PE32 (or PE32+ for the x64
# build), GUI, no DLL but the system's. It runs even where Wine cannot.
add_test(NAME executable_format
         COMMAND python3 ${CMAKE_SOURCE_DIR}/testsupport/pe_format.py --arch ${QUILLMOOR_WINE_ARCH}
                 $<TARGET_FILE:Quillmoor>)

# Whole runs of Quillmoor.exe under Wine with real HTTP clients.
quillmoor_add_client_e2e_test(quillmoor_e2e app/Quillmoor_e2e_test.py e2e)

# The page areas of the start dialog and the game window, read from outside.
quillmoor_add_client_e2e_test(browser_host_e2e game/BrowserHost_e2e_test.py browser-host-e2e)

# The game-like page in headless chromium through Quillmoor.exe, cold and
# warm, against Debian's nginx as the CDN.
quillmoor_add_client_e2e_test(page_load_e2e app/PageLoad_e2e_test.py page-e2e)

# The self-update, for real: the test client swaps itself for the newer one.
# A client without a key updates as it always did, on the MD5 alone.
add_test(NAME self_update_e2e
         COMMAND python3 ${CMAKE_SOURCE_DIR}/update/SelfUpdate_e2e_test.py
                 --exe $<TARGET_FILE:Quillmoor_keyless_test> --next $<TARGET_FILE:Quillmoor_next_test>
                 --close-window $<TARGET_FILE:close_window> --port ${QUILLMOOR_TEST_UPDATE_PORT}
                 --work ${CMAKE_BINARY_DIR}/update-e2e)
# The updates of a client with the demo key, against the test update port:
# the script signs the newer build with the demo key as each case needs.
function(quillmoor_add_signed_update_test name script work)
    add_test(NAME ${name}
             COMMAND python3 ${CMAKE_SOURCE_DIR}/update/${script}
                     --exe $<TARGET_FILE:Quillmoor_update_test> --next $<TARGET_FILE:Quillmoor_next_test>
                     --key ${QUILLMOOR_DEMO_PRIVATE_KEY} --sign-release ${QUILLMOOR_SIGN_RELEASE}
                     --close-window $<TARGET_FILE:close_window> --port ${QUILLMOOR_TEST_UPDATE_PORT}
                     --work ${CMAKE_BINARY_DIR}/${work})
endfunction()
# A client with a key installs only what the demo key signed.
quillmoor_add_signed_update_test(signed_update_e2e SignedUpdate_e2e_test.py signed-update-e2e)
# The update as the player sees it: the progress window while a slow build
# downloads, and a second copy started meanwhile.
quillmoor_add_signed_update_test(update_progress_e2e UpdateProgress_e2e_test.py update-progress-e2e)

# The update and a miss over HTTPS, against Debian's nginx with a certificate
# from a test CA that the set-up makes and the prefix trusts for the run, and
# against one from a CA it does not know.
add_test(NAME https_e2e
         COMMAND python3 ${CMAKE_SOURCE_DIR}/net/Https_e2e_test.py
                 --exe $<TARGET_FILE:Quillmoor_https_test> --next $<TARGET_FILE:Quillmoor_next_test>
                 --key ${QUILLMOOR_DEMO_PRIVATE_KEY} --sign-release ${QUILLMOOR_SIGN_RELEASE}
                 --close-window $<TARGET_FILE:close_window> --trust-root $<TARGET_FILE:trust_root>
                 --port ${QUILLMOOR_TEST_TLS_PORT} --work ${CMAKE_BINARY_DIR}/https-e2e)

# The signature checks against a real build signed by openssl, made fresh by
# the set-up for every run.
add_test(NAME signature_vectors
         COMMAND ${CMAKE_SOURCE_DIR}/testsupport/make-signature-vectors ${CMAKE_BINARY_DIR}/testdata/signature
                 $<TARGET_FILE:Quillmoor_next_test>)
set_tests_properties(signature_vectors PROPERTIES FIXTURES_SETUP signature_vectors)
set_tests_properties(update_win_tests PROPERTIES FIXTURES_REQUIRED signature_vectors)

# The asset server against hostile peers, faults and a small cache, and the
# end of the process measured from outside.
add_test(NAME hostile_peers_e2e
         COMMAND python3 ${CMAKE_SOURCE_DIR}/server/HostilePeers_e2e_test.py
                 --exe $<TARGET_FILE:Quillmoor> --update-test-exe $<TARGET_FILE:Quillmoor_update_test>
                 --small-cache-exe $<TARGET_FILE:Quillmoor_small_cache_test>
                 --close-window $<TARGET_FILE:close_window> --process-counts $<TARGET_FILE:process_counts>
                 --config ${CMAKE_BINARY_DIR}/generated/BuildConfig.h --update-port ${QUILLMOOR_TEST_UPDATE_PORT}
                 --work ${CMAKE_BINARY_DIR}/hostile-e2e)

# The skin test compares our decoding with Debian's dwebp, run at build time.
set(skin_references)
foreach(id 271 272 295)
  set(reference ${CMAKE_BINARY_DIR}/testdata/${id}.pam)
  add_custom_command(OUTPUT ${reference}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/testdata
                     COMMAND dwebp -quiet ${CMAKE_SOURCE_DIR}/res/skin/${id}.webp -pam -o ${reference}
                     DEPENDS ${CMAKE_SOURCE_DIR}/res/skin/${id}.webp)
  list(APPEND skin_references ${reference})
endforeach()
add_custom_target(skin_references DEPENDS ${skin_references})
add_dependencies(skin_win_tests skin_references)

# The resource test opens the executable beside it.
add_dependencies(app_win_tests Quillmoor)

# Benchmarks: built with the client, run by hand through bench/.
add_executable(fetch_bench bench/FetchBench.cpp)
target_link_libraries(fetch_bench PRIVATE quillmoor_windows quillmoor_warnings)
add_executable(request_cost_bench bench/RequestCostBench.cpp)
target_link_libraries(request_cost_bench PRIVATE quillmoor_windows quillmoor_warnings)
add_executable(verify_bench bench/VerifyBench.cpp)
target_link_libraries(verify_bench PRIVATE quillmoor_windows quillmoor_warnings)
add_executable(asset_server_alone bench/AssetServerAlone.cpp)
target_link_libraries(asset_server_alone PRIVATE quillmoor_windows quillmoor_warnings)
add_executable(pass_through bench/PassThrough.cpp)
target_link_libraries(pass_through PRIVATE quillmoor_portable wininet ws2_32 quillmoor_warnings)
add_executable(bare_responder bench/BareResponder.cpp)
target_link_libraries(bare_responder PRIVATE ws2_32 mswsock quillmoor_warnings)
add_executable(one_window WIN32 bench/OneWindow.cpp)
target_link_options(one_window PRIVATE -municode)
target_link_libraries(one_window PRIVATE quillmoor_warnings)
add_executable(one_window_platform WIN32 bench/OneWindow.cpp)
target_compile_definitions(one_window_platform PRIVATE QUILLMOOR_PLATFORM_SETUP)
target_link_options(one_window_platform PRIVATE -municode)
target_link_libraries(one_window_platform PRIVATE comctl32 ole32 wininet ws2_32 quillmoor_warnings)
add_executable(store_bench bench/StoreBench.cpp)
target_include_directories(store_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(store_bench PRIVATE -municode)
target_link_libraries(store_bench PRIVATE quillmoor_warnings)

# The skin gallery, for screenshots (tools/art/screenshot).
add_executable(skin_gallery WIN32 tools/art/SkinGallery.cpp res/Quillmoor.rc)
target_link_options(skin_gallery PRIVATE -municode)
target_link_libraries(skin_gallery PRIVATE quillmoor_windows quillmoor_warnings)

# Every test runs under the Wine architecture of its build, in that
# architecture's private prefix (tools/lib/wine-env.sh), whoever starts it.
set(QUILLMOOR_TEST_WINEPREFIX ${CMAKE_SOURCE_DIR}/build/wineprefix)
if(QUILLMOOR_WINE_ARCH STREQUAL "64")
  string(APPEND QUILLMOOR_TEST_WINEPREFIX 64)
endif()
get_property(quillmoor_tests DIRECTORY PROPERTY TESTS)
set_property(TEST ${quillmoor_tests} APPEND PROPERTY ENVIRONMENT
             QUILLMOOR_WINE_ARCH=${QUILLMOOR_WINE_ARCH} WINEPREFIX=${QUILLMOOR_TEST_WINEPREFIX})
# The Windows suites that open no window and take no fixed port: tools/test
# may run them beside the display's suites.
set_tests_properties(net_win_tests server_win_tests update_win_tests PROPERTIES LABELS headless)
# Where both builds are tested, these are the x64 build's suites run with the
# display's: the window toolkit and the game window hold what most depends on
# the size of a pointer (window procedures, message parameters, COM hosting).
set_tests_properties(toolkit_tests game_win_tests PROPERTIES LABELS pointer-width)
set_tests_properties(executable_format PROPERTIES LABELS no-wine)
