add_executable(bench_math ${CMAKE_CURRENT_LIST_DIR}/MathBench.cpp)
target_link_libraries(bench_math PRIVATE voxwalk_math voxwalk_options benchmark::benchmark_main)
