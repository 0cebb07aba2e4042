# PNG writer and offscreen read-back: what a snapshot costs after drawing.
# The offscreen part needs no display (EGL surfaceless, Mesa llvmpipe).
find_package(PNG)
if(PNG_FOUND)
  add_executable(png_write_bench ${CMAKE_CURRENT_LIST_DIR}/PngWriteBench.cpp)
  target_link_libraries(png_write_bench PRIVATE voxwalk_png voxwalk_platform PNG::PNG
    benchmark::benchmark voxwalk_options)
  target_compile_definitions(png_write_bench PRIVATE VOXWALK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
