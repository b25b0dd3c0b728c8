# The fuzz targets' seed corpus and every input that once found a fault,
# replayed by the ordinary builds: under the sanitize preset, and in the
# 32-bit Windows build under Wine, where the host's records have their own
# 4-byte pointers. Each target's entry point with a plain main instead of
# libFuzzer.
foreach(target scoring_update telemetry_update config_reader odometer_file)
  add_executable(fuzz_replay_${target}
    ${CMAKE_SOURCE_DIR}/fuzz/${target}_fuzzer.cpp
    ${CMAKE_SOURCE_DIR}/fuzz/plugin_harness.cpp
    ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(fuzz_replay_${target} PRIVATE korvanel_core)
  add_test(NAME fuzz_replay_${target}
    COMMAND fuzz_replay_${target} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${target}
            ${CMAKE_SOURCE_DIR}/fuzz/regressions/${target})
  set_tests_properties(fuzz_replay_${target} PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300)
endforeach()
