#include "app/view/ExportCommand.h"

#include <cstdio>

#include "app/export/Export.h"
#include "app/export/Output.h"
#include "app/view/ModelFiles.h"
#include "app/view/ModelScene.h"

namespace {

VoxMeshMode MeshModeOf(MeshKind kind) {
    switch (kind) {
        case MeshKind::Faces: return VoxMeshMode::Faces;
        case MeshKind::Cubes: return VoxMeshMode::Cubes;
        case MeshKind::Greedy: break;
    }
    return VoxMeshMode::Greedy;
}

}  // namespace

int RunExport(const Options& options) {
    ExportFormat format;
    if (!ExportFormatFromPath(options.output, format)) {
        return ReportUsage(options.output +
                           ": unknown export format; the name must end in .glb, .gltf, .obj, .ply or .vox");
    }
    ExportInput input;
    std::string error;
    if (!LoadModelScenes(options.path, input.scenes, input.paths, error)) {
        Report(error);
        return kExitInput;
    }
    const int32_t count = ExportFrameCount(input);
    if (options.frame > count) {
        return ReportUsage(FramesMissing("frame " + std::to_string(options.frame), options.path, count));
    }
    input.name =
        OutputStemOf(options.path.back() == '/' ? options.path.substr(0, options.path.size() - 1) : options.path);
    ExportOptions exportOptions;
    exportOptions.scale = options.scale;
    exportOptions.mesh = MeshModeOf(options.mesh);
    exportOptions.colors = options.colors == ColorKind::Vertex ? ExportColors::Vertex : ExportColors::Palette;
    exportOptions.hidden = options.hidden;
    exportOptions.frame = options.frame - 1;
    exportOptions.time = options.time;
    if (!ExportVoxels(input, exportOptions, options.output, error)) {
        Report(error);
        return kExitInput;
    }
    return 0;
}
