# The native build: the portable code and its tests under ASan and UBSan, and
# the fuzz targets when the compiler is clang.
set(QUILLMOOR_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

add_library(quillmoor_portable STATIC ${QUILLMOOR_PORTABLE_SOURCES})
target_include_directories(quillmoor_portable PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_options(quillmoor_portable PUBLIC ${QUILLMOOR_SANITIZE} -g)
target_link_options(quillmoor_portable PUBLIC ${QUILLMOOR_SANITIZE})
target_link_libraries(quillmoor_portable PRIVATE quillmoor_warnings)

quillmoor_add_test_executables(QUILLMOOR_PORTABLE_TESTS quillmoor_portable GTest::gtest_main Threads::Threads)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(QUILLMOOR_FUZZ_SECONDS 10 CACHE STRING "How long tools/test runs each fuzz target")
  foreach(source ${QUILLMOOR_FUZZ_TARGETS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE quillmoor_portable quillmoor_warnings)
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${corpus})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-artifacts)
    # Seed inputs, where a target has them, sit in testdata/<target>/ beside it.
    get_filename_component(folder ${source} DIRECTORY)
    set(seeds ${CMAKE_SOURCE_DIR}/${folder}/testdata/${name})
    if(NOT IS_DIRECTORY ${seeds})
      set(seeds)
    endif()
    add_test(NAME ${name}
             COMMAND ${name} -max_total_time=${QUILLMOOR_FUZZ_SECONDS}
                     -artifact_prefix=${CMAKE_BINARY_DIR}/fuzz-artifacts/${name}- ${corpus} ${seeds})
    set_tests_properties(${name} PROPERTIES LABELS fuzz)
  endforeach()
endif()

# The update key in either form, and a release build's refusal of the demo
# settings, through real configures.
add_test(NAME update_key_configure
         COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/UpdateKey_test.py
                 --source ${CMAKE_SOURCE_DIR} --work ${CMAKE_BINARY_DIR}/update-key-configure)

# Which suites tools/test runs on a machine with and without 32-bit code.
add_test(NAME suite_choice COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/lib/suites_test.py)
