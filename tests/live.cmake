# korvanel-live end to end, natively (it reads a block published natively):
# a race from the substitute host, a WebSocket probe and headless Chromium;
# attacks on the server alone;
# the Windows build's korvanel-live.exe against the DLL under Wine.
# tools/ comes after this folder: its targets resolve when the build is generated.
find_path(LIVE_BEAST_HEADERS boost/beast.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(KORVANEL_TOOLS AND LIVE_BEAST_HEADERS AND NOT CMAKE_CROSSCOMPILING)
  find_package(Threads REQUIRED)
  add_executable(live_probe live_probe.cpp)
  target_link_libraries(live_probe PRIVATE korv_reader Threads::Threads)
  add_test(NAME live_end_to_end
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/live_e2e.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-monitor> $<TARGET_FILE:korvanel-live>
      $<TARGET_FILE:Korvanel> $<TARGET_FILE:live_probe> $<TARGET_FILE:tools_snapshot_check>
      ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt ${CMAKE_BINARY_DIR}/artefacts)
  set_tests_properties(live_end_to_end PROPERTIES TIMEOUT 600 RUN_SERIAL ON SKIP_RETURN_CODE 77)
  # Attacks on the server that need no race: token file, request bytes,
  # Host and Origin (in headless Chromium too), running out of descriptors.
  add_test(NAME live_attacks
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/live_attacks.sh $<TARGET_FILE:korvanel-live>)
  set_tests_properties(live_attacks PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
  # The overlays in headless Chromium against a held race; screenshots kept.
  add_test(NAME live_overlays
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/live_overlays.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-live> $<TARGET_FILE:Korvanel>
      $<TARGET_FILE:live_probe> ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt ${CMAKE_BINARY_DIR}/artefacts)
  set_tests_properties(live_overlays PROPERTIES TIMEOUT 600 RUN_SERIAL ON SKIP_RETURN_CODE 77)
  if(KORVANEL_SANITIZE)
    set_tests_properties(live_end_to_end PROPERTIES ENVIRONMENT "LIVE_LOAD_FIGURES=report")
  endif()
endif()
if(KORVANEL_TOOLS AND LIVE_BEAST_HEADERS AND CMAKE_CROSSCOMPILING)
  add_test(NAME live_wine
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/live_wine.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-monitor> $<TARGET_FILE:korvanel-live>
      $<TARGET_FILE:Korvanel> $<TARGET_FILE:tools_snapshot_check> ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt)
  set_tests_properties(live_wine PROPERTIES ENVIRONMENT "WINEDEBUG=-all;WINE=${KORVANEL_RUNNER}" TIMEOUT 600
    RESOURCE_LOCK korvanel_dll)
endif()
