# The request framing of the data event and ParseRequest over arbitrary bytes, in a scratch
# game folder.
vk_fuzzer(core_request_framing SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_request_framing_fuzz.cpp LIBS vkclientcore)
vk_fuzzer(core_request_parse SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_request_parse_fuzz.cpp LIBS vkclientcore)
