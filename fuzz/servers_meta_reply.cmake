# The meta server's reply as the browser reads it back, over arbitrary bytes.
vk_fuzzer(servers_meta_reply
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/servers_meta_reply_fuzz.cpp ${PROJECT_SOURCE_DIR}/client/servers/meta_reply.cpp)
target_include_directories(servers_meta_reply PRIVATE ${PROJECT_SOURCE_DIR})
