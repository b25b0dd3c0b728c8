# The release a Windows user unpacks into the simulator's folder
# (`cmake --build --preset win32 --target package`: a ZIP in build/win32).
# The sample configuration goes in under its own name, so unpacking over an
# install never overwrites the user's korvanelconf.txt. The 64-bit Windows
# twin exists to run the tests and has no release.
if(WIN32 AND NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()
if(WIN32)
  install(TARGETS Korvanel RUNTIME DESTINATION Plugins LIBRARY DESTINATION Plugins)
else()
  install(TARGETS Korvanel LIBRARY DESTINATION Plugins)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt DESTINATION Plugins/KORVANEL
        RENAME korvanelconf.sample.txt)
foreach(tool korvanel-monitor korvanel-live)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION .)
  endif()
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/korvanel DESTINATION include)
if(EXISTS ${CMAKE_SOURCE_DIR}/readers/python/korvanel.py)
  install(FILES ${CMAKE_SOURCE_DIR}/readers/python/korvanel.py DESTINATION readers/python)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/docs/INSTALL.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Korvanel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win32)
if(NOT WIN32)
  set(CPACK_SYSTEM_NAME linux)
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
