# The Qt front end: the cost of redrawing every window after an event while the server message
# log grows, against appending the same line to the log widget alone.
if(TARGET vkclientui)
  vk_bench(ui_refresh_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_refresh_bench.cpp LIBS vkclientui)
endif()
