# The Windows download under Wine: packages the program folder, installs and uninstalls it in a
# fresh prefix. ZORBILO_SCREEN_CHECK may name the Linux build's screen_check, so the installed
# game's title screen is compared with the sprite sheet pixel for pixel.
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_executable(lnk_target ${CMAKE_CURRENT_LIST_DIR}/install/lnk_target.cpp)
  target_link_options(lnk_target PRIVATE -municode)
  target_link_libraries(lnk_target PRIVATE ole32 uuid)
  set_target_properties(lnk_target PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

  set(ZORBILO_SCREEN_CHECK "" CACHE FILEPATH "screen_check of a Linux build, for the Windows end-to-end tests")
  set(check_args)
  if(ZORBILO_SCREEN_CHECK)
    set(check_args ${PROJECT_SOURCE_DIR}/game/assets/sheet.bmp ${ZORBILO_SCREEN_CHECK})
  endif()
  add_test(NAME windows_download
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install/windows_download_test.sh ${ZORBILO_BIN_DIR}
            $<TARGET_FILE:lnk_target> ${check_args})
  set_tests_properties(windows_download PROPERTIES LABELS e2e TIMEOUT 600 ENVIRONMENT
    "ZORBILO_WINE=${CMAKE_CROSSCOMPILING_EMULATOR}")
endif()
