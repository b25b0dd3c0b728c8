# Under Wine the DLL's block lives in /dev/shm: the native monitor of the
# native build (which the test command builds first) reads it beside the
# Windows monitor, and every unusual /dev/shm entry falls back.
if(WIN32 AND KORVANEL_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_test(NAME wine_dev_shm
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_dev_shm.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-monitor> $<TARGET_FILE:Korvanel>
      $<TARGET_FILE:tools_snapshot_check> ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt
      ${CMAKE_SOURCE_DIR}/build/native/tools/korvanel-monitor)
  set_tests_properties(wine_dev_shm PROPERTIES ENVIRONMENT "WINEDEBUG=-all;WINE=${KORVANEL_RUNNER}" TIMEOUT 600
    RESOURCE_LOCK korvanel_dll)
endif()
