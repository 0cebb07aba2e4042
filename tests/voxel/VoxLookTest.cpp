// Looks from material chunks as files write them: the editor's defaults for
// keys left out, and the clamps of the viewer's rule (at most 0.9
// transparent, density as opacity, an IOR written less 1).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "voxel/VoxScene.h"
#include "voxel/VoxWrite.h"

namespace {

using namespace voxwrite;

TEST(VoxLook, EachKindWithTheEditorsDefaultsAndTheViewersClamps) {
    using S = VoxelSurface;
    const struct {
        Bytes chunk;
        VoxelLook look;  // surface, emission, opacity, metal, rough, ior
    } rows[] = {
        {Matl(5, {{"_type", "_emit"}, {"_emit", "0.5"}, {"_flux", "2"}}), {S::Emissive, 2, 1, 0, 1, 1.5f}},
        {Matl(5, {{"_type", "_emit"}}), {S::Emissive, 1, 1, 0, 1, 1.5f}},
        {Matl(5, {{"_type", "_glass"}, {"_trans", "0.25"}, {"_ior", "0.3"}}), {S::Translucent, 0, .75f, 0, .1f, 1.3f}},
        {Matl(5, {{"_type", "_glass"}, {"_alpha", "0.98"}, {"_ri", "1.45"}}), {S::Translucent, 0, .1f, 0, .1f, 1.45f}},
        {Matl(5, {{"_type", "_media"}, {"_d", "0.05"}}), {S::Translucent, 0, 0.1f, 0, 1, 1}},
        {Matl(5, {{"_type", "_metal"}, {"_rough", "0.3"}}), {S::Metal, 0, 1, 1, 0.3f, 1.5f}},
        {Matt(5, 1, 0.7f, 0, {}), {S::Metal, 0, 1, 0.7f, 0.1f, 1.5f}},
    };
    for (size_t row = 0; row < std::size(rows); ++row) {
        const Bytes file = VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 5}}), rows[row].chunk));
        VoxelScene scene;
        std::string error;
        ASSERT_TRUE(LoadVoxelSceneFromMemory(file.data(), file.size(), "look", scene, error)) << error;
        const std::vector<VoxelLook> looks = SceneLooks(scene);
        ASSERT_EQ(looks.size(), 256u) << row;
        const VoxelLook &got = looks[4], &want = rows[row].look;
        EXPECT_EQ(got.surface, want.surface) << row;
        for (const auto& [a, b] : {std::pair{got.emission, want.emission},
                                   {got.opacity, want.opacity},
                                   {got.metal, want.metal},
                                   {got.rough, want.rough},
                                   {got.ior, want.ior}}) {
            EXPECT_NEAR(a, b, 1e-6) << "row " << row;
        }
        EXPECT_EQ(looks[3], VoxelLook{}) << row << ": other entries stay diffuse";
    }
}

}  // namespace
