find_package(ZLIB REQUIRED)
voxwalk_add_fuzzer(png SOURCES ${CMAKE_CURRENT_LIST_DIR}/PngFuzz.cpp LIBS voxwalk_png ZLIB::ZLIB)
