# The publisher's update key, and what a release build must set.
#
# QUILLMOOR_UPDATE_KEY is the ECDSA P-256 public key that every new build must
# be signed with: its 128 hex digits X||Y, or the path of a PEM public key.
# Either form is checked with Debian's openssl (tools/sign-release
# --public-hex) and becomes QUILLMOOR_UPDATE_KEY_HEX, which the settings
# header carries. An empty key builds a client that checks only the MD5 of
# "ver.txt", for hosts that do not sign yet.
#
# The default is a demo key pair that the build makes once, never committed,
# in build/demo-key/; the demo origin and the update tests sign with it.

set(QUILLMOOR_SIGN_RELEASE ${CMAKE_SOURCE_DIR}/tools/sign-release)
set(QUILLMOOR_DEMO_KEY_DIR ${CMAKE_SOURCE_DIR}/build/demo-key)
set(QUILLMOOR_DEMO_PRIVATE_KEY ${QUILLMOOR_DEMO_KEY_DIR}/update-key.pem)
set(QUILLMOOR_DEMO_PUBLIC_KEY ${QUILLMOOR_DEMO_KEY_DIR}/update-key.pub.pem)

set(QUILLMOOR_UPDATE_KEY ${QUILLMOOR_DEMO_PUBLIC_KEY} CACHE STRING
    "Update signing key: ECDSA P-256 public key as 128 hex digits X||Y or a PEM file; empty for none")
option(QUILLMOOR_RELEASE "A release build: refuses the demo settings and a missing update key" OFF)

# The checked hex form of key (128 hex digits or a PEM file) in out.
function(quillmoor_update_key_hex key out)
  execute_process(COMMAND ${QUILLMOOR_SIGN_RELEASE} --public-hex ${key}
                  OUTPUT_VARIABLE hex ERROR_VARIABLE error RESULT_VARIABLE result
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT hex MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "QUILLMOOR_UPDATE_KEY: ${error}")
  endif()
  set(${out} ${hex} PARENT_SCOPE)
endfunction()

# The demo key pair; made once, as the first configure needs it.
if(NOT EXISTS ${QUILLMOOR_DEMO_PUBLIC_KEY})
  execute_process(COMMAND ${QUILLMOOR_SIGN_RELEASE} --new-key ${QUILLMOOR_DEMO_KEY_DIR}
                  OUTPUT_QUIET ERROR_QUIET)
  if(NOT EXISTS ${QUILLMOOR_DEMO_PUBLIC_KEY})
    message(FATAL_ERROR "could not make the demo update key in ${QUILLMOOR_DEMO_KEY_DIR} (is openssl installed?)")
  endif()
endif()
# A new demo key (build/demo-key removed) configures again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUILLMOOR_DEMO_PUBLIC_KEY})
quillmoor_update_key_hex(${QUILLMOOR_DEMO_PUBLIC_KEY} QUILLMOOR_DEMO_KEY_HEX)

if(QUILLMOOR_UPDATE_KEY STREQUAL "")
  set(QUILLMOOR_UPDATE_KEY_HEX "")
elseif(QUILLMOOR_UPDATE_KEY MATCHES "^[0-9A-Fa-f]+$")
  quillmoor_update_key_hex(${QUILLMOOR_UPDATE_KEY} QUILLMOOR_UPDATE_KEY_HEX)
else()
  # A key file: a relative path is taken from the source folder.
  get_filename_component(key_file ${QUILLMOOR_UPDATE_KEY} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
  quillmoor_update_key_hex(${key_file} QUILLMOOR_UPDATE_KEY_HEX)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${key_file})
endif()

# A release build updates from and plays on the real hosts, and installs only
# what the publisher signed: none of the demo settings may remain.
if(QUILLMOOR_RELEASE)
  # Over plain HTTP anyone on the network path can change what the client
  # reads: the signature still guards the build, but not "ver.txt" or the
  # assets, and a changed script stays in the cache and runs at every start.
  foreach(setting QUILLMOOR_UPDATE_BASE QUILLMOOR_CDN_BASE)
    string(TOLOWER "${${setting}}" base)
    if(base MATCHES "^http://")
      message(WARNING "QUILLMOOR_RELEASE: ${setting} is plain http:// (${${setting}}); use https://")
    endif()
  endforeach()
  set(problems)
  if(QUILLMOOR_UPDATE_KEY_HEX STREQUAL "")
    list(APPEND problems "QUILLMOOR_UPDATE_KEY is empty")
  elseif(QUILLMOOR_UPDATE_KEY_HEX STREQUAL QUILLMOOR_DEMO_KEY_HEX)
    list(APPEND problems "QUILLMOOR_UPDATE_KEY is the demo key")
  endif()
  foreach(setting QUILLMOOR_UPDATE_BASE QUILLMOOR_CDN_BASE QUILLMOOR_GAME_HOST)
    if(${setting} STREQUAL ${setting}_DEMO)
      list(APPEND problems "${setting} is the demo origin")
    endif()
  endforeach()
  if(problems)
    list(JOIN problems "; " problems)
    message(FATAL_ERROR "QUILLMOOR_RELEASE needs the real settings: ${problems}")
  endif()
endif()
