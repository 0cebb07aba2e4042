// Stand-in until the scene reader lands: the single-model reader, so a scene
// reads as its last model and the frames are already in reader orientation.
#include "voxel/VoxScene.h"

bool LoadVoxelScene(const char* path, VoxelScene& scene, std::string& error) {
    if (!LoadVoxelModel(path, scene.model)) {
        error = std::string(path) + ": cannot open the file";
        return false;
    }
    return true;
}

int32_t VoxelSceneFrameCount(const VoxelScene&) { return 1; }

void ComposeFrame(const VoxelScene& scene, int32_t, VoxelModel& model) { model = scene.model; }

void MirrorLikeReader(VoxelModel&) {}
