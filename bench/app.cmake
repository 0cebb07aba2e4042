# The viewer: time from process start to the first presented frame, and the
# cost of one loop iteration without its sleep. Needs a display (Xvfb with
# LIBGL_ALWAYS_SOFTWARE=1 for the llvmpipe figures).
if(TARGET voxwalk_walk)
  add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/ViewerBench.cpp)
  target_link_libraries(app_bench PRIVATE voxwalk_walk voxwalk_monument voxwalk_options benchmark::benchmark)
  target_compile_definitions(app_bench PRIVATE VOXWALK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()

# The model viewer and --snapshot: first frame, frame time, peak memory.
if(TARGET voxwalk_walk)
  add_executable(model_viewer_bench ${CMAKE_CURRENT_LIST_DIR}/ModelViewerBench.cpp)
  target_link_libraries(model_viewer_bench PRIVATE
    voxwalk_view voxwalk_monument voxwalk_options benchmark::benchmark)
  target_compile_definitions(model_viewer_bench PRIVATE
    VOXWALK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VOXWALK_BINARY="$<TARGET_FILE:voxwalk>")
  # The stress models are written with the tests' .vox byte builders.
  target_include_directories(model_viewer_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_dependencies(model_viewer_bench voxwalk)
endif()

# Vertex buffers against instancing for the model viewer's faces (offscreen, no display).
if(TARGET voxwalk_stage)
  add_executable(face_path_bench ${CMAKE_CURRENT_LIST_DIR}/FacePathBench.cpp)
  target_link_libraries(face_path_bench PRIVATE
    voxwalk_stage voxwalk_monument voxwalk_options benchmark::benchmark)
  target_compile_definitions(face_path_bench PRIVATE VOXWALK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
