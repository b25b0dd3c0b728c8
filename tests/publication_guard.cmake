# The published bytes of a seeded race against the recording in tests/data,
# and the faster ways of the updates against the plain computations; runs in
# every build, so the Windows build is held to the same bytes.
add_executable(publication_guard_test ${CMAKE_CURRENT_SOURCE_DIR}/publication_guard_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fast_paths_test.cpp ${CMAKE_SOURCE_DIR}/tools/race/race_generator.cpp)
target_link_libraries(publication_guard_test PRIVATE korv_test_main)
target_compile_definitions(publication_guard_test PRIVATE
  KORVANEL_GUARD_FILE="${CMAKE_SOURCE_DIR}/tests/data/publication_guard.txt")
add_test(NAME publication_guard_test COMMAND publication_guard_test)
set_tests_properties(publication_guard_test PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 900)
