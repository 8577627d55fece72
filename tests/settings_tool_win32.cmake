# 設定's native Windows dialog: its suite (run under Wine, through the cross-compiling
# emulator) and the end-to-end case that drives the real program under Wine and Xvfb.
if(WIN32 AND TARGET zorbilo_settings_tool_win32)
  add_executable(settings_tool_win32_test ${CMAKE_CURRENT_LIST_DIR}/settings_tool_win32_test.cpp)
  target_link_libraries(settings_tool_win32_test PRIVATE
    zorbilo_settings_tool_win32 zorbilo_settings_resources GTest::gtest_main version)
  target_include_directories(settings_tool_win32_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(settings_tool_win32_test PRIVATE
    ZORBILO_TOOL_EXE="$<TARGET_FILE:settings_tool>")
  set_target_properties(settings_tool_win32_test PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  add_dependencies(settings_tool_win32_test settings_tool)
  add_test(NAME settings_tool_win32_test COMMAND settings_tool_win32_test)
  set_tests_properties(settings_tool_win32_test PROPERTIES TIMEOUT 300)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # Xvfb runs no window manager, and Wine waits 2 s at every closed window for one to answer
    # (80 s for the suite instead of 4). Wine draws the suite's windows itself instead: a
    # setting for this program alone, so nothing else in the prefix changes.
    add_test(NAME settings_tool_win32_unmanaged COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} reg add
      "HKCU\\Software\\Wine\\AppDefaults\\settings_tool_win32_test.exe\\X11 Driver"
      /v Managed /d N /f)
    set_tests_properties(settings_tool_win32_unmanaged PROPERTIES
      FIXTURES_SETUP settings_tool_win32_wine TIMEOUT 120)
    set_tests_properties(settings_tool_win32_test PROPERTIES
      FIXTURES_REQUIRED settings_tool_win32_wine)
  endif()

  find_program(ZORBILO_XDOTOOL xdotool)
  if(ZORBILO_XDOTOOL AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME settings_tool_win32_e2e
      COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/e2e/settings_tool_wine.sh $<TARGET_FILE:settings_tool>)
    set_tests_properties(settings_tool_win32_e2e PROPERTIES TIMEOUT 300 ENVIRONMENT
      "ZORBILO_WINE=${CMAKE_CROSSCOMPILING_EMULATOR}")
  endif()
endif()
