# Tests of the substitute host and the monitor: unit tests of their parts,
# a C compile test of the reader header, and end-to-end runs with the real
# plugin (under Wine for the Windows build). The tool targets come from
# tools/, which is added after this folder; generator expressions resolve
# them when the build is generated.
if(KORVANEL_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  # Unit tests of the tools live beside them in their rooms.
  file(GLOB tools_unit_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/tools_*_test.cpp)
  add_executable(tools_tests ${tools_unit_sources})
  target_link_libraries(tools_tests PRIVATE korv_test_main korv_tools_core korv_monitor_core
    korv_engineer)
  add_test(NAME tools_tests COMMAND tools_tests)

  add_executable(tools_reader_header_c_test tools_reader_header_c_test.c)
  target_include_directories(tools_reader_header_c_test PRIVATE ${CMAKE_SOURCE_DIR}/include)
  set_target_properties(tools_reader_header_c_test PROPERTIES
    C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
  target_compile_options(tools_reader_header_c_test PRIVATE -pedantic-errors)
  if(NOT WIN32)
    target_link_libraries(tools_reader_header_c_test PRIVATE rt)
  endif()
  add_test(NAME tools_reader_header_c COMMAND tools_reader_header_c_test)

  add_executable(tools_snapshot_check tools_snapshot_check.cpp)
  target_link_libraries(tools_snapshot_check PRIVATE korv_tools_core)
  add_library(tools_partial_plugin SHARED tools_partial_plugin.c)

  set(tools_runner "")
  if(CMAKE_CROSSCOMPILING)
    set(tools_runner ${KORVANEL_RUNNER})
  endif()
  add_test(NAME tools_end_to_end
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools_e2e.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-monitor> $<TARGET_FILE:Korvanel>
      $<TARGET_FILE:tools_snapshot_check> ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt ${tools_runner})
  add_test(NAME tools_bad_input
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools_bad_input.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-monitor> $<TARGET_FILE:Korvanel>
      $<TARGET_FILE:tools_partial_plugin> ${tools_runner})
  set_tests_properties(tools_tests tools_reader_header_c tools_end_to_end tools_bad_input
    PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 900)
  if(WIN32)
    # The DLL's state section is one for every process that loads it: these
    # runs must not overlap the other tests that load the DLL.
    set_tests_properties(tools_end_to_end tools_bad_input PROPERTIES RESOURCE_LOCK korvanel_dll)
  endif()
endif()
