# The settings reader (the three settings files) and the route journal, from arbitrary bytes.
if(TARGET vkmonitor)
  vk_fuzzer(monitor_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_settings.cpp LIBS vkmonitor)
  target_include_directories(monitor_settings PRIVATE ${PROJECT_SOURCE_DIR})
endif()
