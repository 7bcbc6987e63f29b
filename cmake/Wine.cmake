# Programs of the Windows cross build run under Wine through a small script that pins the build
# folder's private prefix and starts the wine server the right way (see cmake/wine-run.sh.in).
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(VOSTUSB_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE
                 @ONLY)
  set(VOSTUSB_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
  # Test programs (CTest and test discovery) are started once more when Wine ends them before
  # their first line.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOSTUSB_WINE_RUN} --again-if-silent)
endif()

# CTest fixture for every test under Wine: one wine server for the whole run, started before the
# first test with its streams detached and ended after the last (`ctest` alone does it; no outer
# script has to). Call once, from a folder with tests.
function(vostusb_wine_fixture)
  if(VOSTUSB_WINE_RUN)
    add_test(NAME wine_server_start COMMAND ${VOSTUSB_WINE_RUN} cmd /c exit)
    add_test(NAME wine_server_stop COMMAND ${VOSTUSB_WINE_RUN} --stop)
    set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine_server)
    set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_server)
  endif()
endfunction()
