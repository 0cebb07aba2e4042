// glTF 2.0 through tinygltf: tinygltf holds and serialises the document;
// the binary data is streamed here straight from the meshes, so no copy of
// the whole buffer is ever made (tinygltf's own writer copies it twice,
// which a million-voxel export cannot afford). The JSON it writes gets its
// one buffer added with nlohmann::json, the library tinygltf builds on.
//
// Materials: one diffuse material per distinct palette, and one per
// palette and look (SceneLooks) that some mesh uses: emissive ones glow
// with the palette (emissiveTexture, or under vertex colours a material per
// colour with its emissiveFactor) at KHR_materials_emissive_strength's
// emission, translucent ones transmit 1 - opacity of the light
// (KHR_materials_transmission) at their KHR_materials_ior index, metal ones
// have their strength as metallicFactor; roughness is the look's. A mesh
// holds one primitive per material it uses, sharing its vertex accessors.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

#include <tiny_gltf.h>
#include <nlohmann/json.hpp>

#include "app/export/ExportWriters.h"

namespace {

constexpr int kFloat = TINYGLTF_COMPONENT_TYPE_FLOAT;
constexpr int kArrayBuffer = TINYGLTF_TARGET_ARRAY_BUFFER;
constexpr int kElementArrayBuffer = TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER;

// Editor (x, y, z) to glTF (x, z, -y): a proper rotation, so winding holds.
std::array<double, 3> ToGltf(double x, double y, double z) { return {x, z, -y}; }

using Matrix = std::array<std::array<int, 3>, 3>;

// The rotation in glTF axes: C·R·Cᵀ with C the axis change above.
Matrix GltfMatrix(const ExportRotation& r) {
    Matrix editor{};
    for (int i = 0; i < 3; ++i) editor[i][r.column[i]] = r.sign[i];
    const Matrix c = {{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}};
    Matrix out{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l < 3; ++l) out[i][j] += c[i][k] * editor[k][l] * c[j][l];
    return out;
}

int Determinant(const Matrix& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Rotation quaternion (x, y, z, w) and scale of a signed permutation: a
// mirror becomes a rotation times a scale of -1 on x.
void Decompose(const ExportRotation& r, bool visible, std::array<double, 4>& q, std::array<double, 3>& scale) {
    Matrix m = GltfMatrix(r);
    scale = {1, 1, 1};
    if (Determinant(m) < 0) {
        for (int i = 0; i < 3; ++i) m[i][0] = -m[i][0];
        scale[0] = -1;
    }
    if (!visible) scale = {0, 0, 0};
    const double trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0) {
        const double s = 2 * std::sqrt(1 + trace);
        q = {(m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s, s / 4};
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const double s = 2 * std::sqrt(1 + m[0][0] - m[1][1] - m[2][2]);
        q = {s / 4, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s, (m[2][1] - m[1][2]) / s};
    } else if (m[1][1] >= m[2][2]) {
        const double s = 2 * std::sqrt(1 + m[1][1] - m[0][0] - m[2][2]);
        q = {(m[0][1] + m[1][0]) / s, s / 4, (m[1][2] + m[2][1]) / s, (m[0][2] - m[2][0]) / s};
    } else {
        const double s = 2 * std::sqrt(1 + m[2][2] - m[0][0] - m[1][1]);
        q = {(m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, s / 4, (m[1][0] - m[0][1]) / s};
    }
    // One sign for each rotation, so equal rotations compare equal.
    const double* first = std::find_if(q.begin(), q.end(), [](double v) { return v != 0; });
    if (first != q.end() && *first < 0) {
        for (double& v : q) v = -v;
    }
}

std::array<double, 3> GltfTranslation(const ExportPose& pose) {
    return ToGltf(double(pose.translation[0]), double(pose.translation[1]), double(pose.translation[2]));
}

float SrgbToLinear(uint8_t byte) {
    const double c = byte / 255.0;
    return static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
}

// The binary buffer as a list of parts written one after another, each
// starting at a multiple of 4 bytes.
struct BinPart {
    size_t offset = 0, size = 0;
    std::function<bool(std::FILE*, OutputSet&, std::string&)> write;
};

struct Bin {
    std::vector<BinPart> parts;
    size_t size = 0;

    size_t Add(size_t bytes, std::function<bool(std::FILE*, OutputSet&, std::string&)> write) {
        parts.push_back({size, bytes, std::move(write)});
        size += (bytes + 3) & ~size_t{3};
        return parts.size() - 1;
    }

    bool WriteAll(std::FILE* file, OutputSet& outputs, std::string& error) const {
        static const uint8_t zeros[4] = {0, 0, 0, 0};
        for (const BinPart& part : parts) {
            if (!part.write(file, outputs, error)) return false;
            if (!outputs.Write(file, zeros, ((part.size + 3) & ~size_t{3}) - part.size, error)) return false;
        }
        return true;
    }
};

// Writes `count` records of `stride` bytes made by `fill` through a block buffer.
bool WriteRecords(std::FILE* file, OutputSet& outputs, std::string& error, size_t count, size_t stride,
                  const std::function<void(size_t, uint8_t*)>& fill) {
    std::vector<uint8_t> block;
    const size_t perBlock = std::max<size_t>(1, (size_t{1} << 16) / stride);
    for (size_t first = 0; first < count; first += perBlock) {
        const size_t n = std::min(perBlock, count - first);
        block.resize(n * stride);
        for (size_t i = 0; i < n; ++i) fill(first + i, block.data() + i * stride);
        if (!outputs.Write(file, block.data(), block.size(), error)) return false;
    }
    return true;
}

void PutFloats(uint8_t* out, std::initializer_list<float> values) {
    for (float v : values) {
        std::memcpy(out, &v, 4);
        out += 4;
    }
}

struct GltfBuilder {
    const ExportInput& input;
    const ExportPlan& plan;
    const ExportOptions& options;
    bool binary;
    std::string stem;
    tinygltf::Model model;
    Bin bin;
    std::vector<int> materialOfScene;                        // per input scene: its palette's diffuse material
    std::vector<std::vector<VoxelLook>> looksOfScene;        // per input scene (SceneLooks)
    std::map<std::tuple<int, int, int>, int> lookMaterials;  // (diffuse material, colour or -1, look) -> material
    std::vector<VoxelLook> lookOrder;                        // the looks numbered in lookMaterials' keys
    std::deque<std::vector<uint8_t>> pngs;                   // palette images, in image order (parts point into them)
    std::deque<std::vector<uint32_t>> primitiveIndices;      // indices of split meshes (parts point into them)
    std::vector<int> meshIndex;                              // plan mesh -> glTF mesh, -1 when empty

    int AddView(size_t part, int target) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = bin.parts[part].offset;
        view.byteLength = bin.parts[part].size;
        if (target) view.target = target;
        model.bufferViews.push_back(view);
        return static_cast<int>(model.bufferViews.size()) - 1;
    }

    int AddAccessor(int view, int componentType, int type, size_t count, std::vector<double> min = {},
                    std::vector<double> max = {}) {
        tinygltf::Accessor accessor;
        accessor.bufferView = view;
        accessor.componentType = componentType;
        accessor.type = type;
        accessor.count = count;
        accessor.minValues = std::move(min);
        accessor.maxValues = std::move(max);
        model.accessors.push_back(accessor);
        return static_cast<int>(model.accessors.size()) - 1;
    }

    // One material per distinct palette: a texture of it, or plain white
    // under vertex colours.
    void AddMaterials() {
        std::vector<const std::array<uint32_t, 256>*> palettes;
        for (const VoxelScene& scene : input.scenes) {
            size_t k = 0;
            while (k < palettes.size() && *palettes[k] != scene.palette) ++k;
            if (k == palettes.size()) palettes.push_back(&scene.palette);
            materialOfScene.push_back(options.colors == ExportColors::Palette ? static_cast<int>(k) : 0);
        }
        if (options.colors == ExportColors::Vertex) palettes.resize(1);
        for (size_t k = 0; k < palettes.size(); ++k) {
            tinygltf::Material material;
            material.name = palettes.size() > 1 ? "palette " + std::to_string(k) : "palette";
            material.pbrMetallicRoughness.metallicFactor = 0;
            material.pbrMetallicRoughness.roughnessFactor = 1;
            if (options.colors == ExportColors::Palette) {
                pngs.push_back(ExportPalettePng(*palettes[k]));
                tinygltf::Image image;
                image.name = material.name;
                if (binary) {
                    const std::vector<uint8_t>* png = &pngs.back();
                    const size_t part = bin.Add(png->size(), [png](std::FILE* f, OutputSet& o, std::string& e) {
                        return o.Write(f, png->data(), png->size(), e);
                    });
                    image.bufferView = AddView(part, 0);
                    image.mimeType = "image/png";
                } else {
                    image.uri = ExportUriOf(PngName(k));
                }
                model.images.push_back(image);
                tinygltf::Texture texture;
                texture.sampler = 0;
                texture.source = static_cast<int>(k);
                model.textures.push_back(texture);
                material.pbrMetallicRoughness.baseColorTexture.index = static_cast<int>(k);
            }
            model.materials.push_back(material);
        }
        for (const VoxelScene& scene : input.scenes) looksOfScene.push_back(SceneLooks(scene));
        if (options.colors == ExportColors::Palette) {
            // Nearest filtering keeps each texel's colour exact; coordinates sit at texel centres.
            tinygltf::Sampler sampler;
            sampler.magFilter = TINYGLTF_TEXTURE_FILTER_NEAREST;
            sampler.minFilter = TINYGLTF_TEXTURE_FILTER_NEAREST;
            sampler.wrapS = TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
            sampler.wrapT = TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
            model.samplers.push_back(sampler);
        }
    }

    // A float of a look as the decimal it was written as ("0.9", not 0.8999999761581421).
    static double Tidy(float value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
        return std::strtod(text, nullptr);
    }

    static tinygltf::Value Extension(const char* key, float value) {
        return tinygltf::Value(tinygltf::Value::Object{{key, tinygltf::Value(Tidy(value))}});
    }

    void UseExtension(const std::string& name) {
        if (std::find(model.extensionsUsed.begin(), model.extensionsUsed.end(), name) == model.extensionsUsed.end()) {
            model.extensionsUsed.push_back(name);
        }
    }

    // The material of colour index `color` of input scene `scene`: its
    // palette's diffuse one, or one made for the entry's look on first use.
    int MaterialOf(int32_t scene, uint8_t color) {
        const int base = materialOfScene[static_cast<size_t>(scene)];
        const std::vector<VoxelLook>& looks = looksOfScene[static_cast<size_t>(scene)];
        if (looks.empty() || looks[color - 1u].surface == VoxelSurface::Diffuse) return base;
        const VoxelLook& look = looks[color - 1u];
        const bool vertexGlow = options.colors == ExportColors::Vertex && look.surface == VoxelSurface::Emissive;
        const auto found = std::find(lookOrder.begin(), lookOrder.end(), look);
        const int lookNumber = static_cast<int>(found - lookOrder.begin());
        if (found == lookOrder.end()) lookOrder.push_back(look);
        const auto key = std::make_tuple(base, vertexGlow ? int(color) : -1, lookNumber);
        if (const auto it = lookMaterials.find(key); it != lookMaterials.end()) return it->second;

        tinygltf::Material material = model.materials[static_cast<size_t>(base)];
        tinygltf::PbrMetallicRoughness& pbr = material.pbrMetallicRoughness;
        pbr.roughnessFactor = Tidy(look.rough);
        static const char* const kKinds[] = {"diffuse", "emissive", "translucent", "metal"};
        material.name += std::string(" ") + kKinds[static_cast<size_t>(look.surface)] + " " + std::to_string(color);
        switch (look.surface) {
            case VoxelSurface::Emissive: {
                if (vertexGlow) {
                    const uint32_t rgba = input.scenes[static_cast<size_t>(scene)].palette[color - 1u];
                    material.emissiveFactor = {SrgbToLinear(uint8_t(rgba)), SrgbToLinear(uint8_t(rgba >> 8)),
                                               SrgbToLinear(uint8_t(rgba >> 16))};
                } else {
                    material.emissiveFactor = {1, 1, 1};
                    material.emissiveTexture.index = pbr.baseColorTexture.index;
                }
                material.extensions["KHR_materials_emissive_strength"] = Extension("emissiveStrength", look.emission);
                UseExtension("KHR_materials_emissive_strength");
                break;
            }
            case VoxelSurface::Translucent:
                material.extensions["KHR_materials_transmission"] =
                    Extension("transmissionFactor", 1.0f - look.opacity);
                material.extensions["KHR_materials_ior"] = Extension("ior", look.ior);
                UseExtension("KHR_materials_transmission");
                UseExtension("KHR_materials_ior");
                break;
            case VoxelSurface::Metal: pbr.metallicFactor = Tidy(look.metal); break;
            case VoxelSurface::Diffuse: break;
        }
        model.materials.push_back(material);
        return lookMaterials[key] = static_cast<int>(model.materials.size()) - 1;
    }

    // The index accessor of `count` indices read from `data`.
    int AddIndices(const uint32_t* data, size_t count, bool wide) {
        const size_t part =
            bin.Add(count * (wide ? 4 : 2), [data, count, wide](std::FILE* f, OutputSet& o, std::string& e) {
                if (wide) return o.Write(f, data, 4 * count, e);
                return WriteRecords(f, o, e, count, 2, [data](size_t i, uint8_t* out) {
                    const uint16_t v = static_cast<uint16_t>(data[i]);
                    std::memcpy(out, &v, 2);
                });
            });
        return AddAccessor(AddView(part, kElementArrayBuffer),
                           wide ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                           TINYGLTF_TYPE_SCALAR, count);
    }

    std::string PngName(size_t k) const { return stem + (k == 0 ? std::string() : "-" + std::to_string(k)) + ".png"; }

    void AddMeshes() {
        for (const ExportMesh& em : plan.meshes) {
            const VoxMesh* mesh = &em.mesh;
            if (mesh->indices.empty()) {
                meshIndex.push_back(-1);
                continue;
            }
            const size_t n = mesh->vertices.size();
            const std::array<uint32_t, 256>* palette = &input.scenes[static_cast<size_t>(em.scene)].palette;
            tinygltf::Primitive primitive;
            primitive.mode = TINYGLTF_MODE_TRIANGLES;

            const std::array<double, 3> lo = ToGltf(mesh->min[0], mesh->min[1], mesh->min[2]);
            const std::array<double, 3> hi = ToGltf(mesh->max[0], mesh->max[1], mesh->max[2]);
            size_t part = bin.Add(12 * n, [mesh](std::FILE* f, OutputSet& o, std::string& e) {
                return WriteRecords(f, o, e, mesh->vertices.size(), 12, [mesh](size_t i, uint8_t* out) {
                    const int32_t* p = mesh->vertices[i].position;
                    const std::array<double, 3> g = ToGltf(p[0], p[1], p[2]);
                    PutFloats(out, {float(g[0]), float(g[1]), float(g[2])});
                });
            });
            primitive.attributes["POSITION"] =
                AddAccessor(AddView(part, kArrayBuffer), kFloat, TINYGLTF_TYPE_VEC3, n,
                            {std::min(lo[0], hi[0]), std::min(lo[1], hi[1]), std::min(lo[2], hi[2])},
                            {std::max(lo[0], hi[0]), std::max(lo[1], hi[1]), std::max(lo[2], hi[2])});
            part = bin.Add(12 * n, [mesh](std::FILE* f, OutputSet& o, std::string& e) {
                return WriteRecords(f, o, e, mesh->vertices.size(), 12, [mesh](size_t i, uint8_t* out) {
                    const std::array<int, 3> n = VoxFaceNormal(mesh->vertices[i].face);
                    const std::array<double, 3> g = ToGltf(n[0], n[1], n[2]);
                    PutFloats(out, {float(g[0]), float(g[1]), float(g[2])});
                });
            });
            primitive.attributes["NORMAL"] = AddAccessor(AddView(part, kArrayBuffer), kFloat, TINYGLTF_TYPE_VEC3, n);
            if (options.colors == ExportColors::Palette) {
                part = bin.Add(8 * n, [mesh](std::FILE* f, OutputSet& o, std::string& e) {
                    return WriteRecords(f, o, e, mesh->vertices.size(), 8, [mesh](size_t i, uint8_t* out) {
                        // Texel centre of palette entry colorIndex - 1 in a 256 x 1 image.
                        PutFloats(out, {(mesh->vertices[i].colorIndex - 0.5f) / 256.0f, 0.5f});
                    });
                });
                primitive.attributes["TEXCOORD_0"] =
                    AddAccessor(AddView(part, kArrayBuffer), kFloat, TINYGLTF_TYPE_VEC2, n);
            } else {
                part = bin.Add(12 * n, [mesh, palette](std::FILE* f, OutputSet& o, std::string& e) {
                    return WriteRecords(f, o, e, mesh->vertices.size(), 12, [mesh, palette](size_t i, uint8_t* out) {
                        const uint32_t rgba = (*palette)[mesh->vertices[i].colorIndex - 1];
                        PutFloats(out, {SrgbToLinear(uint8_t(rgba)), SrgbToLinear(uint8_t(rgba >> 8)),
                                        SrgbToLinear(uint8_t(rgba >> 16))});
                    });
                });
                primitive.attributes["COLOR_0"] =
                    AddAccessor(AddView(part, kArrayBuffer), kFloat, TINYGLTF_TYPE_VEC3, n);
            }
            // The largest index of a type is reserved (primitive restart).
            const bool wide = n > 65535;
            // The triangles by material, in the order materials first appear.
            std::vector<int> materials;
            std::vector<std::vector<uint32_t>> split;
            for (size_t t = 0; t < mesh->indices.size(); t += 3) {
                const int material = MaterialOf(em.scene, mesh->vertices[mesh->indices[t]].colorIndex);
                const size_t k =
                    static_cast<size_t>(std::find(materials.begin(), materials.end(), material) - materials.begin());
                if (k == materials.size()) materials.push_back(material), split.emplace_back();
                split[k].insert(split[k].end(), &mesh->indices[t], &mesh->indices[t] + 3);
            }
            tinygltf::Mesh gm;
            gm.name = (input.scenes.size() > 1 ? "file " + std::to_string(em.scene) + " " : std::string()) + "model " +
                      std::to_string(em.model);
            for (size_t k = 0; k < materials.size(); ++k) {
                primitive.material = materials[k];
                if (materials.size() == 1) {
                    primitive.indices = AddIndices(mesh->indices.data(), mesh->indices.size(), wide);
                } else {
                    primitiveIndices.push_back(std::move(split[k]));
                    primitive.indices =
                        AddIndices(primitiveIndices.back().data(), primitiveIndices.back().size(), wide);
                }
                gm.primitives.push_back(primitive);
            }
            model.meshes.push_back(gm);
            meshIndex.push_back(static_cast<int>(model.meshes.size()) - 1);
        }
    }

    // Floats kept alive until the buffer is written; parts point into them.
    std::deque<std::vector<float>> floatData;

    int AddFloats(std::vector<float> values, int type, bool withBounds) {
        floatData.push_back(std::move(values));
        const std::vector<float>* data = &floatData.back();
        const size_t part = bin.Add(4 * data->size(), [data](std::FILE* f, OutputSet& o, std::string& e) {
            return o.Write(f, data->data(), 4 * data->size(), e);
        });
        const size_t width = type == TINYGLTF_TYPE_SCALAR ? 1 : type == TINYGLTF_TYPE_VEC3 ? 3 : 4;
        std::vector<double> lo, hi;
        if (withBounds) {
            lo.assign(width, INFINITY), hi.assign(width, -INFINITY);
            for (size_t i = 0; i < data->size(); ++i) {
                lo[i % width] = std::min<double>(lo[i % width], (*data)[i]);
                hi[i % width] = std::max<double>(hi[i % width], (*data)[i]);
            }
        }
        return AddAccessor(AddView(part, 0), kFloat, type, data->size() / width, lo, hi);
    }

    static float Time(int32_t frame) { return static_cast<float>(frame / kExportFramesPerSecond); }

    // One channel of an animated node from per-frame values of `width` doubles.
    void AddChannel(tinygltf::Animation& animation, int node, const char* path,
                    const std::vector<std::vector<double>>& values, const std::vector<int32_t>& keyFrames,
                    bool mayInterpolate) {
        const int32_t last = static_cast<int32_t>(values.size()) - 1;
        if (std::all_of(values.begin(), values.end(), [&](const auto& v) { return v == values[0]; })) return;
        std::vector<int32_t> frames;
        bool linear = false;
        if (mayInterpolate) {
            // LINEAR through the editor's keys, when it gives every frame's whole cells.
            frames = keyFrames;
            frames.push_back(0);
            frames.push_back(last);
            std::sort(frames.begin(), frames.end());
            frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
            frames.erase(std::remove_if(frames.begin(), frames.end(), [&](int32_t f) { return f < 0 || f > last; }),
                         frames.end());
            linear = true;
            for (size_t k = 0; k + 1 < frames.size() && linear; ++k) {
                const int32_t a = frames[k], b = frames[k + 1];
                for (int32_t f = a + 1; f < b && linear; ++f) {
                    for (size_t c = 0; c < values[0].size(); ++c) {
                        // Whole cells, so products of small integers: exact in double.
                        if ((values[f][c] - values[a][c]) * (b - a) != (values[b][c] - values[a][c]) * (f - a)) {
                            linear = false;
                        }
                    }
                }
            }
        }
        if (!linear) {
            frames.clear();
            for (int32_t f = 0; f <= last; ++f) {
                if (f == 0 || f == last || values[f] != values[f - 1]) frames.push_back(f);
            }
        }
        std::vector<float> times, outputs;
        for (int32_t f : frames) {
            times.push_back(Time(f));
            for (double v : values[f]) outputs.push_back(static_cast<float>(v));
        }
        tinygltf::AnimationSampler sampler;
        sampler.input = AddFloats(std::move(times), TINYGLTF_TYPE_SCALAR, true);
        sampler.output =
            AddFloats(std::move(outputs), values[0].size() == 3 ? TINYGLTF_TYPE_VEC3 : TINYGLTF_TYPE_VEC4, false);
        sampler.interpolation = linear ? "LINEAR" : "STEP";
        animation.samplers.push_back(sampler);
        tinygltf::AnimationChannel channel;
        channel.sampler = static_cast<int>(animation.samplers.size()) - 1;
        channel.target_node = node;
        channel.target_path = path;
        animation.channels.push_back(channel);
    }

    void AddNodes() {
        tinygltf::Animation animation;
        animation.name = "frames";
        for (size_t i = 0; i < plan.nodes.size(); ++i) {
            const ExportNode& pn = plan.nodes[i];
            tinygltf::Node node;
            node.name = pn.name;
            if (pn.mesh >= 0 && meshIndex[static_cast<size_t>(pn.mesh)] >= 0) {
                node.mesh = meshIndex[static_cast<size_t>(pn.mesh)];
            }
            node.children.assign(pn.children.begin(), pn.children.end());
            std::array<double, 4> q;
            std::array<double, 3> s;
            Decompose(pn.poses[0].rotation, pn.poses[0].visible, q, s);
            const std::array<double, 3> t = GltfTranslation(pn.poses[0]);
            if (t != std::array<double, 3>{0, 0, 0}) node.translation.assign(t.begin(), t.end());
            if (q != std::array<double, 4>{0, 0, 0, 1}) node.rotation.assign(q.begin(), q.end());
            if (i == 0 && options.scale != 1.0) {
                s = {s[0] * options.scale, s[1] * options.scale, s[2] * options.scale};
            }
            if (s != std::array<double, 3>{1, 1, 1}) node.scale.assign(s.begin(), s.end());
            model.nodes.push_back(node);
            if (pn.poses.size() <= 1) continue;
            std::vector<std::vector<double>> translations, rotations, scales;
            for (const ExportPose& pose : pn.poses) {
                Decompose(pose.rotation, pose.visible, q, s);
                const std::array<double, 3> tr = GltfTranslation(pose);
                translations.emplace_back(tr.begin(), tr.end());
                rotations.emplace_back(q.begin(), q.end());
                scales.emplace_back(s.begin(), s.end());
            }
            AddChannel(animation, static_cast<int>(i), "translation", translations, pn.keyFrames, true);
            AddChannel(animation, static_cast<int>(i), "rotation", rotations, {}, false);
            AddChannel(animation, static_cast<int>(i), "scale", scales, {}, false);
        }
        if (!animation.channels.empty()) model.animations.push_back(animation);
        tinygltf::Scene scene;
        scene.name = plan.nodes[0].name;
        scene.nodes = {0};
        model.scenes.push_back(scene);
        model.defaultScene = 0;
        model.asset.version = "2.0";
        model.asset.generator = "voxwalk";
    }
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

bool WriteGltf(const ExportInput& input, const ExportPlan& plan, const ExportOptions& options, const std::string& path,
               bool binary, OutputSet& outputs, std::string& error) {
    GltfBuilder b{input, plan, options, binary, OutputStemOf(path), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    b.AddMaterials();
    b.AddMeshes();
    b.AddNodes();

    tinygltf::TinyGLTF writer;
    std::ostringstream text;
    if (!writer.WriteGltfSceneToStream(&b.model, text, !binary, false)) {
        error = path + ": cannot serialise the glTF document";
        return false;
    }
    nlohmann::json document = nlohmann::json::parse(text.str(), nullptr, false);
    if (document.is_discarded()) {
        error = path + ": cannot serialise the glTF document";
        return false;
    }
    if (b.bin.size > 0) {
        nlohmann::json buffer = {{"byteLength", b.bin.size}};
        if (!binary) buffer["uri"] = ExportUriOf(b.stem + ".bin");
        document["buffers"] = nlohmann::json::array({buffer});
    }
    std::string json = binary ? document.dump() : document.dump(2);

    const std::string folder = OutputFolderOf(path);
    if (binary) {
        while (json.size() % 4) json.push_back(' ');
        const uint64_t total = 12 + 8 + json.size() + (b.bin.size ? 8 + b.bin.size : 0);
        if (total > UINT32_MAX) {
            error = path + ": the model is too large for one .glb file (" + std::to_string(total) + " bytes)";
            return false;
        }
        std::FILE* file = outputs.Open(path, error);
        if (!file) return false;
        std::vector<uint8_t> head;
        Put32(head, 0x46546C67);  // "glTF"
        Put32(head, 2);
        Put32(head, static_cast<uint32_t>(total));
        Put32(head, static_cast<uint32_t>(json.size()));
        Put32(head, 0x4E4F534A);  // "JSON"
        if (!outputs.Write(file, head.data(), head.size(), error) ||
            !outputs.Write(file, json.data(), json.size(), error)) {
            return false;
        }
        if (b.bin.size) {
            head.clear();
            Put32(head, static_cast<uint32_t>(b.bin.size));
            Put32(head, 0x004E4942);  // "BIN\0"
            if (!outputs.Write(file, head.data(), head.size(), error) || !b.bin.WriteAll(file, outputs, error)) {
                return false;
            }
        }
        return true;
    }
    std::FILE* file = outputs.Open(path, error);
    if (!file || !outputs.Write(file, json.data(), json.size(), error)) return false;
    if (b.bin.size) {
        std::FILE* binFile = outputs.Open(folder + b.stem + ".bin", error);
        if (!binFile || !b.bin.WriteAll(binFile, outputs, error)) return false;
    }
    for (size_t k = 0; k < b.pngs.size(); ++k) {
        std::FILE* png = outputs.Open(folder + b.PngName(k), error);
        if (!png || !outputs.Write(png, b.pngs[k].data(), b.pngs[k].size(), error)) return false;
    }
    return true;
}
