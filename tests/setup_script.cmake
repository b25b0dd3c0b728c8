# The setup script against a package system whose mirror misbehaves (its
# apt-get is a stand-in: nothing is installed).
if(NOT CMAKE_CROSSCOMPILING AND NOT KORVANEL_SANITIZE)
  add_test(NAME setup_script COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/setup_script_test.sh)
  set_tests_properties(setup_script PROPERTIES TIMEOUT 120)
endif()
