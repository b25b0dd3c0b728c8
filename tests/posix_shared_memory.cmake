# Shared-memory objects on POSIX systems that another user made first, or
# that a reader shrinks while the host runs. Native only.
if(NOT WIN32)
  add_executable(posix_shared_memory_tests ${CMAKE_CURRENT_SOURCE_DIR}/posix_shared_memory_test.cpp)
  target_link_libraries(posix_shared_memory_tests PRIVATE korv_test_main rt)
  add_test(NAME posix_shared_memory_tests COMMAND posix_shared_memory_tests)
  set_tests_properties(posix_shared_memory_tests PROPERTIES TIMEOUT 120)
endif()
