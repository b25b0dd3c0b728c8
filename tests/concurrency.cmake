# Concurrency: command bytes written while an update runs, and a reader in
# the host's process holding the data lock for seconds (native and under
# Wine); then, natively, the plugin in a substitute host running flat out
# while two reader processes read the shared block and send commands.
add_executable(concurrency_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/concurrency_commands_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/concurrency_lock_hold_test.cpp)
target_link_libraries(concurrency_tests PRIVATE korv_test_main ${CMAKE_DL_LIBS})
add_test(NAME concurrency_tests COMMAND concurrency_tests)
# Alone: it times calls against a half-second bound.
set_tests_properties(concurrency_tests PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300
  RUN_SERIAL TRUE)

if(NOT WIN32 AND KORVANEL_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_executable(concurrency_reader ${CMAKE_CURRENT_SOURCE_DIR}/concurrency_reader.cpp)
  target_include_directories(concurrency_reader PRIVATE ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(concurrency_reader PRIVATE rt)
  add_test(NAME concurrency_processes
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/concurrency_test.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:Korvanel> $<TARGET_FILE:concurrency_reader>
      ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt)
  # Alone, because it measures the host's update rate. The sanitized build
  # runs a shorter race.
  if(KORVANEL_SANITIZE)
    set(concurrency_session 4000)
  else()
    set(concurrency_session 20000)
  endif()
  set_tests_properties(concurrency_processes PROPERTIES RUN_SERIAL TRUE TIMEOUT 900
    ENVIRONMENT "KORVANEL_CONCURRENCY_SESSION=${concurrency_session}")
endif()

# Whole snapshots under a host running flat out with 150 cars: readers of the
# reader kit against the native plugin, and the Windows build under Wine.
if(KORVANEL_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  add_executable(concurrency_snapshot_reader ${CMAKE_CURRENT_SOURCE_DIR}/concurrency_snapshot_reader.c)
  target_include_directories(concurrency_snapshot_reader PRIVATE ${CMAKE_SOURCE_DIR}/include)
  set_target_properties(concurrency_snapshot_reader PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
  if(NOT WIN32)
    target_link_libraries(concurrency_snapshot_reader PRIVATE rt)
  endif()
  set(snapshot_runner "")
  if(CMAKE_CROSSCOMPILING)
    set(snapshot_runner ${KORVANEL_RUNNER})
  endif()
  add_test(NAME concurrency_snapshots
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/concurrency_snapshot_test.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:Korvanel> $<TARGET_FILE:concurrency_snapshot_reader>
      ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt ${snapshot_runner})
  # Alone: the host runs flat out and the readers take the rest of the machine.
  # A million copies natively and under Wine (torn ones come some 30 in a
  # million); the sanitized build copies four times slower and runs 200,000,
  # too few to be sure of a torn one, so there it need not see any.
  if(KORVANEL_SANITIZE)
    set(snapshot_env "KORVANEL_SNAPSHOT_COPIES=200000;KORVANEL_SNAPSHOT_NEED_TORN=0")
  else()
    set(snapshot_env "KORVANEL_SNAPSHOT_COPIES=1000000")
  endif()
  set_tests_properties(concurrency_snapshots PROPERTIES RUN_SERIAL TRUE TIMEOUT 400
    ENVIRONMENT "${snapshot_env};WINEDEBUG=-all")
  if(WIN32)
    set_tests_properties(concurrency_snapshots PROPERTIES RESOURCE_LOCK korvanel_dll)
  endif()
endif()
