voxwalk_add_fuzzer(vox SOURCES ${CMAKE_CURRENT_LIST_DIR}/VoxFuzz.cpp LIBS voxwalk_voxel)
