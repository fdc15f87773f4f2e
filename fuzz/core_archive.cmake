# The archive (volume) reader over arbitrary bytes.
vk_fuzzer(core_archive
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_archive_fuzz.cpp ${PROJECT_SOURCE_DIR}/client/core/archive.cpp
  LIBS vkcommon)
target_include_directories(core_archive PRIVATE ${PROJECT_SOURCE_DIR})
