# Heap allocations of the update cycles, counted by replacing the allocation
# functions; natively only (the sanitizers bring allocators of their own, and
# the Windows C runtime's functions cannot be replaced this way).
if(NOT WIN32 AND NOT KORVANEL_SANITIZE)
  add_executable(no_allocation_test ${CMAKE_CURRENT_SOURCE_DIR}/no_allocation_test.cpp
    ${CMAKE_SOURCE_DIR}/tools/race/race_generator.cpp)
  target_link_libraries(no_allocation_test PRIVATE korv_test_main)
  add_test(NAME no_allocation_test COMMAND no_allocation_test)
  set_tests_properties(no_allocation_test PROPERTIES TIMEOUT 600)
endif()
