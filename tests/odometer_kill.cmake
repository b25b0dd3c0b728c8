# The odometer file under SIGKILL: a forked writer saving in a loop is killed
# at random moments. Needs fork and kill, so it is built natively only.
if(NOT WIN32)
  add_executable(odometer_kill_tests ${CMAKE_CURRENT_SOURCE_DIR}/odometer_kill_test.cpp)
  target_link_libraries(odometer_kill_tests PRIVATE korv_test_main)
  add_test(NAME odometer_kill_tests COMMAND odometer_kill_tests)
  set_tests_properties(odometer_kill_tests PROPERTIES TIMEOUT 120)
endif()
