# The soak: the plugin driven flat out while a reader holds the odometer
# file open at random, another holds the data lock at random, and a writer
# scribbles the shared block; every metre must reach the file. Short here
# (KORVANEL_SOAK_SECONDS, default 60); longer runs are in docs/reliability.md.
if(KORVANEL_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_executable(soak_tests ${CMAKE_CURRENT_SOURCE_DIR}/soak_test.cpp)
  target_link_libraries(soak_tests PRIVATE korv_test_main korv_tools_core)
  add_test(NAME soak_tests COMMAND soak_tests)
  if(KORVANEL_SANITIZE)
    set(soak_seconds 20)
  else()
    set(soak_seconds 60)
  endif()
  # Alone: it measures the host's call rate.
  set_tests_properties(soak_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 600
    ENVIRONMENT "WINEDEBUG=-all;KORVANEL_SOAK_SECONDS=${soak_seconds}")
endif()
