# Windows-only tests: the host's binary contract, driven under Wine.
if(WIN32)

  # Every program that loads the DLL shares its state section and the block's
  # fixed name, so they run one at a time.
  function(korvanel_wine_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE korv_test_main)
    target_compile_definitions(${name} PRIVATE KORVANEL_DLL_PATH="${KORVANEL_DLL_FILE}")
    add_dependencies(${name} Korvanel)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEDEBUG=-all"
      RESOURCE_LOCK korvanel_dll TIMEOUT 300)
  endfunction()

  korvanel_wine_test(host_abi_test win32/host_abi_test.cpp)
  korvanel_wine_test(shared_between_processes_test win32/shared_between_processes_test.cpp)
  add_executable(state_peer win32/state_peer.cpp)
  target_compile_definitions(state_peer PRIVATE KORVANEL_DLL_PATH="${KORVANEL_DLL_FILE}")
  target_include_directories(state_peer PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  add_dependencies(shared_between_processes_test state_peer)
  target_compile_definitions(shared_between_processes_test PRIVATE
    STATE_PEER_PATH="$<TARGET_FILE:state_peer>")

  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(dll_format pei-i386)
  else()
    set(dll_format pei-x86-64)
  endif()
  add_test(NAME dll_exports_test
    COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/check_exports.sh ${KORVANEL_DLL_FILE}
      ${CMAKE_OBJDUMP} ${dll_format})
  set_tests_properties(dll_exports_test PROPERTIES RESOURCE_LOCK korvanel_dll)
endif()
