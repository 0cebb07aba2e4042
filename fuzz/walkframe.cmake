voxwalk_add_fuzzer(walkframe SOURCES ${CMAKE_CURRENT_LIST_DIR}/WalkFrameFuzz.cpp LIBS voxwalk_walk)
