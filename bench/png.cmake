# PNG decode benchmark: our decoder against libpng, stb_image and the zlib
# floor on a synthetic corpus generated on first run (scripts/bench-png).
find_package(PNG)
find_package(ZLIB)
find_library(STB_LIBRARY stb)
find_path(STB_INCLUDE_DIR stb/stb_image.h)
if(NOT PNG_FOUND OR NOT ZLIB_FOUND OR NOT STB_LIBRARY OR NOT STB_INCLUDE_DIR)
  message(STATUS "libpng, zlib or stb missing: the PNG benchmark is not built")
  return()
endif()
add_executable(png_bench
  ${CMAKE_CURRENT_LIST_DIR}/PngBench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PngBenchCorpus.cpp)
target_include_directories(png_bench PRIVATE ${STB_INCLUDE_DIR})
target_link_libraries(png_bench PRIVATE voxwalk_png PNG::PNG ZLIB::ZLIB ${STB_LIBRARY}
  benchmark::benchmark voxwalk_options)
