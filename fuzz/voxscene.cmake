voxwalk_add_fuzzer(voxscene SOURCES ${CMAKE_CURRENT_LIST_DIR}/VoxSceneFuzz.cpp LIBS voxwalk_voxel)
