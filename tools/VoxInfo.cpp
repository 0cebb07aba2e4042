// voxwalk-info: what a .vox file holds, as the scene reader sees it.
//
//   voxwalk-info [--json] FILE...
//
// Per file: format and version, the models with their sizes and voxel
// counts, layers, the scene graph as an indented tree, the materials of the
// colour indices some model's voxel uses (materials of unused entries are
// only counted), the frame count and, per frame, the composed voxel count
// and bounding box (editor coordinates, z up, before any mirroring). --json
// prints the same as one JSON array with one object per file:
//   {"file", "format" ("magicavoxel" | "poly2vox" | null), "version",
//    "models": [{"size": [x, y, z], "voxels": n}], "layers": [{"id", "name", "hidden"}],
//    "materials": [{"id", "type", "properties": {"rough": 0.1, ...}}],
//    "frames", "frame_stats": [{"voxels": n, "min": [x, y, z] | null, "max": ... }],
//    "error": null | "message"}
// JSON is always valid UTF-8: in names and file names, each byte that is not
// part of a valid UTF-8 sequence becomes U+FFFD. Text output prints names as
// they are.
// Exit status: 0 when every file reads, 1 otherwise (one line per unreadable
// file on stderr) or when standard output cannot be written, 2 for a usage
// error.
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "voxel/VoxScene.h"

namespace {

std::string Usage() {
    char limits[512];
    std::snprintf(limits, sizeof limits,
                  "The reader refuses a file whose scene graph nests more than %d transforms, places\n"
                  "more than %lld nodes or composes more than %lld voxels in one frame, names a\n"
                  "frame above %d, translates by more than %d cells on an axis, or has a model\n"
                  "side above %d cells.\n",
                  kVoxSceneMaxDepth, static_cast<long long>(kVoxSceneMaxPlacements),
                  static_cast<long long>(kVoxSceneMaxVoxels), kVoxSceneMaxFrameIndex, kVoxSceneMaxTranslation,
                  kVoxSceneMaxModelSize);
    return std::string(
               "usage: voxwalk-info [--json] FILE...\n"
               "Prints each .vox file's models, layers, scene graph, the materials of the colour\n"
               "indices its voxels use, and its frames.\n"
               "  --json     one JSON array, one object per file; in names and file names each byte\n"
               "             that is not valid UTF-8 becomes U+FFFD\n"
               "  --help     this text\n"
               "  --version  the program's version\n"
               "FILE is a regular file, or a pipe given as /dev/stdin, /dev/fd/N or /proc/self/fd/N\n"
               "(read to its end); other kinds of file are refused.\n") +
           limits +
           "Exit status: 0 when every file reads, 1 when one does not or the output cannot be\n"
           "written, 2 for a usage error.\n";
}

// Length of the valid UTF-8 sequence at the start of `s` (`n` bytes), 0 if
// there is none: no overlong forms, surrogates or code points past U+10FFFF.
size_t Utf8Sequence(const unsigned char* s, size_t n) {
    const unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        low = c == 0xe0 ? 0xa0 : 0x80;   // E0: no overlong forms
        high = c == 0xed ? 0x9f : 0xbf;  // ED: no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        low = c == 0xf0 ? 0x90 : 0x80;   // F0: no overlong forms
        high = c == 0xf4 ? 0x8f : 0xbf;  // F4: nothing past U+10FFFF
    }
    if (length == 0 || n < length || s[1] < low || s[1] > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xbf) return 0;
    }
    return length;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = bytes[i];
        const size_t length = Utf8Sequence(bytes + i, text.size() - i);
        if (length == 0) {
            out += "\xef\xbf\xbd";  // U+FFFD for this byte alone
            i += 1;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

// A property value as JSON and text print it: the shortest form that reads back.
std::string Number(float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The materials of colour indices that some model's voxel uses.
std::vector<const VoxelMaterial*> UsedMaterials(const VoxelScene& scene) {
    std::array<bool, 256> used{};
    for (const VoxelSceneModel& model : scene.models) {
        for (const VoxelCell& v : model.cells) used[v.colorIndex] = true;
        for (const Voxel& v : model.wide) {
            if (v.colorIndex < 256) used[v.colorIndex] = true;
        }
    }
    std::vector<const VoxelMaterial*> out;
    for (const VoxelMaterial& m : scene.materials) {
        if (used[static_cast<size_t>(m.id)]) out.push_back(&m);
    }
    return out;
}

// "name value" (text) or "\"name\": value" (JSON) for each property the material sets.
std::string Properties(const VoxelMaterial& m, bool json) {
    std::string out;
    for (size_t p = 0; p < kVoxelMaterialPropertyCount; ++p) {
        const auto property = static_cast<VoxelMaterialProperty>(p);
        if (!VoxelMaterialHas(m, property)) continue;
        const std::string name = VoxelMaterialPropertyName(property);
        out += json ? std::string(out.empty() ? "" : ", ") + "\"" + name + "\": " + Number(m.values[p])
                    : ", " + name + " " + Number(m.values[p]);
    }
    return out;
}

std::string Triple(const int32_t v[3], const char* open, const char* close) {
    return open + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " + std::to_string(v[2]) + close;
}

struct FrameStat {
    size_t voxels = 0;
    bool any = false;
    int32_t min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
};

std::vector<FrameStat> FrameStats(const VoxelScene& scene) {
    std::vector<FrameStat> stats;
    VoxelModel model;  // reused, so frames do not reallocate
    for (int32_t f = 0; f < VoxelSceneFrameCount(scene); ++f) {
        ComposeFrame(scene, f, model);
        FrameStat s;
        s.voxels = model.voxels.size();
        s.any = VoxelModelBounds(model, s.min, s.max);
        stats.push_back(s);
    }
    return stats;
}

const char* KindName(VoxelNodeKind kind) {
    return kind == VoxelNodeKind::Transform ? "nTRN" : kind == VoxelNodeKind::Group ? "nGRP" : "nSHP";
}

// The graph depth first; a node below several parents is written out under
// the first and named again under the others.
void PrintNode(const VoxelScene& scene, int32_t index, int depth, std::vector<bool>& printed) {
    const VoxelSceneNode& node = scene.nodes[static_cast<size_t>(index)];
    std::string line(static_cast<size_t>(4 + 2 * depth), ' ');
    line += std::string(KindName(node.kind)) + " " + std::to_string(node.id);
    if (!node.name.empty()) line += " \"" + node.name + "\"";
    if (node.layer >= 0) line += " layer " + std::to_string(node.layer);
    if (node.hidden) line += " hidden";
    if (node.kind == VoxelNodeKind::Transform) line += ", " + std::to_string(node.transformKeys.size()) + " key(s)";
    if (node.kind == VoxelNodeKind::Shape) {
        line += ", model";
        for (const VoxelShapeKey& key : node.shapeKeys) line += " " + std::to_string(key.model);
        line += " (" + std::to_string(node.shapeKeys.size()) + " key(s))";
    }
    if (printed[static_cast<size_t>(index)]) {
        std::printf("%s, again (shown above)\n", line.c_str());
        return;
    }
    printed[static_cast<size_t>(index)] = true;
    std::printf("%s\n", line.c_str());
    for (int32_t child : node.children) PrintNode(scene, child, depth + 1, printed);
}

void PrintText(const char* file, const VoxelScene& scene, const std::vector<FrameStat>& stats) {
    std::printf("%s\n", file);
    if (scene.poly2vox) {
        std::printf("  format: Poly2Vox\n");
    } else {
        std::printf("  format: MagicaVoxel, version %d\n", scene.version);
    }
    std::printf("  models: %zu\n", scene.models.size());
    for (size_t i = 0; i < scene.models.size(); ++i) {
        const VoxelSceneModel& m = scene.models[i];
        std::printf("    %zu: %d x %d x %d, %zu voxels\n", i, m.sizeX, m.sizeY, m.sizeZ, VoxelSceneModelVoxelCount(m));
    }
    if (!scene.layers.empty()) {
        std::printf("  layers: %zu\n", scene.layers.size());
        for (const VoxelSceneLayer& layer : scene.layers) {
            std::printf("    %d \"%s\"%s\n", layer.id, layer.name.c_str(), layer.hidden ? " hidden" : "");
        }
    }
    if (!scene.materials.empty()) {
        const std::vector<const VoxelMaterial*> used = UsedMaterials(scene);
        std::printf("  materials: %zu of %zu (those of colour indices some voxel uses)\n", used.size(),
                    scene.materials.size());
        for (const VoxelMaterial* m : used) {
            std::printf("    %d: %s%s\n", m->id, VoxelMaterialTypeName(m->type), Properties(*m, false).c_str());
        }
    }
    if (scene.root >= 0) {
        std::printf("  scene graph: %zu nodes\n", scene.nodes.size());
        std::vector<bool> printed(scene.nodes.size(), false);
        PrintNode(scene, scene.root, 0, printed);
    } else {
        std::printf("  scene graph: none (each model is a frame)\n");
    }
    std::printf("  frames: %d\n", VoxelSceneFrameCount(scene));
    for (size_t f = 0; f < stats.size(); ++f) {
        const FrameStat& s = stats[f];
        if (s.any) {
            std::printf("    %zu: %zu voxels, min %s, max %s\n", f, s.voxels, Triple(s.min, "(", ")").c_str(),
                        Triple(s.max, "(", ")").c_str());
        } else {
            std::printf("    %zu: no voxels\n", f);
        }
    }
}

std::string JsonObject(const char* file, const VoxelScene* scene, const std::vector<FrameStat>& stats,
                       const std::string& error) {
    std::string out = "{\"file\": " + Json(file);
    if (scene == nullptr) {
        return out +
               ", \"format\": null, \"version\": null, \"models\": [], \"layers\": [], \"materials\": [], "
               "\"frames\": 0, \"frame_stats\": [], \"error\": " +
               Json(error) + "}";
    }
    out += std::string(", \"format\": ") + (scene->poly2vox ? "\"poly2vox\"" : "\"magicavoxel\"");
    out += ", \"version\": " + std::to_string(scene->version) + ", \"models\": [";
    for (size_t i = 0; i < scene->models.size(); ++i) {
        const VoxelSceneModel& m = scene->models[i];
        const int32_t size[3] = {m.sizeX, m.sizeY, m.sizeZ};
        out += std::string(i ? ", " : "") + "{\"size\": " + Triple(size, "[", "]") +
               ", \"voxels\": " + std::to_string(VoxelSceneModelVoxelCount(m)) + "}";
    }
    out += "], \"layers\": [";
    for (size_t i = 0; i < scene->layers.size(); ++i) {
        const VoxelSceneLayer& l = scene->layers[i];
        out += std::string(i ? ", " : "") + "{\"id\": " + std::to_string(l.id) + ", \"name\": " + Json(l.name) +
               ", \"hidden\": " + (l.hidden ? "true" : "false") + "}";
    }
    out += "], \"materials\": [";
    const std::vector<const VoxelMaterial*> used = UsedMaterials(*scene);
    for (size_t i = 0; i < used.size(); ++i) {
        out += std::string(i ? ", " : "") + "{\"id\": " + std::to_string(used[i]->id) + ", \"type\": \"" +
               VoxelMaterialTypeName(used[i]->type) + "\", \"properties\": {" + Properties(*used[i], true) + "}}";
    }
    out += "], \"frames\": " + std::to_string(VoxelSceneFrameCount(*scene)) + ", \"frame_stats\": [";
    for (size_t f = 0; f < stats.size(); ++f) {
        const FrameStat& s = stats[f];
        out += std::string(f ? ", " : "") + "{\"voxels\": " + std::to_string(s.voxels) +
               ", \"min\": " + (s.any ? Triple(s.min, "[", "]") : "null") +
               ", \"max\": " + (s.any ? Triple(s.max, "[", "]") : "null") + "}";
    }
    return out + "], \"error\": null}";
}

// Everything printed reaches standard output, or the run fails.
int Finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "voxwalk-info: cannot write standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    std::vector<const char*> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
        } else if (options && std::strcmp(arg, "--json") == 0) {
            json = true;
        } else if (options && std::strcmp(arg, "--help") == 0) {
            std::fputs(Usage().c_str(), stdout);
            return Finish(0);
        } else if (options && std::strcmp(arg, "--version") == 0) {
            std::puts("voxwalk-info 1.0");
            return Finish(0);
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "voxwalk-info: unknown option '%s'\nTry 'voxwalk-info --help'.\n", arg);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs("voxwalk-info: no file given\nTry 'voxwalk-info --help'.\n", stderr);
        return 2;
    }

    int status = 0;
    if (json) std::puts("[");
    for (size_t i = 0; i < files.size(); ++i) {
        VoxelScene scene;
        std::string error;
        const bool ok = LoadVoxelScene(files[i], scene, error);
        std::vector<FrameStat> stats;
        if (ok) stats = FrameStats(scene);
        if (!ok) {
            std::fprintf(stderr, "voxwalk-info: %s\n", error.c_str());
            status = 1;
        }
        if (json) {
            std::printf("  %s%s\n", JsonObject(files[i], ok ? &scene : nullptr, stats, error).c_str(),
                        i + 1 < files.size() ? "," : "");
        } else if (ok) {
            PrintText(files[i], scene, stats);
        }
    }
    if (json) std::puts("]");
    return Finish(status);
}
