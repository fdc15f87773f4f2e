# Loopback echo round trips through TSockets and the poll() reactor, against raw poll().
vk_bench(net_echo_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/net/echo_bench.cpp LIBS vknet)
