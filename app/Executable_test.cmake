# Whole starts of Quillmoor.exe under Wine: the file format, a plain start that
# ends cleanly, and the "delfile" form removing a file before the start.
# Arguments: EXE, WINE_EXEC, WORK (a scratch folder).

execute_process(COMMAND file -b ${EXE} OUTPUT_VARIABLE format OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT format MATCHES "^PE32 executable \\(GUI\\) Intel 80386")
  message(FATAL_ERROR "Quillmoor.exe is not a PE32 GUI i386 executable: ${format}")
endif()

execute_process(COMMAND i686-w64-mingw32-objdump -p ${EXE} OUTPUT_VARIABLE imports)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${imports}")
foreach(dll ${dlls})
  if(dll MATCHES "(libstdc|libgcc|libwinpthread|libwebp)")
    message(FATAL_ERROR "Quillmoor.exe needs a DLL beside it: ${dll}")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(start_client expected_code)
  execute_process(COMMAND ${WINE_EXEC} ${EXE} ${ARGN}
                  WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE code
                  OUTPUT_FILE ${WORK}/stdout.txt ERROR_FILE ${WORK}/stderr.txt
                  TIMEOUT 120)
  if(NOT code STREQUAL "${expected_code}")
    file(READ ${WORK}/stderr.txt errors)
    message(FATAL_ERROR "Quillmoor.exe ${ARGN} ended with ${code}, not ${expected_code}: ${errors}")
  endif()
endfunction()

start_client(0)
start_client(0 re_open)

# delfile: the path after the last "=" is removed, here a relative one.
file(WRITE ${WORK}/victim.txt "to be removed")
file(WRITE ${WORK}/keeper.txt "stays")
start_client(0 "delfile=C:\\nowhere\\x=victim.txt")
if(EXISTS ${WORK}/victim.txt)
  message(FATAL_ERROR "delfile did not remove victim.txt")
endif()
if(NOT EXISTS ${WORK}/keeper.txt)
  message(FATAL_ERROR "delfile removed a file it was not asked to")
endif()

# A delfile line with no "=" names nothing and removes nothing.
start_client(0 "delfile" "keeper.txt")
if(NOT EXISTS ${WORK}/keeper.txt)
  message(FATAL_ERROR "delfile without = removed keeper.txt")
endif()
message(STATUS "Quillmoor.exe: ${format}; starts and ends cleanly")
