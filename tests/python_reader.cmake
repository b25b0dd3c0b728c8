# The field description against the reader header (as C, in both builds) and
# the Python reader; natively also the Python reader against a live plugin.
find_package(Python3 COMPONENTS Interpreter)
add_executable(field_layout_print ${CMAKE_CURRENT_SOURCE_DIR}/field_layout_print.c)
target_include_directories(field_layout_print PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR})
set_target_properties(field_layout_print PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
if(Python3_Interpreter_FOUND)
  set(layout_runner "")
  if(CMAKE_CROSSCOMPILING)
    set(layout_runner --runner ${KORVANEL_RUNNER})
  endif()
  add_test(NAME field_description
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/readers/python/korvanel_test.py
      --layout-program $<TARGET_FILE:field_layout_print> ${layout_runner})
  set_tests_properties(field_description PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300)
  if(NOT WIN32 AND KORVANEL_TOOLS AND EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
    add_test(NAME python_reader_live
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/python_reader_test.py
        $<TARGET_FILE:korvanel-host> $<TARGET_FILE:Korvanel> $<TARGET_FILE:korvanel-monitor>
        ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt)
    set_tests_properties(python_reader_live PROPERTIES TIMEOUT 300)
  endif()
endif()
