// Reading and composing a scene of many models, against the floor of reading
// the same file and writing its voxel records once; and writing it back.
//
// The scene: 128 models of 16 x 16 x 32 full cells (1,048,576 voxels), each
// under its own transform below one group, on a grid (every fourth turned a
// quarter turn), so no two voxels share a cell. The sparse variant spreads
// the grid a million cells apart, which takes the sorting path for shared
// cells instead of the bitmap; the overlapping one packs the grid so tight
// that neighbours share cells and the later one must win each.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "voxel/Vox.h"
#include "voxel/VoxScene.h"
#include "voxel/VoxWrite.h"

namespace {

using namespace voxwrite;

constexpr int kModels = 128, kSizeX = 16, kSizeY = 16, kSizeZ = 32;

Bytes SceneFile(int spacing) {
    Bytes children;
    Bytes voxels = Int32s({kSizeX * kSizeY * kSizeZ});
    for (int z = 0; z < kSizeZ; ++z) {
        for (int y = 0; y < kSizeY; ++y) {
            for (int x = 0; x < kSizeX; ++x) {
                voxels.insert(voxels.end(), {uint8_t(x), uint8_t(y), uint8_t(z), uint8_t(1 + (x + y + z) % 255)});
            }
        }
    }
    for (int m = 0; m < kModels; ++m) Append(children, Join(Size(kSizeX, kSizeY, kSizeZ), Chunk("XYZI", voxels)));
    Append(children, Trn(0, {}, 1, -1));
    Bytes group = Join(Int32s({1}), Dict({}), Int32s({kModels}));
    for (int m = 0; m < kModels; ++m) Append(group, Int32s({2 + 2 * m}));
    Append(children, Chunk("nGRP", group));
    for (int m = 0; m < kModels; ++m) {
        const std::string t = std::to_string((m % 16) * spacing) + " " + std::to_string((m / 16) * spacing) + " 0";
        Append(children, Trn(2 + 2 * m, {}, 3 + 2 * m, -1, {Dict({{"_r", m % 4 == 0 ? "17" : "4"}, {"_t", t}})}));
        Append(children, Shp(3 + 2 * m, m));
    }
    return VoxFile(children, 200);
}

const Bytes& Dense() {
    static const Bytes file = SceneFile(32);
    return file;
}

const Bytes& Sparse() {
    static const Bytes file = SceneFile(1000000);
    return file;
}

// The floor: find each XYZI chunk and write its voxels as records, once.
void BM_FloorReadAndWriteRecords(benchmark::State& state) {
    const Bytes& file = Dense();
    for (auto _ : state) {
        std::vector<Voxel> out(static_cast<size_t>(kModels) * kSizeX * kSizeY * kSizeZ);
        Voxel* o = out.data();
        for (size_t pos = 20; pos + 12 <= file.size();) {
            int32_t content;
            std::memcpy(&content, &file[pos + 4], 4);
            if (std::memcmp(&file[pos], "XYZI", 4) == 0) {
                int32_t count;
                std::memcpy(&count, &file[pos + 12], 4);
                const uint8_t* cell = &file[pos + 16];
                for (int32_t n = 0; n < count; ++n, cell += 4) *o++ = Voxel{cell[0], cell[1], cell[2], cell[3], 0};
            }
            pos += 12 + static_cast<size_t>(content);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kModels * kSizeX * kSizeY * kSizeZ);
}
BENCHMARK(BM_FloorReadAndWriteRecords)->Unit(benchmark::kMillisecond);

void LoadAndCompose(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        VoxelScene scene;
        std::string error;
        if (!LoadVoxelSceneFromMemory(file.data(), file.size(), "bench.vox", scene, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        VoxelModel model;
        ComposeFrame(scene, 0, model);
        benchmark::DoNotOptimize(model.voxels.data());
    }
    state.SetItemsProcessed(state.iterations() * kModels * kSizeX * kSizeY * kSizeZ);
}

const Bytes& Overlapping() {
    static const Bytes file = SceneFile(12);
    return file;
}

void BM_LoadAndComposeDense(benchmark::State& state) { LoadAndCompose(state, Dense()); }
void BM_LoadAndComposeSparse(benchmark::State& state) { LoadAndCompose(state, Sparse()); }
void BM_LoadAndComposeOverlapping(benchmark::State& state) { LoadAndCompose(state, Overlapping()); }
BENCHMARK(BM_LoadAndComposeDense)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndComposeSparse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndComposeOverlapping)->Unit(benchmark::kMillisecond);

void BM_LoadOnly(benchmark::State& state) {
    for (auto _ : state) {
        VoxelScene scene;
        std::string error;
        LoadVoxelSceneFromMemory(Dense().data(), Dense().size(), "bench.vox", scene, error);
        benchmark::DoNotOptimize(scene.models.data());
    }
    state.SetItemsProcessed(state.iterations() * kModels * kSizeX * kSizeY * kSizeZ);
}
BENCHMARK(BM_LoadOnly)->Unit(benchmark::kMillisecond);

// Writing the loaded scene back as a file (it is read back once to check it).
void BM_EncodeDense(benchmark::State& state) {
    VoxelScene scene;
    std::string error;
    LoadVoxelSceneFromMemory(Dense().data(), Dense().size(), "bench.vox", scene, error);
    for (auto _ : state) {
        std::vector<uint8_t> bytes;
        if (!EncodeVoxelScene(scene, bytes, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * kModels * kSizeX * kSizeY * kSizeZ);
}
BENCHMARK(BM_EncodeDense)->Unit(benchmark::kMillisecond);

// Composing a loaded scene, as the viewer does per frame.
void BM_ComposeOnly(benchmark::State& state) {
    VoxelScene scene;
    std::string error;
    LoadVoxelSceneFromMemory(Dense().data(), Dense().size(), "bench.vox", scene, error);
    for (auto _ : state) {
        VoxelModel model;
        ComposeFrame(scene, 0, model);
        benchmark::DoNotOptimize(model.voxels.data());
    }
    state.SetItemsProcessed(state.iterations() * kModels * kSizeX * kSizeY * kSizeZ);
}
BENCHMARK(BM_ComposeOnly)->Unit(benchmark::kMillisecond);

}  // namespace
