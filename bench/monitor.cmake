# Replay of a long generated match through the VKST program against a bare libpcap read loop over
# the same file, both as child processes: time ratio and peak memory for two capture lengths.
if(TARGET VKST AND TARGET vkgamegen)
  vk_bench(monitor_replay_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_replay_bench.cpp LIBS vkgamegen)
  target_include_directories(monitor_replay_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(monitor_replay_bench PRIVATE VKST_PATH="$<TARGET_FILE:VKST>")
  add_dependencies(monitor_replay_bench VKST)
endif()

# The sender and the bare capture loop of bench/live_capture_bench.sh (run by scripts/bench.sh);
# kept out of build/bench/ so that the loop over benchmarks does not start it on its own.
if(TARGET vkgamegen)
  add_executable(live_flood ${CMAKE_CURRENT_LIST_DIR}/live_flood.cpp)
  target_include_directories(live_flood PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(live_flood PRIVATE vkgamegen)
  set_target_properties(live_flood PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench/helpers)
endif()
