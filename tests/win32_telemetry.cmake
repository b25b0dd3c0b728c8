# The telemetry path driven through the DLL under Wine; needs the harness
# function from win32.cmake, which sorts before this file.
if(WIN32)
  korvanel_wine_test(telemetry_wine_test win32/telemetry_wine_test.cpp)
endif()
