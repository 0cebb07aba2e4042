# The viewer: time from process start to the first presented frame, and the
# cost of one loop iteration without its sleep. Needs a display (Xvfb with
# LIBGL_ALWAYS_SOFTWARE=1 for the llvmpipe figures).
if(TARGET voxwalk_app)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/ViewerBench.cpp)
  target_link_libraries(app_bench PRIVATE voxwalk_app voxwalk_monument voxwalk_options benchmark::benchmark)
  target_compile_definitions(app_bench PRIVATE VOXWALK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
