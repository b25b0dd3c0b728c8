# The timing records in the shared block, driven through the DLL under Wine.
# (Included after win32.cmake, which defines the helper.)
if(WIN32)
  korvanel_wine_test(timing_wine_test win32/timing_wine_test.cpp)
endif()
