# The Windows download under Wine: packages the program folder, installs and uninstalls it in a
# fresh prefix; the installed game's title screen is compared with the sprite sheet pixel for
# pixel.
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_executable(lnk_target ${CMAKE_CURRENT_LIST_DIR}/install/lnk_target.cpp)
  target_link_options(lnk_target PRIVATE -municode)
  target_link_libraries(lnk_target PRIVATE ole32 uuid)
  set_target_properties(lnk_target PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

  # The screen checker is a host program: the test builds it from its source.
  set(check_args ${PROJECT_SOURCE_DIR}/game/assets/sheet.bmp ${CMAKE_CURRENT_LIST_DIR}/e2e/screen_check.cpp)
  add_test(NAME windows_download
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install/windows_download_test.sh ${ZORBILO_BIN_DIR}
            $<TARGET_FILE:lnk_target> ${check_args})
  set_tests_properties(windows_download PROPERTIES LABELS e2e TIMEOUT 600 ENVIRONMENT
    "ZORBILO_WINE=${CMAKE_CROSSCOMPILING_EMULATOR};LC_ALL=C.UTF-8")  # see ZORBILO_WINE_ENV
endif()
