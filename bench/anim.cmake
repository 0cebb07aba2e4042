# Animation encoders (APNG, separate PNGs, GIF) and the GIF quantiser on
# clips that voxwalk --snapshot renders into the build folder on first run.
find_package(GIF 5.2)
if(GIF_FOUND AND TARGET voxwalk_export AND TARGET voxwalk)
  add_executable(anim_bench ${CMAKE_CURRENT_LIST_DIR}/AnimBench.cpp)
  target_link_libraries(anim_bench PRIVATE
    voxwalk_export voxwalk_png GIF::GIF benchmark::benchmark voxwalk_options)
  target_compile_definitions(anim_bench PRIVATE VOXWALK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VOXWALK_BINARY_DIR="${PROJECT_BINARY_DIR}" VOXWALK_BINARY="$<TARGET_FILE:voxwalk>")
  add_dependencies(anim_bench voxwalk)
endif()
