# The file-version reader over arbitrary bytes (the game's executable, or an ELF file with
# broken section headers).
vk_fuzzer(app_version
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/app_version_fuzz.cpp ${PROJECT_SOURCE_DIR}/client/app/file_version.cpp)
target_include_directories(app_version PRIVATE ${PROJECT_SOURCE_DIR})
