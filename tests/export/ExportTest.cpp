// The export writers on generated scenes, read back three ways: by our own
// reader of the glTF accessors (tinygltf parses, this file samples the
// animation and finds the cells inside each instance's surface), by the
// Khronos glTF validator, and by assimp. Watertightness uses the mesher's
// independent check (tests/support/MeshCheck.h).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiny_gltf.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "app/export/Export.h"
#include "png/Png.h"
#include "support/MeshCheck.h"
#include "tools/Monument.h"
#include "voxel/VoxWrite.h"

namespace {

using namespace voxwrite;
using meshcheck::Point;

// ---------------------------------------------------------------- scenes

// Palette entry k (index k + 1): distinct bytes, alpha 255.
Bytes Palette() {
    Bytes out;
    for (int k = 0; k < 256; ++k) out.insert(out.end(), {uint8_t(k), uint8_t(255 - k), uint8_t(k * 7), 255});
    return Chunk("RGBA", out);
}

// An asymmetric model (no rotation or mirror maps it onto itself), size 4 x 3 x 2.
Bytes Asymmetric(uint8_t color = 1) {
    return Join(Size(4, 3, 2), Xyzi({{0, 0, 0, color},
                                     {1, 0, 0, color},
                                     {2, 0, 0, uint8_t(color + 1)},
                                     {3, 0, 0, color},
                                     {0, 1, 0, color},
                                     {0, 2, 0, uint8_t(color + 2)},
                                     {0, 0, 1, uint8_t(color + 3)},
                                     {1, 1, 1, color}}));
}

Bytes Trs(int32_t id, int32_t child, const std::string& r, const std::string& t, Pairs attributes = {},
          int32_t layer = -1) {
    return Trn(id, attributes, child, layer, {Dict({{"_r", r}, {"_t", t}})});
}

// Every valid rotation byte, mirrors included: 48 shapes of one model.
Bytes EveryRotation() {
    Bytes graph;
    std::vector<int32_t> children;
    int32_t id = 2, n = 0;
    for (int r = 0; r < 128; ++r) {
        const int c0 = r & 3, c1 = (r >> 2) & 3;
        if (c0 == 3 || c1 == 3 || c0 == c1) continue;
        const std::string t =
            std::to_string(8 * (n % 8)) + " " + std::to_string(8 * (n / 8)) + " " + std::to_string(n % 3);
        Append(graph, Trs(id, id + 1, std::to_string(r), t, {{"_name", "r" + std::to_string(r)}}));
        Append(graph, Shp(id + 1, 0));
        children.push_back(id);
        id += 2, ++n;
    }
    Bytes content = Join(Int32s({1}), Dict({}), Int32s({int32_t(children.size())}));
    for (int32_t c : children) Append(content, Int32s({c}));
    return VoxFile(Join(Asymmetric(), Palette(), Trn(0, {}, 1, -1), Chunk("nGRP", content), graph), 200);
}

// One shape shown twice and one group shown twice (instances), a hidden
// node and a node on a hidden layer.
Bytes Instances() {
    const Bytes models = Join(Asymmetric(1), Size(2, 2, 2), Xyzi({{0, 0, 0, 9}, {1, 1, 1, 9}, {1, 0, 1, 10}}));
    return VoxFile(Join(models, Palette(), Trn(0, {}, 1, -1), Grp(1, {}, {2, 4, 6, 8, 12, 14}),
                        Trs(2, 3, "4", "0 0 0", {{"_name", "first"}}), Shp(3, 0),
                        Trs(4, 3, "17", "10 0 0", {{"_name", "second"}}), Trs(6, 7, "4", "0 12 0", {{"_name", "pair"}}),
                        Grp(7, {{"_name", "pair group"}}, {10}), Trs(8, 7, "40", "0 -12 3"), Trs(10, 11, "4", "3 0 0"),
                        Shp(11, 1), Trs(12, 3, "4", "20 20 0", {{"_name", "hidden"}, {"_hidden", "1"}}),
                        Trs(14, 3, "4", "-20 20 0", {{"_name", "on hidden layer"}}, 1),
                        Node("LAYR", 0, {}, Int32s({-1})), Node("LAYR", 1, {{"_hidden", "1"}}, Int32s({-1}))),
                   200);
}

// Keyframes: translations whose interpolation lands between cells (so the
// floors make stairs), a rotation that changes, a mirror, nested animated
// transforms, and a shape whose model changes.
Bytes Keyframed() {
    const Bytes models = Join(Asymmetric(1), Size(3, 3, 3), Xyzi({{0, 0, 0, 20}, {1, 1, 1, 21}, {2, 2, 2, 22}}),
                              Size(1, 1, 2), Xyzi({{0, 0, 0, 30}, {0, 0, 1, 31}}));
    return VoxFile(
        Join(models, Palette(), Trn(0, {}, 1, -1), Grp(1, {}, {2, 6, 9}),
             Trn(2, {{"_name", "walker"}}, 3, -1,
                 {Dict({{"_f", "0"}, {"_t", "0 0 0"}}), Dict({{"_f", "7"}, {"_t", "5 -3 2"}, {"_r", "20"}}),
                  Dict({{"_f", "20"}, {"_t", "-4 9 1"}, {"_r", "98"}})}),
             Grp(3, {}, {4}),
             Trn(4, {{"_name", "arm"}}, 5, -1,
                 {Dict({{"_f", "0"}, {"_t", "1 1 1"}}), Dict({{"_f", "12"}, {"_t", "4 -2 7"}, {"_r", "36"}})}),
             Shp(5, {}, {{0, Dict({{"_f", "0"}})}, {1, Dict({{"_f", "5"}})}, {0, Dict({{"_f", "15"}})}}),
             Trn(6, {{"_name", "linear"}}, 7, -1,
                 {Dict({{"_f", "0"}, {"_t", "20 0 0"}}), Dict({{"_f", "10"}, {"_t", "30 10 0"}})}),
             Shp(7, 2), Trn(9, {{"_name", "still"}}, 10, -1, {Dict({{"_t", "-30 -30 0"}, {"_r", "89"}})}), Shp(10, 1)),
        200);
}

// An old-style animation: several models, one of them empty, no scene graph.
Bytes Pack() {
    return VoxFile(Join(Chunk("PACK", Int32s({4})), Size(3, 2, 1), Xyzi({{0, 0, 0, 5}, {1, 0, 0, 6}}), Size(2, 2, 2),
                        Xyzi({}), Size(3, 2, 1), Xyzi({{1, 0, 0, 5}, {2, 1, 0, 6}, {2, 0, 0, 7}}), Size(5, 5, 5),
                        Xyzi({{4, 4, 4, 8}}), Palette()));
}

Bytes Single() {
    return VoxFile(
        Join(Size(5, 4, 3), Xyzi({{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 2}, {4, 3, 2, 3}, {3, 3, 2, 3}}), Palette()));
}

struct SceneCase {
    const char* name;
    std::function<Bytes()> make;
    bool animated;
    // A transform under another one: assimp 5.2's `info` composes node
    // transforms child first, so its bounds of such scenes are not the
    // scene's (our own reader checks those).
    bool nested;
};

const SceneCase kScenes[] = {
    {"Single", Single, false, false},
    {"Lighthouse", LighthouseVoxFile, false, false},  // materials: a primitive each
    {"EveryRotation", EveryRotation, false, false},
    {"Instances", Instances, false, true},
    {"Keyframed", Keyframed, true, true},
    {"Pack", Pack, true, false},
    {"Monument", MonumentVoxFile, false, false},
};

VoxelScene Load(const Bytes& bytes, const char* name) {
    VoxelScene scene;
    std::string error;
    EXPECT_TRUE(LoadVoxelSceneFromMemory(bytes.data(), bytes.size(), name, scene, error)) << error;
    return scene;
}

// --------------------------------------------------------------- folders

class TempDir {
  public:
    TempDir() {
        std::string pattern = std::string(VOXWALK_BINARY_DIR) + "/export-test-XXXXXX";
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() {
        for (const std::string& name : Names()) unlink((path_ + "/" + name).c_str());
        rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                    names.push_back(entry->d_name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

std::string RunCommand(const std::string& command, int& status) {
    std::string out;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        status = pclose(pipe);
    } else {
        status = -1;
    }
    return out;
}

bool Export(const VoxelScene& scene, const std::string& path, ExportOptions options = {}) {
    ExportInput input;
    input.scenes.push_back(scene);
    input.name = "test";
    std::string error;
    const bool ok = ExportVoxels(input, options, path, error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

// ---------------------------------------------------------------- reader

bool KeepImageBytes(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int,
                    void*) {
    return true;
}

bool ReadGltf(const std::string& path, tinygltf::Model& model) {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(KeepImageBytes, nullptr);
    std::string error, warning;
    const bool binary = path.ends_with(".glb");
    const bool ok = binary ? loader.LoadBinaryFromFile(&model, &error, &warning, path)
                           : loader.LoadASCIIFromFile(&model, &error, &warning, path);
    EXPECT_TRUE(ok) << path << ": " << error;
    return ok;
}

// Exports `scene` to `path` and reads the file back with tinygltf.
bool ExportAndRead(const VoxelScene& scene, const std::string& path, tinygltf::Model& model,
                   ExportOptions options = {}) {
    return Export(scene, path, options) && ReadGltf(path, model);
}

std::vector<float> Floats(const tinygltf::Model& m, int accessor) {
    const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
    const tinygltf::BufferView& v = m.bufferViews[size_t(a.bufferView)];
    const size_t width = a.type == TINYGLTF_TYPE_SCALAR ? 1
                         : a.type == TINYGLTF_TYPE_VEC2 ? 2
                         : a.type == TINYGLTF_TYPE_VEC3 ? 3
                                                        : 4;
    EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
    std::vector<float> out(a.count * width);
    std::memcpy(out.data(), m.buffers[size_t(v.buffer)].data.data() + v.byteOffset + a.byteOffset, out.size() * 4);
    return out;
}

std::vector<uint32_t> Indices(const tinygltf::Model& m, int accessor) {
    const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
    const tinygltf::BufferView& v = m.bufferViews[size_t(a.bufferView)];
    const uint8_t* data = m.buffers[size_t(v.buffer)].data.data() + v.byteOffset + a.byteOffset;
    std::vector<uint32_t> out(a.count);
    for (size_t i = 0; i < a.count; ++i) {
        if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
            uint16_t s;
            std::memcpy(&s, data + 2 * i, 2);
            out[i] = s;
        } else {
            std::memcpy(&out[i], data + 4 * i, 4);
        }
    }
    return out;
}

// The triangles of every primitive of a mesh, which share its vertex accessors.
std::vector<uint32_t> AllIndices(const tinygltf::Model& m, const tinygltf::Mesh& mesh) {
    std::vector<uint32_t> all;
    for (const tinygltf::Primitive& p : mesh.primitives) {
        EXPECT_EQ(p.attributes, mesh.primitives[0].attributes);
        const std::vector<uint32_t> indices = Indices(m, p.indices);
        all.insert(all.end(), indices.begin(), indices.end());
    }
    return all;
}

using Mat = std::array<double, 16>;  // column-major, as glTF

Mat Multiply(const Mat& a, const Mat& b) {
    Mat r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
    return r;
}

Mat Trs(std::vector<double> t, std::vector<double> q, std::vector<double> s) {
    if (t.empty()) t = {0, 0, 0};
    if (q.empty()) q = {0, 0, 0, 1};
    if (s.empty()) s = {1, 1, 1};
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                            {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                            {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    Mat m{};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row) m[c * 4 + row] = r[row][c] * s[c];
    for (int row = 0; row < 3; ++row) m[12 + row] = t[row];
    m[15] = 1;
    return m;
}

// The animated TRS of every node at `time`, sampled as a glTF client does.
void Sample(const tinygltf::Model& m, float time, std::vector<std::vector<double>>& t,
            std::vector<std::vector<double>>& r, std::vector<std::vector<double>>& s) {
    for (const tinygltf::Node& node : m.nodes) {
        t.push_back(node.translation), r.push_back(node.rotation), s.push_back(node.scale);
    }
    for (const tinygltf::Animation& animation : m.animations) {
        for (const tinygltf::AnimationChannel& channel : animation.channels) {
            const tinygltf::AnimationSampler& sampler = animation.samplers[size_t(channel.sampler)];
            const std::vector<float> times = Floats(m, sampler.input), values = Floats(m, sampler.output);
            const size_t width = values.size() / times.size();
            size_t k = 0;
            while (k + 1 < times.size() && times[k + 1] <= time) ++k;
            std::vector<double> value(values.begin() + long(k * width), values.begin() + long((k + 1) * width));
            if (sampler.interpolation == "LINEAR" && k + 1 < times.size() && time > times[k]) {
                const double f = (time - times[k]) / (times[k + 1] - times[k]);
                for (size_t c = 0; c < width; ++c) value[c] += f * (values[(k + 1) * width + c] - value[c]);
            }
            auto& target = channel.target_path == "translation" ? t : channel.target_path == "rotation" ? r : s;
            target[size_t(channel.target_node)] = value;
        }
    }
}

// A mesh instance: the node's mesh and its world matrix.
struct Instance {
    int mesh;
    Mat world;
};

void Collect(const tinygltf::Model& m, int node, const Mat& above, const std::vector<std::vector<double>>& t,
             const std::vector<std::vector<double>>& r, const std::vector<std::vector<double>>& s,
             std::vector<Instance>& out) {
    const Mat world = Multiply(above, Trs(t[size_t(node)], r[size_t(node)], s[size_t(node)]));
    const tinygltf::Node& n = m.nodes[size_t(node)];
    if (n.mesh >= 0) out.push_back({n.mesh, world});
    for (int child : n.children) Collect(m, child, world, t, r, s, out);
}

double Determinant3(const Mat& m) {
    return m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
           m[8] * (m[1] * m[6] - m[5] * m[2]);
}

// A glTF point back in the editor's whole cells: (X, Y, Z) -> (X, -Z, Y) / scale.
Point ToEditor(const Mat& world, const float* p, double scale, bool& whole) {
    double g[3];
    for (int row = 0; row < 3; ++row) {
        g[row] = world[row] * p[0] + world[4 + row] * p[1] + world[8 + row] * p[2] + world[12 + row];
    }
    const double e[3] = {g[0] / scale, -g[2] / scale, g[1] / scale};
    Point out;
    for (int i = 0; i < 3; ++i) {
        out[i] = std::llround(e[i]);
        whole = whole && std::abs(e[i] - double(out[i])) < 1e-3;
    }
    return out;
}

// Cells (with colours where known) inside every visible instance at `time`:
// per column along z, a face looking down opens cells and the next face
// looking up closes them. Triangles are turned as a client turns them
// (winding flipped where the world matrix mirrors).
std::map<Point, int> CellsAt(const tinygltf::Model& m, float time, double scale) {
    std::vector<std::vector<double>> t, r, s;
    Sample(m, time, t, r, s);
    std::vector<Instance> instances;
    for (int root : m.scenes[0].nodes) Collect(m, root, Trs({}, {}, {}), t, r, s, instances);
    std::map<Point, int> cells;
    for (const Instance& instance : instances) {
        const double det = Determinant3(instance.world);
        if (std::abs(det) < 1e-9) continue;  // scaled to nothing: hidden
        const tinygltf::Primitive& p = m.meshes[size_t(instance.mesh)].primitives[0];
        const std::vector<float> positions = Floats(m, p.attributes.at("POSITION"));
        std::vector<float> uv;
        if (p.attributes.count("TEXCOORD_0")) uv = Floats(m, p.attributes.at("TEXCOORD_0"));
        const std::vector<uint32_t> indices = AllIndices(m, m.meshes[size_t(instance.mesh)]);
        std::map<std::pair<int64_t, int64_t>, std::vector<std::tuple<int64_t, int, int>>> columns;
        for (size_t k = 0; k < indices.size(); k += 3) {
            bool whole = true;
            uint32_t ix[3] = {indices[k], indices[k + 1], indices[k + 2]};
            if (det < 0) std::swap(ix[1], ix[2]);
            Point q[3];
            for (int c = 0; c < 3; ++c) q[c] = ToEditor(instance.world, &positions[3 * ix[c]], scale, whole);
            EXPECT_TRUE(whole) << "a vertex off the lattice";
            const Point n = meshcheck::Cross(meshcheck::Sub(q[1], q[0]), meshcheck::Sub(q[2], q[0]));
            if (n[2] == 0) continue;
            const int color = uv.empty() ? 0 : int(std::floor(uv[2 * ix[0]] * 256)) + 1;
            const int64_t x0 = std::min({q[0][0], q[1][0], q[2][0]}), x1 = std::max({q[0][0], q[1][0], q[2][0]});
            const int64_t y0 = std::min({q[0][1], q[1][1], q[2][1]}), y1 = std::max({q[0][1], q[1][1], q[2][1]});
            for (int64_t x = x0; x < x1; ++x) {
                for (int64_t y = y0; y < y1; ++y) {
                    // A point off every line through two lattice points.
                    const double px = x + 0.5 + 0.0707106781, py = y + 0.5 + 0.0173205081;
                    auto side = [&](const Point& a, const Point& b) {
                        return (double(b[0] - a[0])) * (py - double(a[1])) -
                               (double(b[1] - a[1])) * (px - double(a[0]));
                    };
                    const double s0 = side(q[0], q[1]), s1 = side(q[1], q[2]), s2 = side(q[2], q[0]);
                    const bool inside = n[2] > 0 ? (s0 > 0 && s1 > 0 && s2 > 0) : (s0 < 0 && s1 < 0 && s2 < 0);
                    if (inside) columns[{x, y}].push_back({q[0][2], n[2] > 0 ? 1 : -1, color});
                }
            }
        }
        for (auto& [xy, faces] : columns) {
            std::sort(faces.begin(), faces.end());
            for (size_t k = 0; k < faces.size(); ++k) {
                const auto [z, up, color] = faces[k];
                if (up > 0) continue;
                EXPECT_TRUE(k + 1 < faces.size() && std::get<1>(faces[k + 1]) > 0) << "a column left open";
                if (k + 1 >= faces.size()) break;
                const auto [z1, up1, color1] = faces[k + 1];
                for (int64_t c = z; c < z1; ++c) cells[{xy.first, xy.second, c}] = 0;
                cells[{xy.first, xy.second, z}] = color;
                cells[{xy.first, xy.second, z1 - 1}] = color1;
            }
        }
    }
    return cells;
}

std::map<Point, int> Composed(const VoxelScene& scene, int32_t frame) {
    VoxelModel model;
    ComposeFrame(scene, frame, model);
    std::map<Point, int> cells;
    for (const Voxel& v : model.voxels) cells[{v.x, v.y, v.z}] = int(v.colorIndex);
    return cells;
}

// Compares cell sets, and colours where the reader knows them (cells with a face up or down).
void ExpectSameCells(const std::map<Point, int>& got, const std::map<Point, int>& want, const std::string& where) {
    ASSERT_EQ(got.size(), want.size()) << where;
    for (const auto& [cell, color] : want) {
        auto it = got.find(cell);
        ASSERT_NE(it, got.end()) << where << ": missing cell " << meshcheck::Text(cell);
        if (it->second != 0) {
            EXPECT_EQ(it->second, color) << where << " at " << meshcheck::Text(cell);
        }
    }
}

// ------------------------------------------------------------------ tests

class ExportScenes : public ::testing::TestWithParam<SceneCase> {};

TEST_P(ExportScenes, GlbAndGltfShowTheComposedCellsOfEveryFrame) {
    const VoxelScene scene = Load(GetParam().make(), GetParam().name);
    TempDir dir;
    for (const char* name : {"out.glb", "out.gltf"}) {
        tinygltf::Model model;
        ASSERT_TRUE(ExportAndRead(scene, dir / name, model));
        const int32_t frames = VoxelSceneFrameCount(scene);
        EXPECT_EQ(!model.animations.empty(), GetParam().animated);
        for (int32_t f = 0; f < frames; ++f) {
            const float time = float(f / 30.0);
            ExpectSameCells(CellsAt(model, time, 1.0), Composed(scene, f),
                            std::string(name) + " frame " + std::to_string(f));
            if (HasFailure()) return;
        }
    }
}

TEST_P(ExportScenes, EveryGreedyMeshIsWatertight) {
    const VoxelScene scene = Load(GetParam().make(), GetParam().name);
    TempDir dir;
    tinygltf::Model model;
    ASSERT_TRUE(ExportAndRead(scene, dir / "out.glb", model));
    ASSERT_FALSE(model.meshes.empty());
    // Mesh names say which model each is.
    for (const tinygltf::Mesh& mesh : model.meshes) {
        ASSERT_TRUE(mesh.name.starts_with("model ")) << mesh.name;
        const VoxelSceneModel& source = scene.models[size_t(std::stoi(mesh.name.substr(6)))];
        meshcheck::Cells cells;
        const int32_t pivot[3] = {source.sizeX / 2, source.sizeY / 2, source.sizeZ / 2};
        for (const VoxelCell& c : source.cells) cells.insert({c.x - pivot[0], c.y - pivot[1], c.z - pivot[2]});
        const tinygltf::Primitive& p = mesh.primitives[0];
        const std::vector<float> positions = Floats(model, p.attributes.at("POSITION"));
        meshcheck::Mesh check;
        bool whole = true;
        for (size_t i = 0; i < positions.size(); i += 3) {
            check.positions.push_back(ToEditor(Trs({}, {}, {}), &positions[i], 1.0, whole));
        }
        EXPECT_TRUE(whole);
        check.indices = AllIndices(model, mesh);
        EXPECT_EQ(meshcheck::Check(check, cells), "") << mesh.name;
    }
}

TEST_P(ExportScenes, TheKhronosValidatorFindsNoErrorOrWarning) {
    const std::string modules = std::string(VOXWALK_SOURCE_DIR) + "/.cache/gltf-validator/node_modules";
    struct stat info;
    if (stat((modules + "/gltf-validator").c_str(), &info) != 0) {
        if (std::getenv("CI")) FAIL() << "the glTF validator is not installed (scripts/lib.sh installs it)";
        GTEST_SKIP() << "the glTF validator is not installed in " << modules;
    }
    const VoxelScene scene = Load(GetParam().make(), GetParam().name);
    TempDir dir;
    ExportOptions vertex;
    vertex.colors = ExportColors::Vertex;
    vertex.scale = 0.1;
    ASSERT_TRUE(Export(scene, dir / "out.glb"));
    ASSERT_TRUE(Export(scene, dir / "out.gltf"));
    ASSERT_TRUE(Export(scene, dir / "vertex.glb", vertex));
    ASSERT_TRUE(Export(scene, dir / "vertex.gltf", vertex));
    int status = 0;
    const std::string out =
        RunCommand("node " + std::string(VOXWALK_SOURCE_DIR) + "/tests/export/validator/validate.js " + modules + " " +
                       dir / "out.glb" + " " + dir / "out.gltf" + " " + dir / "vertex.glb" + " " + dir / "vertex.gltf",
                   status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("out.gltf: 0 errors, 0 warnings"), std::string::npos) << out;
}

// "assimp info -r" (no post-processing): vertex and face counts and bounds.
struct AssimpInfo {
    long vertices = -1, faces = -1;
    double min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
};

bool ReadAssimp(const std::string& path, AssimpInfo& info) {
    int status = 0;
    const std::string out = RunCommand("assimp info '" + path + "' -r", status);
    if (status != 0) {
        ADD_FAILURE() << out;
        return false;
    }
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::sscanf(line.c_str(), "Vertices: %ld", &info.vertices);
        std::sscanf(line.c_str(), "Faces: %ld", &info.faces);
        std::sscanf(line.c_str(), "Minimum point (%lf %lf %lf)", &info.min[0], &info.min[1], &info.min[2]);
        std::sscanf(line.c_str(), "Maximum point (%lf %lf %lf)", &info.max[0], &info.max[1], &info.max[2]);
    }
    return true;
}

TEST_P(ExportScenes, AssimpLoadsEveryFormatWithTheExpectedCountsAndBounds) {
    int status = 0;
    if (RunCommand("command -v assimp", status).empty()) {
        if (std::getenv("CI")) FAIL() << "assimp is not installed";
        GTEST_SKIP() << "assimp is not installed";
    }
    const VoxelScene scene = Load(GetParam().make(), GetParam().name);
    TempDir dir;
    ExportOptions options;
    options.scale = 0.5;
    for (const char* name : {"out.glb", "out.gltf", "out.obj", "out.ply"})
        ASSERT_TRUE(Export(scene, dir / name, options));
    // assimp composes the root's scale and a transform below it in the wrong order too: scale 1 there.
    ASSERT_TRUE(Export(scene, dir / "unit.glb"));
    ASSERT_TRUE(Export(scene, dir / "unit.gltf"));

    // Frame 0's cells give the world bounds, in metres.
    const std::map<Point, int> cells = Composed(scene, 0);
    double lo[3] = {1e18, 1e18, 1e18}, hi[3] = {-1e18, -1e18, -1e18};
    for (const auto& [c, color] : cells) {
        for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], double(c[i])), hi[i] = std::max(hi[i], double(c[i] + 1));
    }
    const double yUpLo[3] = {lo[0] * 0.5, lo[2] * 0.5, -hi[1] * 0.5},
                 yUpHi[3] = {hi[0] * 0.5, hi[2] * 0.5, -lo[1] * 0.5};
    const double zUpLo[3] = {lo[0] * 0.5, lo[1] * 0.5, lo[2] * 0.5}, zUpHi[3] = {hi[0] * 0.5, hi[1] * 0.5, hi[2] * 0.5};

    // The one-frame files hold frame 0 meshed whole.
    VoxelModel composed;
    ComposeFrame(scene, 0, composed);
    VoxMesh mesh;
    std::string error;
    ASSERT_TRUE(BuildVoxMesh(composed.voxels.data(), composed.voxels.size(), composed.palette, {}, mesh, error));
    const long triangles = long(mesh.indices.size() / 3);

    AssimpInfo info;
    ASSERT_TRUE(ReadAssimp(dir / "out.obj", info));
    EXPECT_EQ(info.faces, triangles);
    EXPECT_EQ(info.vertices, 3 * triangles);  // OBJ corners are not shared on import
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(info.min[i], yUpLo[i], 1e-4);
        EXPECT_NEAR(info.max[i], yUpHi[i], 1e-4);
    }

    info = {};
    ASSERT_TRUE(ReadAssimp(dir / "out.ply", info));
    EXPECT_EQ(info.faces, triangles);
    EXPECT_EQ(info.vertices, long(mesh.vertices.size()));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(info.min[i], zUpLo[i], 1e-4);
        EXPECT_NEAR(info.max[i], zUpHi[i], 1e-4);
    }

    // glTF: the meshes as stored, each counted once however often it is shown.
    tinygltf::Model model;
    ASSERT_TRUE(ReadGltf(dir / "out.glb", model));
    long vertices = 0, faces = 0;
    for (const tinygltf::Mesh& m : model.meshes) {
        for (const tinygltf::Primitive& p : m.primitives) {  // assimp counts the shared vertices in each
            vertices += long(model.accessors[size_t(p.attributes.at("POSITION"))].count);
            faces += long(model.accessors[size_t(p.indices)].count / 3);
        }
    }
    for (const char* name : {"out.glb", "out.gltf", "unit.glb", "unit.gltf"}) {
        info = {};
        ASSERT_TRUE(ReadAssimp(dir / name, info));
        EXPECT_EQ(info.vertices, vertices) << name;
        EXPECT_EQ(info.faces, faces) << name;
        // Bounds of what is shown at frame 0: static scenes only (animated
        // ones hold meshes hidden at frame 0, which assimp counts).
        if (GetParam().animated || GetParam().nested) continue;
        const double unit = std::string(name).starts_with("unit") ? 2 : 1;
        if (unit == 1 && !scene.nodes.empty()) continue;  // the root's scale over a transform
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(info.min[i], yUpLo[i] * unit, 1e-4) << name;
            EXPECT_NEAR(info.max[i], yUpHi[i] * unit, 1e-4) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, ExportScenes, ::testing::ValuesIn(kScenes),
                         [](const auto& info) { return info.param.name; });

// The keyframed scene needs both kinds of translation keys: LINEAR where
// the editor's keys move whole cells per frame, STEP where floors make stairs.
TEST(ExportGltf, TranslationKeysAreLinearOnlyWhereLinearGivesTheCells) {
    const VoxelScene scene = Load(Keyframed(), "keyframed");
    TempDir dir;
    tinygltf::Model model;
    ASSERT_TRUE(ExportAndRead(scene, dir / "out.glb", model));
    ASSERT_EQ(model.animations.size(), 1u);
    std::map<std::string, std::string> byNode;  // "name path" -> interpolation
    for (const tinygltf::AnimationChannel& c : model.animations[0].channels) {
        byNode[model.nodes[size_t(c.target_node)].name + " " + c.target_path] =
            model.animations[0].samplers[size_t(c.sampler)].interpolation;
    }
    EXPECT_EQ(byNode["linear translation"], "LINEAR");
    EXPECT_EQ(byNode["walker translation"], "STEP");
    EXPECT_EQ(byNode["walker rotation"], "STEP");
    EXPECT_EQ(byNode["walker scale"], "STEP");  // the mirror comes and goes
    EXPECT_EQ(byNode.count("still translation"), 0u);
    // The last key of every sampler is the last frame: the loop is the whole animation.
    for (const tinygltf::AnimationSampler& sampler : model.animations[0].samplers) {
        EXPECT_FLOAT_EQ(float(model.accessors[size_t(sampler.input)].maxValues[0]), float(20 / 30.0));
    }
}

// Instances are references: one mesh per model however often it is shown;
// hidden nodes and layers come back with --hidden.
TEST(ExportGltf, InstancesShareMeshesAndHiddenNodesNeedTheOption) {
    const VoxelScene scene = Load(Instances(), "instances");
    TempDir dir;
    ASSERT_TRUE(Export(scene, dir / "out.glb"));
    ExportOptions hidden;
    hidden.hidden = true;
    ASSERT_TRUE(Export(scene, dir / "hidden.glb", hidden));
    tinygltf::Model model, withHidden;
    ASSERT_TRUE(ReadGltf(dir / "out.glb", model));
    ASSERT_TRUE(ReadGltf(dir / "hidden.glb", withHidden));
    EXPECT_EQ(model.meshes.size(), 2u);
    const auto shown = [](const tinygltf::Model& m) {
        return std::count_if(m.nodes.begin(), m.nodes.end(), [](const tinygltf::Node& n) { return n.mesh >= 0; });
    };
    EXPECT_EQ(shown(model), 4);  // model 0 twice, model 1 under a group shown twice
    EXPECT_EQ(shown(withHidden), 6);
    std::set<std::string> names;
    for (const tinygltf::Node& n : withHidden.nodes) names.insert(n.name);
    EXPECT_TRUE(names.count("hidden") && names.count("on hidden layer") && names.count("pair group"));
    VoxelScene unhidden = scene;
    for (VoxelSceneNode& node : unhidden.nodes) node.hidden = false;
    for (VoxelSceneLayer& layer : unhidden.layers) layer.hidden = false;
    ExpectSameCells(CellsAt(withHidden, 0, 1.0), Composed(unhidden, 0), "with hidden nodes");
}

// A folder of frames: file k is frame k, each file's meshes its own.
// Everything hidden, under vertex colours: a file with no data, and so no
// buffer, since glTF allows none of zero length.
TEST(ExportGltf, AHiddenSceneWritesAFileWithoutAnEmptyBuffer) {
    const VoxelScene scene = Load(
        VoxFile(Join(Size(2, 1, 1), Xyzi({{0, 0, 0, 1}, {1, 0, 0, 2}}), Trn(0, {{"_hidden", "1"}}, 1, -1), Shp(1, 0))),
        "hidden");
    TempDir dir;
    ExportOptions vertex;
    vertex.colors = ExportColors::Vertex;
    for (const char* name : {"out.glb", "out.gltf"}) {
        ASSERT_TRUE(Export(scene, dir / name, vertex));
        tinygltf::Model model;
        ASSERT_TRUE(ReadGltf(dir / name, model)) << name;
        for (const tinygltf::Buffer& b : model.buffers) EXPECT_GT(b.data.size(), 0u) << name;
    }
}

TEST(ExportGltf, FolderFramesSwitchByVisibility) {
    ExportInput input;
    input.scenes = {Load(Single(), "a"), Load(Pack(), "b"), Load(Instances(), "c")};
    TempDir dir;
    std::string error;
    ASSERT_TRUE(ExportVoxels(input, {}, dir / "frames.glb", error)) << error;
    tinygltf::Model model;
    ASSERT_TRUE(ReadGltf(dir / "frames.glb", model));
    ASSERT_EQ(ExportFrameCount(input), 3);
    for (int32_t f = 0; f < 3; ++f) {
        ExpectSameCells(CellsAt(model, float(f / 30.0), 1.0), Composed(input.scenes[size_t(f)], 0),
                        "frame " + std::to_string(f));
    }
}

TEST(ExportGltf, VertexColoursAreThePaletteInLinearSpace) {
    // Palette entry 128 (index 129) is sRGB (128, 127, 128).
    const VoxelScene scene = Load(VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 129}}), Palette())), "one");
    TempDir dir;
    ExportOptions options;
    options.colors = ExportColors::Vertex;
    tinygltf::Model model;
    ASSERT_TRUE(ExportAndRead(scene, dir / "out.glb", model, options));
    const std::vector<float> colors = Floats(model, model.meshes[0].primitives[0].attributes.at("COLOR_0"));
    ASSERT_EQ(colors.size(), 3u * 24);
    EXPECT_NEAR(colors[0], 0.2158605, 1e-6);
    EXPECT_NEAR(colors[1], 0.2122307, 1e-6);
    EXPECT_NEAR(colors[2], 0.2158605, 1e-6);
    EXPECT_TRUE(model.textures.empty());
    EXPECT_EQ(model.materials[0].pbrMetallicRoughness.metallicFactor, 0);
    EXPECT_EQ(model.materials[0].pbrMetallicRoughness.roughnessFactor, 1);
}

// A number in one of a material's extensions, -1 without that extension.
double ExtensionValue(const tinygltf::Material& m, const char* extension, const char* key) {
    const auto it = m.extensions.find(extension);
    return it == m.extensions.end() ? -1 : it->second.Get(key).GetNumberAsDouble();
}

// The lighthouse read back: each primitive holds the colours of one look
// (glass 12, the lamp 13, steel 14, or diffuse) and its material carries
// the look.
TEST(ExportGltf, EachPrimitiveHoldsOneLookAndItsMaterialCarriesIt) {
    const VoxelScene scene = Load(LighthouseVoxFile(), "lighthouse");
    TempDir dir;
    tinygltf::Model model;
    ASSERT_TRUE(ExportAndRead(scene, dir / "out.glb", model));
    EXPECT_EQ(model.extensionsUsed.size(), 3u);
    // Metallic, roughness, transmission, IOR, emissive strength (-1: no such extension).
    const std::map<int, std::array<double, 5>> want = {{0, {0, 1, -1, -1, -1}},
                                                       {12, {0, 0.05, 0.55, 1.5, -1}},
                                                       {13, {0, 1, -1, -1, 1.6}},
                                                       {14, {0.9, 0.45, -1, -1, -1}}};
    std::set<int> seen;
    for (const tinygltf::Primitive& p : model.meshes[0].primitives) {
        const std::vector<float> uv = Floats(model, p.attributes.at("TEXCOORD_0"));
        std::set<int> looks;
        for (uint32_t i : Indices(model, p.indices)) {
            const int color = int(std::floor(uv[2 * i] * 256)) + 1;
            looks.insert(color >= 12 && color <= 14 ? color : 0);
        }
        ASSERT_EQ(looks.size(), 1u);
        seen.insert(*looks.begin());
        const tinygltf::Material& m = model.materials[size_t(p.material)];
        const std::array<double, 5> got = {m.pbrMetallicRoughness.metallicFactor,
                                           m.pbrMetallicRoughness.roughnessFactor,
                                           ExtensionValue(m, "KHR_materials_transmission", "transmissionFactor"),
                                           ExtensionValue(m, "KHR_materials_ior", "ior"),
                                           ExtensionValue(m, "KHR_materials_emissive_strength", "emissiveStrength")};
        EXPECT_EQ(got, want.at(*looks.begin())) << "look " << *looks.begin();
        EXPECT_EQ(m.emissiveTexture.index, got[4] >= 0 ? m.pbrMetallicRoughness.baseColorTexture.index : -1);
    }
    EXPECT_EQ(seen.size(), 4u);
}

// Two palette entries of one colour, one of them glass: their faces never
// merge into one rectangle across the two materials.
TEST(ExportGltf, FacesOfOneColourInTwoMaterialsStayApart) {
    std::array<uint32_t, 256> palette;
    palette.fill(0xff808080u);
    const Bytes file = VoxFile(Join(Size(4, 1, 1), Xyzi({{0, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 0, 2}, {3, 0, 0, 2}}),
                                    Rgba(palette), Matl(2, {{"_type", "_glass"}})));
    const VoxelScene scene = Load(file, "two");
    TempDir dir;
    tinygltf::Model model;
    ASSERT_TRUE(ExportAndRead(scene, dir / "out.glb", model));
    ASSERT_EQ(model.meshes[0].primitives.size(), 2u);
    ExpectSameCells(CellsAt(model, 0, 1.0), Composed(scene, 0), "two materials");
    // Each long side is a rectangle per material, two triangles each, and
    // two ends: 20 triangles (merged across, 12).
    size_t triangles = 0;
    for (const tinygltf::Primitive& p : model.meshes[0].primitives) triangles += Indices(model, p.indices).size() / 3;
    EXPECT_EQ(triangles, 4u * 2 * 2 + 2 * 2);
}

// .gltf: the document, its buffer and the palette image beside it, a 256 x 1
// image whose texel n - 1 is palette entry n, sampled nearest.
TEST(ExportGltf, GltfWritesBufferAndPalettePngBesideIt) {
    const VoxelScene scene = Load(Single(), "single");
    TempDir dir;
    ASSERT_TRUE(Export(scene, dir / "my model.gltf"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"my model.bin", "my model.gltf", "my model.png"}));
    tinygltf::Model model;
    ASSERT_TRUE(ReadGltf(dir / "my model.gltf", model));
    ASSERT_EQ(model.images.size(), 1u);
    EXPECT_EQ(model.images[0].uri, "my%20model.png");
    EXPECT_EQ(model.samplers[0].magFilter, TINYGLTF_TEXTURE_FILTER_NEAREST);
    uint32_t width = 0, height = 0;
    PngReadSize((dir / "my model.png").c_str(), width, height);
    EXPECT_EQ(width, 256u);
    EXPECT_EQ(height, 1u);
    Image image = PngLoadFile((dir / "my model.png").c_str(), 3);
    ASSERT_NE(image, nullptr);
    const uint8_t* rgba = static_cast<const uint8_t*>(image);
    for (int k : {0, 1, 77, 255}) {
        EXPECT_EQ(rgba[4 * k], uint8_t(k));
        EXPECT_EQ(rgba[4 * k + 1], uint8_t(255 - k));
        EXPECT_EQ(rgba[4 * k + 2], uint8_t(k * 7));
    }
    PngFreeImage(image);
    // Texture coordinates sit at texel centres of the voxels' entries.
    const std::vector<float> uv = Floats(model, model.meshes[0].primitives[0].attributes.at("TEXCOORD_0"));
    for (size_t i = 0; i < uv.size(); i += 2) {
        const float texel = uv[i] * 256 - 0.5f;
        EXPECT_EQ(texel, std::round(texel));
        EXPECT_GE(texel, 0);
        EXPECT_EQ(uv[i + 1], 0.5f);
    }
}

TEST(ExportOneFrame, TimeChoosesTheFrameAndPlyHoldsItsMesh) {
    const VoxelScene scene = Load(Keyframed(), "keyframed");
    TempDir dir;
    ExportOptions options;
    options.time = 0.25;  // frame 7 at 30 a second
    ASSERT_TRUE(Export(scene, dir / "seven.ply", options));
    VoxelModel composed;
    ComposeFrame(scene, 7, composed);
    VoxMesh mesh;
    std::string error;
    ASSERT_TRUE(BuildVoxMesh(composed.voxels.data(), composed.voxels.size(), composed.palette, {}, mesh, error));
    std::ifstream file(dir / "seven.ply", std::ios::binary);
    std::string header, line;
    while (std::getline(file, line) && line != "end_header") header += line + "\n";
    EXPECT_NE(header.find("element vertex " + std::to_string(mesh.vertices.size()) + "\n"), std::string::npos);
    EXPECT_NE(header.find("element face " + std::to_string(mesh.indices.size() / 3) + "\n"), std::string::npos);
    EXPECT_NE(header.find("property uchar red\nproperty uchar green\nproperty uchar blue\n"), std::string::npos);
    // Each vertex: 6 floats and 3 colour bytes; each face: a count byte and 3 indices.
    const std::streamoff body = file.tellg();
    file.seekg(0, std::ios::end);
    EXPECT_EQ(file.tellg() - body, std::streamoff(27 * mesh.vertices.size() + 13 * (mesh.indices.size() / 3)));
}

struct Refusal {
    const char* name;
    const char* file;
    ExportOptions options;
    const char* says;
};

const Refusal kRefusals[] = {
    {"UnknownExtension", "out.stl", {}, "unknown output format"},
    {"NoExtension", "out", {}, "unknown output format"},
    {"ZeroScale", "out.glb", {.scale = 0}, "scale"},
    {"NanScale", "out.glb", {.scale = NAN}, "scale"},
    {"FramePastTheEnd", "out.obj", {.frame = 21}, "frame 21 is outside the 21 frames"},
    {"NegativeFrame", "out.ply", {.frame = -1}, "outside"},
    {"TimePastTheEnd", "out.ply", {.time = 0.7}, "frame 21 is outside"},
    {"MissingFolder", "no/such/folder/out.glb", {}, "cannot write in"},
};

class ExportRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(ExportRefuses, WithOneLineNamingTheFileAndLeavesNothing) {
    const VoxelScene scene = Load(Keyframed(), "keyframed");
    TempDir dir;
    ExportInput input;
    input.scenes.push_back(scene);
    std::string error;
    EXPECT_FALSE(ExportVoxels(input, GetParam().options, dir / GetParam().file, error));
    EXPECT_TRUE(error.starts_with(dir / GetParam().file + ": ")) << error;
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(dir.Names().empty());
}

INSTANTIATE_TEST_SUITE_P(Bad, ExportRefuses, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return info.param.name; });

// All or nothing: when the last file of a .gltf cannot be put in place, the
// ones before it go too, and old files stay as they were.
TEST(ExportFiles, AFailedRenameLeavesNoPartialSet) {
    const VoxelScene scene = Load(Single(), "single");
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "out.png").c_str(), 0755), 0);  // a folder where the palette should go
    {
        std::ofstream old(dir / "out.gltf");
        old << "old";
    }
    ExportInput input;
    input.scenes.push_back(scene);
    std::string error;
    EXPECT_FALSE(ExportVoxels(input, {}, dir / "out.gltf", error));
    EXPECT_NE(error.find("out.png: is a folder"), std::string::npos) << error;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"out.gltf", "out.png"}));
    std::ifstream old(dir / "out.gltf");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
    rmdir((dir / "out.png").c_str());
}

TEST(ExportFiles, NeverReplacesAnInput) {
    TempDir dir;
    const Bytes bytes = Single();
    {
        std::ofstream in(dir / "model.obj", std::ios::binary);
        in.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ExportInput input;
    input.scenes.push_back(Load(bytes, "model"));
    input.paths.push_back(dir / "model.obj");
    std::string error;
    EXPECT_FALSE(ExportVoxels(input, {}, dir / "model.obj", error));
    EXPECT_NE(error.find("is a file being read"), std::string::npos) << error;
    std::ifstream in(dir / "model.obj", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), bytes);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"model.obj"}));
}

TEST(ExportFiles, ObjWritesMaterialAndPaletteBesideIt) {
    const VoxelScene scene = Load(Single(), "single");
    TempDir dir;
    ASSERT_TRUE(Export(scene, dir / "a.obj"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.mtl", "a.obj", "a.png"}));
    std::ifstream mtl(dir / "a.mtl");
    const std::string text((std::istreambuf_iterator<char>(mtl)), {});
    EXPECT_NE(text.find("map_Kd a.png"), std::string::npos);
    TempDir other;
    ExportOptions vertex;
    vertex.colors = ExportColors::Vertex;
    ASSERT_TRUE(Export(scene, other / "a.obj", vertex));
    EXPECT_EQ(other.Names(), (std::vector<std::string>{"a.obj"}));
}

TEST(ExportFormat, FromTheExtensionWhateverItsCase) {
    ExportFormat format = ExportFormat::Vox;
    EXPECT_TRUE(ExportFormatFromPath("a/b.GLB", format));
    EXPECT_EQ(format, ExportFormat::Glb);
    EXPECT_TRUE(ExportFormatFromPath("x.gltf", format));
    EXPECT_EQ(format, ExportFormat::Gltf);
    EXPECT_FALSE(ExportFormatFromPath("dir.glb/file", format));
    EXPECT_FALSE(ExportFormatFromPath("file.", format));
}

}  // namespace
