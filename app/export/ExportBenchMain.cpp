// voxwalk-export-bench OUT (IN.vox | --monument | --checkerboard N) [--mesh M] [--colors C]
// Loads (or makes) one model and exports it, as the command line will: the
// driver for measuring a whole export's time and peak memory.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/export/Export.h"
#include "tools/Monument.h"

namespace {

// A MagicaVoxel file of one n x n x n model whose cells alternate (no two
// voxels share a face), colours by x.
std::vector<uint8_t> CheckerboardVoxFile(int n) {
    std::vector<uint8_t> xyzi;
    auto put32 = [](std::vector<uint8_t>& out, uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    uint32_t count = 0;
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                if ((x + y + z) % 2 == 0) {
                    xyzi.insert(xyzi.end(), {uint8_t(x), uint8_t(y), uint8_t(z), uint8_t(1 + x % 7)});
                    ++count;
                }
    std::vector<uint8_t> main;
    auto chunk = [&](const char* id, const std::vector<uint8_t>& body) {
        main.insert(main.end(), id, id + 4);
        put32(main, uint32_t(body.size()));
        put32(main, 0);
        main.insert(main.end(), body.begin(), body.end());
    };
    std::vector<uint8_t> size;
    for (int i = 0; i < 3; ++i) put32(size, uint32_t(n));
    chunk("SIZE", size);
    std::vector<uint8_t> body;
    put32(body, count);
    body.insert(body.end(), xyzi.begin(), xyzi.end());
    chunk("XYZI", body);
    std::vector<uint8_t> file = {'V', 'O', 'X', ' '};
    put32(file, 150);
    file.insert(file.end(), {'M', 'A', 'I', 'N'});
    put32(file, 0);
    put32(file, uint32_t(main.size()));
    file.insert(file.end(), main.begin(), main.end());
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT (IN.vox | --monument | --checkerboard N) [--mesh M] [--colors C]\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    ExportInput input;
    input.scenes.emplace_back();
    std::string error;
    int next = 3;
    bool loaded;
    if (std::strcmp(argv[2], "--monument") == 0 || std::strcmp(argv[2], "--checkerboard") == 0) {
        const bool monument = argv[2][2] == 'm';
        if (!monument && argc < 4) return 2;
        const std::vector<uint8_t> bytes = monument ? MonumentVoxFile() : CheckerboardVoxFile(std::atoi(argv[3]));
        next += monument ? 0 : 1;
        input.name = monument ? "monument" : "checkerboard";
        loaded = LoadVoxelSceneFromMemory(bytes.data(), bytes.size(), input.name.c_str(), input.scenes[0], error);
    } else {
        input.paths.push_back(argv[2]);
        loaded = LoadVoxelScene(argv[2], input.scenes[0], error);
    }
    if (!loaded) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ExportOptions options;
    for (int i = next; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mesh") == 0 && !ParseVoxMeshMode(argv[i + 1], options.mesh)) return 2;
        if (std::strcmp(argv[i], "--colors") == 0) {
            options.colors = std::strcmp(argv[i + 1], "vertex") == 0 ? ExportColors::Vertex : ExportColors::Palette;
        }
    }
    if (!ExportVoxels(input, options, argv[1], error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: exported in %.3f s\n", argv[1], seconds);
    return 0;
}
