# The monitor's packet path: captured frames cut into messages and run through every detector.
if(TARGET vkmonitor)
  vk_fuzzer(monitor_packet SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_packet.cpp LIBS vkmonitor)
  target_include_directories(monitor_packet PRIVATE ${PROJECT_SOURCE_DIR})
endif()
