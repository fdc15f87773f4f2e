# Client core: the file-set check against plain reading, and the CRC routine against zlib.
vk_bench(core_checks_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_checks_bench.cpp LIBS vkclientcore)
find_package(ZLIB REQUIRED)
vk_bench(core_crc_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_crc_bench.cpp LIBS vkcommon ZLIB::ZLIB)
# A check= naming an archive's members 5000 times against naming them once.
vk_bench(core_archive_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_archive_bench.cpp
         ${PROJECT_SOURCE_DIR}/tests/core_checks/game_folder.cpp LIBS vkclientcore)
