// Looks from material chunks as files write them: the kinds, the editor's
// defaults for keys left out, and the clamps the viewer's rule sets (at
// most 0.9 transparent, density as opacity, IOR written less 1).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "voxel/VoxScene.h"
#include "voxel/VoxWrite.h"

namespace {

using namespace voxwrite;

// The look of colour index 5 in a one-voxel file with `material` for it.
std::vector<VoxelLook> LooksOf(const Bytes& material) {
    const Bytes file = VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 5}}), material));
    VoxelScene scene;
    std::string error;
    EXPECT_TRUE(LoadVoxelSceneFromMemory(file.data(), file.size(), "look", scene, error)) << error;
    return SceneLooks(scene);
}

VoxelLook Look(VoxelSurface surface, float emission, float opacity, float metal, float rough, float ior) {
    return {surface, emission, opacity, metal, rough, ior};
}

TEST(VoxLook, EachKindWithTheEditorsDefaultsAndTheViewersClamps) {
    using S = VoxelSurface;
    const struct {
        const char* name;
        Bytes chunk;
        VoxelLook look;
    } rows[] = {
        {"emit", Matl(5, {{"_type", "_emit"}, {"_emit", "1.000000"}}), Look(S::Emissive, 1, 1, 0, 1, 1.5f)},
        {"emit raised by flux", Matl(5, {{"_type", "_emit"}, {"_emit", "0.5"}, {"_flux", "2"}}),
         Look(S::Emissive, 2, 1, 0, 1, 1.5f)},
        {"emit without strength", Matl(5, {{"_type", "_emit"}}), Look(S::Emissive, 1, 1, 0, 1, 1.5f)},
        {"old emissive", Matt(5, 3, 0.25f, 0, {}), Look(S::Emissive, 0.25f, 1, 0, 1, 1.5f)},
        {"glass", Matl(5, {{"_type", "_glass"}, {"_trans", "0.25"}, {"_ior", "0.3"}, {"_rough", "0.2"}}),
         Look(S::Translucent, 0, 0.75f, 0, 0.2f, 1.3f)},
        {"glass nearly clear", Matl(5, {{"_type", "_glass"}, {"_alpha", "0.98"}, {"_ri", "1.45"}}),
         Look(S::Translucent, 0, 0.1f, 0, 0.1f, 1.45f)},
        {"blend by weight", Matl(5, {{"_type", "_blend"}, {"_weight", "0.2"}}),
         Look(S::Translucent, 0, 0.8f, 0, 0.1f, 1.5f)},
        {"glass with no values", Matl(5, {{"_type", "_glass"}}), Look(S::Translucent, 0, 0.5f, 0, 0.1f, 1.5f)},
        {"thin media", Matl(5, {{"_type", "_media"}, {"_d", "0.05"}}), Look(S::Translucent, 0, 0.1f, 0, 1, 1)},
        {"dense cloud", Matl(5, {{"_type", "_cloud"}, {"_d", "3"}}), Look(S::Translucent, 0, 1, 0, 1, 1)},
        {"metal", Matl(5, {{"_type", "_metal"}, {"_metal", "0.5"}, {"_rough", "0.3"}}),
         Look(S::Metal, 0, 1, 0.5f, 0.3f, 1.5f)},
        {"old metal", Matt(5, 1, 0.7f, 0, {}), Look(S::Metal, 0, 1, 0.7f, 0.1f, 1.5f)},
    };
    for (const auto& row : rows) {
        const std::vector<VoxelLook> looks = LooksOf(row.chunk);
        ASSERT_EQ(looks.size(), 256u) << row.name;
        const VoxelLook& got = looks[4];
        EXPECT_EQ(got.surface, row.look.surface) << row.name;
        EXPECT_FLOAT_EQ(got.emission, row.look.emission) << row.name;
        EXPECT_FLOAT_EQ(got.opacity, row.look.opacity) << row.name;
        EXPECT_FLOAT_EQ(got.metal, row.look.metal) << row.name;
        EXPECT_FLOAT_EQ(got.rough, row.look.rough) << row.name;
        EXPECT_FLOAT_EQ(got.ior, row.look.ior) << row.name;
        EXPECT_EQ(looks[3], VoxelLook{}) << row.name << ": other entries stay diffuse";
    }
    // Diffuse materials and files without any give no looks at all.
    EXPECT_TRUE(LooksOf(Matl(5, {{"_type", "_diffuse"}, {"_rough", "0.5"}})).empty());
    EXPECT_TRUE(LooksOf({}).empty());
}

}  // namespace
