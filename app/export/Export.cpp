// The export entry point: format by extension, options checked, then the
// scene formats (glTF) go through the plan and the one-frame formats (OBJ,
// PLY) through ComposeFrame and one mesh in world cells.
#include "app/export/Export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <tuple>

#include "app/export/ExportWriters.h"
#include "png/PngWrite.h"
#include "voxel/VoxWrite.h"

namespace {

// One file as it is; a folder's files, one frame each, as one animated
// editor file (separate files share no frame of reference, so each keeps
// its own cells).
bool EncodeVox(const ExportInput& input, std::vector<uint8_t>& bytes, std::string& error) {
    if (input.scenes.size() == 1) return EncodeVoxelScene(input.scenes[0], bytes, error);
    std::vector<VoxelModel> frames(input.scenes.size());
    for (size_t i = 0; i < frames.size(); ++i) ComposeFrame(input.scenes[i], 0, frames[i]);
    return EncodeVoxelFrames(frames, bytes, error);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Block-buffered writing of formatted text to an output file.
struct TextOut {
    std::FILE* file;
    OutputSet& outputs;
    std::string& error;
    std::string block;
    bool ok = true;

    void Add(const char* text, size_t size) {
        block.append(text, size);
        if (block.size() > (size_t{1} << 16)) Flush();
    }
    void Add(const std::string& text) { Add(text.data(), text.size()); }
    void Flush() {
        if (ok) ok = outputs.Write(file, block.data(), block.size(), error);
        block.clear();
    }
};

// Shortest text that reads back as the same float.
std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(static_cast<float>(v)));
    return text;
}

// The frame a one-frame format shows, or -1 with the error.
int32_t ChosenFrame(const ExportInput& input, const ExportOptions& options, const std::string& path,
                    std::string& error) {
    const int32_t count = ExportFrameCount(input);
    double frame = options.frame;
    if (options.time >= 0) frame = std::floor(options.time * kExportFramesPerSecond + 1e-9);
    if (!(frame >= 0 && frame < count)) {
        error = path + ": frame " + Number(frame) + " is outside the " + std::to_string(count) + " frames of the input";
        return -1;
    }
    return static_cast<int32_t>(frame);
}

bool WriteOneFrame(const ExportInput& input, const ExportOptions& options, const std::string& path, ExportFormat format,
                   OutputSet& outputs, std::string& error) {
    const int32_t frame = ChosenFrame(input, options, path, error);
    if (frame < 0) return false;
    const bool folder = input.scenes.size() > 1;
    const VoxelScene& chosen = input.scenes[folder ? static_cast<size_t>(frame) : 0];
    VoxelModel model;
    if (options.hidden) {
        // The composition leaves hidden nodes out; a copy shows them.
        VoxelScene shown = chosen;
        for (VoxelSceneNode& node : shown.nodes) node.hidden = false;
        for (VoxelSceneLayer& layer : shown.layers) layer.hidden = false;
        ComposeFrame(shown, folder ? 0 : frame, model);
    } else {
        ComposeFrame(chosen, folder ? 0 : frame, model);
    }
    VoxMesh mesh;
    VoxMeshOptions meshOptions;
    meshOptions.mode = options.mesh;
    if (!BuildVoxMesh(model.voxels.data(), model.voxels.size(), model.palette, meshOptions, mesh, error)) {
        error = path + ": " + error;
        return false;
    }
    model.voxels = std::vector<Voxel>();
    if (format == ExportFormat::Obj) return WriteObj(mesh, chosen.palette, options, path, outputs, error);
    return WritePly(mesh, chosen.palette, options, path, outputs, error);
}

}  // namespace

std::vector<uint8_t> ExportPalettePng(const std::array<uint32_t, 256>& palette) {
    uint8_t pixels[256 * 3];
    for (size_t i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c) pixels[3 * i + c] = static_cast<uint8_t>(palette[i] >> (8 * c));
    }
    return PngEncode(pixels, 256, 1, 3, PngCompression::Smallest);
}

std::string ExportUriOf(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            uri.push_back(static_cast<char>(c));
        } else {
            uri += {'%', hex[c >> 4], hex[c & 15]};
        }
    }
    return uri;
}

bool ExportFormatFromPath(const std::string& path, ExportFormat& format) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string ext = Lower(path.substr(dot));
    const std::pair<const char*, ExportFormat> known[] = {{".glb", ExportFormat::Glb},
                                                          {".gltf", ExportFormat::Gltf},
                                                          {".obj", ExportFormat::Obj},
                                                          {".ply", ExportFormat::Ply},
                                                          {".vox", ExportFormat::Vox}};
    for (const auto& [name, f] : known) {
        if (ext == name) {
            format = f;
            return true;
        }
    }
    return false;
}

bool WriteObj(const VoxMesh& mesh, const std::array<uint32_t, 256>& palette, const ExportOptions& options,
              const std::string& path, OutputSet& outputs, std::string& error) {
    const std::string stem = OutputStemOf(path), folder = OutputFolderOf(path);
    const bool vertexColors = options.colors == ExportColors::Vertex;
    // OBJ indexes positions apart from normals: one position per point (and
    // colour, when colours ride on positions).
    std::vector<uint32_t> order(mesh.vertices.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    auto key = [&](uint32_t i) {
        const VoxMeshVertex& v = mesh.vertices[i];
        return std::make_tuple(v.position[0], v.position[1], v.position[2], vertexColors ? v.colorIndex : 0);
    };
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
    std::vector<uint32_t> positionOf(mesh.vertices.size());
    std::vector<uint32_t> positions;  // a vertex standing for each position
    for (size_t k = 0; k < order.size(); ++k) {
        if (k == 0 || key(order[k]) != key(order[k - 1])) positions.push_back(order[k]);
        positionOf[order[k]] = static_cast<uint32_t>(positions.size());
    }
    order = std::vector<uint32_t>();

    std::FILE* file = outputs.Open(path, error);
    if (!file) return false;
    TextOut out{file, outputs, error, {}};
    out.Add("# voxwalk export: " + std::to_string(mesh.voxelCount) + " voxels, +Y up, " + Number(options.scale) +
            " m per voxel\n");
    if (!vertexColors) out.Add("mtllib " + stem + ".mtl\n");
    for (uint32_t i : positions) {
        const VoxMeshVertex& v = mesh.vertices[i];
        const double s = options.scale;
        std::string line = "v " + Number(v.position[0] * s) + " " + Number(v.position[2] * s) + " " +
                           Number(-double(v.position[1]) * s);
        if (vertexColors) {
            const uint32_t rgba = palette[v.colorIndex - 1];
            for (int c = 0; c < 3; ++c) line += " " + Number(((rgba >> (8 * c)) & 255) / 255.0);
        }
        out.Add(line + "\n");
    }
    for (int f = 0; f < kVoxFaceCount; ++f) {
        const std::array<int, 3> n = VoxFaceNormal(f);
        out.Add("vn " + std::to_string(n[0]) + " " + std::to_string(n[2]) + " " + std::to_string(-n[1]) + "\n");
    }
    if (!vertexColors) {
        for (int c = 1; c < 256; ++c) out.Add("vt " + Number((c - 0.5) / 256.0) + " 0.5\n");
        out.Add("usemtl palette\n");
    }
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        std::string line = "f";
        for (int k = 0; k < 3; ++k) {
            const uint32_t i = mesh.indices[t + k];
            const VoxMeshVertex& v = mesh.vertices[i];
            line += " " + std::to_string(positionOf[i]) + "/" +
                    (vertexColors ? std::string() : std::to_string(int(v.colorIndex))) + "/" +
                    std::to_string(v.face + 1);
        }
        out.Add(line + "\n");
    }
    out.Flush();
    if (!out.ok) return false;
    if (vertexColors) return true;

    std::FILE* mtl = outputs.Open(folder + stem + ".mtl", error);
    if (!mtl) return false;
    const std::string material =
        "newmtl palette\nKa 0 0 0\nKd 1 1 1\nKs 0 0 0\nNs 0\nd 1\nillum 1\nmap_Kd " + stem + ".png\n";
    if (!outputs.Write(mtl, material.data(), material.size(), error)) return false;
    std::FILE* png = outputs.Open(folder + stem + ".png", error);
    const std::vector<uint8_t> bytes = ExportPalettePng(palette);
    return png && outputs.Write(png, bytes.data(), bytes.size(), error);
}

bool WritePly(const VoxMesh& mesh, const std::array<uint32_t, 256>& palette, const ExportOptions& options,
              const std::string& path, OutputSet& outputs, std::string& error) {
    std::FILE* file = outputs.Open(path, error);
    if (!file) return false;
    const std::string header =
        "ply\nformat binary_little_endian 1.0\ncomment voxwalk export, z up, " + Number(options.scale) +
        " m per voxel\nelement vertex " + std::to_string(mesh.vertices.size()) +
        "\nproperty float x\nproperty float y\nproperty float z\n"
        "property float nx\nproperty float ny\nproperty float nz\n"
        "property uchar red\nproperty uchar green\nproperty uchar blue\n"
        "element face " +
        std::to_string(mesh.indices.size() / 3) + "\nproperty list uchar uint vertex_indices\nend_header\n";
    if (!outputs.Write(file, header.data(), header.size(), error)) return false;
    std::vector<uint8_t> block;
    auto flush = [&](bool force) {
        if (!force && block.size() < (size_t{1} << 16)) return true;
        const bool ok = outputs.Write(file, block.data(), block.size(), error);
        block.clear();
        return ok;
    };
    for (const VoxMeshVertex& v : mesh.vertices) {
        const std::array<int, 3> n = VoxFaceNormal(v.face);
        const float values[6] = {float(v.position[0] * options.scale),
                                 float(v.position[1] * options.scale),
                                 float(v.position[2] * options.scale),
                                 float(n[0]),
                                 float(n[1]),
                                 float(n[2])};
        const size_t at = block.size();
        block.resize(at + sizeof values + 3);
        std::memcpy(block.data() + at, values, sizeof values);
        const uint32_t rgba = palette[v.colorIndex - 1];
        for (int c = 0; c < 3; ++c) block[at + sizeof values + c] = static_cast<uint8_t>(rgba >> (8 * c));
        if (!flush(false)) return false;
    }
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        block.push_back(3);
        const size_t at = block.size();
        block.resize(at + 12);
        std::memcpy(block.data() + at, &mesh.indices[t], 12);
        if (!flush(false)) return false;
    }
    return flush(true);
}

bool ExportVoxels(const ExportInput& input, const ExportOptions& options, const std::string& path, std::string& error) {
    ExportFormat format;
    if (!ExportFormatFromPath(path, format)) {
        error = path + ": unknown output format (the name must end in .glb, .gltf, .obj, .ply or .vox)";
        return false;
    }
    if (!(options.scale > 0 && std::isfinite(options.scale))) {
        error = path + ": the scale must be a positive number of metres per voxel";
        return false;
    }
    if (input.scenes.empty()) {
        error = path + ": nothing to export";
        return false;
    }
    OutputSet outputs(input.paths);
    if (format == ExportFormat::Vox) {
        std::vector<uint8_t> bytes;
        if (!EncodeVox(input, bytes, error)) {
            error = path + ": " + error;
            return false;
        }
        std::FILE* file = outputs.Open(path, error);
        return file != nullptr && outputs.Write(file, bytes.data(), bytes.size(), error) && outputs.Commit(error);
    }
    if (format == ExportFormat::Glb || format == ExportFormat::Gltf) {
        ExportPlan plan;
        if (!BuildExportPlan(input, options, plan, error)) {
            error = path + ": " + error;
            return false;
        }
        if (!WriteGltf(input, plan, options, path, format == ExportFormat::Glb, outputs, error)) return false;
    } else if (!WriteOneFrame(input, options, path, format, outputs, error)) {
        return false;
    }
    return outputs.Commit(error);
}
