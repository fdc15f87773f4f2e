# Client application: a server check through the check thread and its hand-over against the
# same check run inline on the main thread.
vk_bench(app_check_thread_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/app_check_thread_bench.cpp LIBS vkclientapp)
