add_executable(bench_voxscene ${CMAKE_CURRENT_LIST_DIR}/VoxSceneBench.cpp)
target_include_directories(bench_voxscene PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_voxscene PRIVATE voxwalk_voxel voxwalk_options benchmark::benchmark_main)
