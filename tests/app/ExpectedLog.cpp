// Prints the log lines the viewer's start-up takes from other modules, so the
// end-to-end test can check the viewer's whole standard output:
//   expected_log extensions   what InitGL's extension loader writes
//   expected_log frames       the reader's lines for frames 1 to 30, read
//                             from the working directory
#include <cstring>

#include "app/WalkFrames.h"
#include "render/GLSetup.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "extensions") == 0) {
        InitGL(1024, 768, 32, 0, 2, 0);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "frames") == 0) {
        for (int32_t n = 1; n <= walkFrameCount; ++n) {
            VoxelModel model;
            LoadVoxelModel(WalkFrameFileName(n).c_str(), model);
        }
        return 0;
    }
    return 2;
}
