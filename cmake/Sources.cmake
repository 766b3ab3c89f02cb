# Source lists shared by both builds.

# Code that includes no Windows header: built by both builds, tested natively
# under ASan and UBSan and under Wine.
set(QUILLMOOR_PORTABLE_SOURCES
  app/CommandLine.cpp
  app/ForwardRule.cpp
  app/ModulePath.cpp
  app/RestartCommand.cpp
  common/OutBuf.cpp
  game/GameLayout.cpp
  net/AgentText.cpp
  net/Md5.cpp
  net/ReadPace.cpp
  server/AssetPath.cpp
  server/CachePolicy.cpp
  server/ConnectionState.cpp
  server/ContentTypes.cpp
  server/FetchRoom.cpp
  server/FetchWorkers.cpp
  server/HttpReply.cpp
  server/HttpRequest.cpp
  server/MissBreakdown.cpp
  server/RecentAssets.cpp
  server/ReplyPieces.cpp
  server/RequestFramer.cpp
  server/StoreQueue.cpp
  skin/PixelConversion.cpp
  skin/SkinPlacement.cpp
  toolkit/Centring.cpp
  toolkit/CreationText.cpp
  toolkit/HostPlacement.cpp
  update/BuildSwap.cpp
  update/HexBytes.cpp
  update/SignatureFile.cpp
  update/UpdateKey.cpp
  update/VersionFile.cpp
)

# Tests of the portable code, one executable per folder.
# Each entry is "executable:source,source,...".
set(QUILLMOOR_PORTABLE_TESTS
  "app_tests:app/CommandLine_test.cpp,app/ModulePath_test.cpp,app/ForwardRule_test.cpp,app/RestartCommand_test.cpp"
  "common_tests:common/OutBuf_test.cpp"
  "game_tests:game/GameLayout_test.cpp"
  "net_tests:net/Md5_test.cpp,net/AgentText_test.cpp,net/ReadPace_test.cpp"
  "server_tests:server/AssetPath_test.cpp,server/CachePolicy_test.cpp,server/ConnectionState_test.cpp,server/FetchWorkers_test.cpp,server/FetchRoom_test.cpp,server/ReplyPieces_test.cpp,server/HttpRequest_test.cpp,server/HttpReply_test.cpp,server/RecentAssets_test.cpp,server/RequestFramer_test.cpp,server/StoreQueue_test.cpp"
  "skin_tests:skin/PixelConversion_test.cpp,skin/ButtonPicture_test.cpp,skin/SkinPlacement_test.cpp"
  "toolkit_portable_tests:toolkit/Centring_test.cpp,toolkit/CreationText_test.cpp,toolkit/HostPlacement_test.cpp"
  "update_tests:update/VersionFile_test.cpp,update/BuildSwap_test.cpp,update/SignatureFile_test.cpp,update/UpdateKey_test.cpp"
)

# Fuzz targets of the portable code (native clang build only).
# Each target is named after its file.
set(QUILLMOOR_FUZZ_TARGETS
  common/OutBuf_fuzz.cpp
  net/Md5_fuzz.cpp
  server/HttpRequest_fuzz.cpp
  server/RequestFramer_fuzz.cpp
  update/SignatureFile_fuzz.cpp
  update/UpdateKey_fuzz.cpp
  update/VersionFile_fuzz.cpp
)

# The Windows side of the client, everything but the entry point.
set(QUILLMOOR_WINDOWS_SOURCES
  app/GameLoop.cpp
  app/RunSequence.cpp
  common/AnsiText.cpp
  common/CurrentDirectory.cpp
  game/BrowserHost.cpp
  game/CacheClearing.cpp
  game/GameDlg.cpp
  net/Download.cpp
  net/FetchSession.cpp
  server/AssetCache.cpp
  server/AssetFill.cpp
  server/AssetReply.cpp
  server/GenericServer.cpp
  server/HTTPServer.cpp
  server/ServerConnection.cpp
  server/ServerWorkers.cpp
  skin/KeyboardHook.cpp
  skin/LayeredSkin.cpp
  skin/MainDlg.cpp
  skin/MyButton.cpp
  skin/SkinBitmap.cpp
  skin/TranslucentDlg.cpp
  skin/UpdateProgressDlg.cpp
  toolkit/ControlHost.cpp
  toolkit/DialogBase.cpp
  toolkit/HostedBrowser.cpp
  toolkit/MessageLoop.cpp
  toolkit/OwnerDraw.cpp
  toolkit/Reflection.cpp
  toolkit/SubclassedWindow.cpp
  toolkit/WindowIcons.cpp
  update/SelfUpdate.cpp
  update/SignatureVerifier.cpp
  update/SignedBuild.cpp
)

# Built into each client executable on its own, with that client's settings
# (test builds of the client use another update base and version).
set(QUILLMOOR_CLIENT_SOURCES
  app/ClientUpdateSettings.cpp
  app/UpdateStep.cpp
  app/main.cpp
  res/Quillmoor.rc
)

# Tests that need Windows, run under Wine.
set(QUILLMOOR_WINDOWS_TESTS
  # The start window is the application object: its tests live with the
  # run sequence, apart from the keyboard hook tests its hook would disturb.
  "app_win_tests:app/GameLoop_test.cpp,app/Resources_test.cpp,skin/TranslucentDlg_test.cpp,res/Quillmoor.rc"
  "game_win_tests:game/GameDlg_test.cpp,game/BrowserHost_test.cpp,game/CacheClearing_test.cpp,res/Quillmoor.rc"
  "net_win_tests:net/Download_test.cpp"
  "server_win_tests:server/AssetCache_test.cpp,server/HTTPServer_test.cpp"
  "skin_win_tests:skin/SkinBitmap_test.cpp,skin/MyButton_test.cpp,skin/KeyboardHook_test.cpp,skin/MainDlg_test.cpp,skin/UpdateProgressDlg_test.cpp,res/Quillmoor.rc,skin/testdata/SkinBitmap_test.rc"
  "toolkit_tests:toolkit/MessageLoop_test.cpp,toolkit/DialogBase_test.cpp,toolkit/ControlHost_test.cpp,res/Quillmoor.rc"
  "update_win_tests:update/SignatureVerifier_test.cpp"
)

# Adds one test executable, and one CTest entry, per entry of the list;
# extra arguments are the libraries to link. The entries of the portable
# list carry the label "portable": they open no window and no socket, so
# tools/test runs them beside the suites that need the display and the ports.
function(quillmoor_add_test_executables list)
  foreach(entry ${${list}})
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 sources)
    string(REPLACE "," ";" sources "${sources}")
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARGN} quillmoor_warnings)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    if(list STREQUAL "QUILLMOOR_PORTABLE_TESTS")
      set_tests_properties(${name} PROPERTIES LABELS portable)
    endif()
  endforeach()
endfunction()
