# Replay of a long generated match through the VKST program against a bare libpcap read loop over
# the same file, both as child processes: time ratio and peak memory for two capture lengths.
if(TARGET VKST AND TARGET vkgamegen)
  vk_bench(monitor_replay_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_replay_bench.cpp LIBS vkgamegen)
  target_include_directories(monitor_replay_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(monitor_replay_bench PRIVATE VKST_PATH="$<TARGET_FILE:VKST>")
  add_dependencies(monitor_replay_bench VKST)
endif()
