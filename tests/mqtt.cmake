# korvanel-live through a real MQTT broker: two substitute hosts publish, one
# korvanel-live follows. Registered wherever korvanel-live is built with
# libmosquitto (the same search as tools/live); the script fails, rather
# than skips, when the mosquitto broker itself is missing.
find_path(MQTT_TEST_MOSQUITTO_H mosquitto.h)
find_library(MQTT_TEST_MOSQUITTO_LIB mosquitto)
find_package(ZLIB QUIET)
if(KORVANEL_TOOLS AND LIVE_BEAST_HEADERS AND NOT CMAKE_CROSSCOMPILING AND MQTT_TEST_MOSQUITTO_H
   AND MQTT_TEST_MOSQUITTO_LIB AND ZLIB_FOUND)
  add_test(NAME mqtt_end_to_end
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/mqtt_e2e.sh
      $<TARGET_FILE:korvanel-host> $<TARGET_FILE:korvanel-live> $<TARGET_FILE:Korvanel>
      ${CMAKE_SOURCE_DIR}/docs/korvanelconf.txt)
  set_tests_properties(mqtt_end_to_end PROPERTIES TIMEOUT 300 RUN_SERIAL ON)
endif()
