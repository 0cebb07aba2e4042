// The scene reader: a strict walk over the chunks that fails with one line
// of error at the first thing it cannot trust, then a check of the graph as
// a whole (ids, child types, cycles, depth, how far it expands).
#include "voxel/VoxScene.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "voxel/VoxFormat.h"

namespace {

using namespace voxformat;

static_assert(sizeof(VoxelCell) == 4, "XYZI cells are copied as they are stored");

bool IsId(const uint8_t* id, const char (&name)[5]) { return std::memcmp(id, name, 4) == 0; }

// Parses a whole decimal integer ("-12"), nothing before or after it.
bool ParseInt(std::string_view text, int64_t low, int64_t high, int64_t& value) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    if (i == text.size()) return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > (int64_t{1} << 40)) return false;  // far beyond any bound asked for
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

std::string Quoted(std::string_view text) {
    // Enough of the value to recognise it; hostile strings can be huge.
    constexpr size_t kShown = 40;
    std::string out = "'";
    for (char c : text.substr(0, kShown)) out += (c >= 32 && c < 127) ? c : '?';
    out += text.size() > kShown ? "...'" : "'";
    return out;
}

// A packed rotation: bits 0-1 and 2-3 name the columns of rows 0 and 1; they
// must differ and neither may be 3. Bits 4-6 are signs; bit 7 is unused.
bool IsValidRotation(int64_t value) {
    if (value < 0 || value > 127) return false;
    const int c0 = static_cast<int>(value & 3), c1 = static_cast<int>((value >> 2) & 3);
    return c0 != 3 && c1 != 3 && c0 != c1;
}

// How each material property is read: its key after the underscore, an
// older key for the same thing, its range, and whether it is whole.
struct PropertyRule {
    const char* key;
    const char* alias;
    float low, high;
    bool whole;
};
constexpr float kUnbounded = std::numeric_limits<float>::max();
constexpr PropertyRule kPropertyRules[kVoxelMaterialPropertyCount] = {
    {"weight", nullptr, 0, 1, false},     {"rough", nullptr, 0, 1, false},        {"metal", nullptr, 0, 1, false},
    {"spec", "sp", 0, kUnbounded, false}, {"ior", "ri", 0, kUnbounded, false},    {"trans", "alpha", 0, 1, false},
    {"d", nullptr, 0, kUnbounded, false}, {"att", nullptr, 0, kUnbounded, false}, {"emit", nullptr, 0, 1, false},
    {"flux", nullptr, 0, 4, true},        {"ldr", nullptr, 0, kUnbounded, false}, {"plastic", nullptr, 0, 1, true},
};
constexpr const char* kMaterialTypeNames[] = {"diffuse", "metal", "glass", "emit", "blend", "media", "cloud"};

// A decimal number as the editor writes it ("0.1", "1.000000", "2"), with
// spaces around it allowed; false for anything else or a non-finite value.
bool ParseNumber(std::string_view text, float& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    float parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

// Sets a property within its range; a non-finite value sets nothing.
void SetProperty(VoxelMaterial& material, size_t property, float value) {
    if (!std::isfinite(value)) return;
    const PropertyRule& rule = kPropertyRules[property];
    value = std::clamp(value, rule.low, rule.high);
    material.values[property] = rule.whole ? std::round(value) : value;
    material.set |= 1u << property;
}

// Reads inside one chunk's content; every read is checked against its end.
struct Cursor {
    const uint8_t* data = nullptr;
    uint64_t pos = 0, end = 0;

    uint64_t Left() const { return end - pos; }
    bool Int(int32_t& value) {
        if (Left() < 4) return false;
        ReadInt32(data, end, pos, value);
        pos += 4;
        return true;
    }
    bool String(std::string_view& text) {
        int32_t n = 0;
        if (!Int(n) || n < 0 || static_cast<uint64_t>(n) > Left()) return false;
        text = {reinterpret_cast<const char*>(data + pos), static_cast<size_t>(n)};
        pos += static_cast<uint64_t>(n);
        return true;
    }
};

struct Reader {
    const char* name;
    VoxelScene& scene;
    std::string& error;
    std::string chunk;  // what is being read, for the message
    // One byte per cell of a dense model's box, all clear between
    // models. Bytes, not bits: neighbouring voxels then touch different
    // memory, and the loop does not wait on its own last store.
    std::vector<uint8_t> seen;
    // Materials by palette entry, the last chunk for an entry counting.
    std::array<VoxelMaterial, 256> materials{};
    // Chunks of ids this reader does not know, where models it cannot find
    // may be: how many, and the first few ("'XRAW' at byte 20").
    static constexpr size_t kUnknownNamed = 4;
    size_t unknownCount = 0;
    std::vector<std::string> unknown{};

    bool Fail(const std::string& what) {
        error = std::string(name) + ": " + (chunk.empty() ? "" : chunk + ": ") + what;
        return false;
    }

    // DICT: a pair count, then key and value strings. `use` sees each pair
    // and may fail.
    template <typename Use>
    bool Dict(Cursor& c, Use&& use) {
        int32_t count = 0;
        if (!c.Int(count)) return Fail("dictionary cut short");
        // Two length fields per pair at least: a count beyond that is a lie.
        if (count < 0 || static_cast<uint64_t>(count) > c.Left() / 8) {
            return Fail("dictionary claims " + std::to_string(count) + " pairs");
        }
        for (int32_t i = 0; i < count; ++i) {
            std::string_view key, value;
            if (!c.String(key) || !c.String(value)) return Fail("dictionary string runs past its chunk");
            if (!use(key, value)) return false;
        }
        return true;
    }

    // Node attributes: `_name` and `_hidden`; others are kept by nobody.
    bool Attributes(Cursor& c, VoxelSceneNode& node) {
        return Dict(c, [&](std::string_view key, std::string_view value) {
            if (key == "_name") node.name = value;
            if (key == "_hidden") node.hidden = value == "1";
            return true;
        });
    }

    bool Frame(std::string_view value, int32_t& frame) {
        int64_t f = 0;
        if (!ParseInt(value, 0, kVoxSceneMaxFrameIndex, f)) {
            return Fail("frame index " + Quoted(value) + " is not a whole number from 0 to " +
                        std::to_string(kVoxSceneMaxFrameIndex));
        }
        frame = static_cast<int32_t>(f);
        return true;
    }

    bool Translation(std::string_view value, VoxelTransformKey& key) {
        int32_t* axes[3] = {&key.x, &key.y, &key.z};
        size_t found = 0, i = 0;
        while (i < value.size()) {
            if (value[i] == ' ') {
                ++i;
                continue;
            }
            const size_t start = i;
            while (i < value.size() && value[i] != ' ') ++i;
            int64_t t = 0;
            if (found == 3 ||
                !ParseInt(value.substr(start, i - start), -kVoxSceneMaxTranslation, kVoxSceneMaxTranslation, t)) {
                found = 4;  // not three integers in range
                break;
            }
            *axes[found++] = static_cast<int32_t>(t);
        }
        if (found != 3) {
            return Fail("translation " + Quoted(value) + " is not three whole numbers within +-" +
                        std::to_string(kVoxSceneMaxTranslation));
        }
        return true;
    }

    bool TransformNode(Cursor& c, VoxelSceneNode& node) {
        node.kind = VoxelNodeKind::Transform;
        int32_t child = 0, reserved = 0, frames = 0;
        if (!Attributes(c, node)) return false;
        if (!c.Int(child) || !c.Int(reserved) || !c.Int(node.layer) || !c.Int(frames)) {
            return Fail("cut short");
        }
        node.children.push_back(child);  // an id until the graph is resolved
        // Each key needs at least its 4-byte dictionary count.
        if (frames < 1 || static_cast<uint64_t>(frames) > c.Left() / 4) {
            return Fail("claims " + std::to_string(frames) + " keyframes");
        }
        node.transformKeys.resize(static_cast<size_t>(frames));
        for (VoxelTransformKey& key : node.transformKeys) {
            const bool ok = Dict(c, [&](std::string_view k, std::string_view value) {
                if (k == "_f") return Frame(value, key.frame);
                if (k == "_t") return Translation(value, key);
                if (k == "_r") {
                    int64_t r = 0;
                    if (!ParseInt(value, 0, 255, r) || !IsValidRotation(r)) {
                        return Fail("rotation " + Quoted(value) + " is not a valid rotation byte");
                    }
                    key.rotation = static_cast<uint8_t>(r);
                }
                return true;
            });
            if (!ok) return false;
        }
        return true;
    }

    bool GroupNode(Cursor& c, VoxelSceneNode& node) {
        node.kind = VoxelNodeKind::Group;
        int32_t count = 0;
        if (!Attributes(c, node)) return false;
        if (!c.Int(count)) return Fail("cut short");
        if (count < 0 || static_cast<uint64_t>(count) > c.Left() / 4) {
            return Fail("claims " + std::to_string(count) + " children");
        }
        node.children.resize(static_cast<size_t>(count));
        for (int32_t& child : node.children) c.Int(child);
        return true;
    }

    bool ShapeNode(Cursor& c, VoxelSceneNode& node) {
        node.kind = VoxelNodeKind::Shape;
        int32_t count = 0;
        if (!Attributes(c, node)) return false;
        if (!c.Int(count)) return Fail("cut short");
        // A model id and a dictionary count per entry.
        if (count < 1 || static_cast<uint64_t>(count) > c.Left() / 8) {
            return Fail("claims " + std::to_string(count) + " models");
        }
        node.shapeKeys.resize(static_cast<size_t>(count));
        for (VoxelShapeKey& key : node.shapeKeys) {
            if (!c.Int(key.model)) return Fail("cut short");
            const bool ok = Dict(c, [&](std::string_view k, std::string_view value) {
                return k == "_f" ? Frame(value, key.frame) : true;
            });
            if (!ok) return false;
        }
        return true;
    }

    bool Node(Cursor& c, const uint8_t* id) {
        VoxelSceneNode node;
        if (!c.Int(node.id)) return Fail("cut short");
        chunk += " node " + std::to_string(node.id);
        bool ok = IsId(id, "nTRN")   ? TransformNode(c, node)
                  : IsId(id, "nGRP") ? GroupNode(c, node)
                                     : ShapeNode(c, node);
        if (ok) scene.nodes.push_back(std::move(node));
        return ok;
    }

    // MATL: an entry and a DICT. Never fails: what cannot be read is left out.
    void MaterialChunk(Cursor c) {
        int32_t id = 0, count = 0;
        if (!c.Int(id) || id < 1 || id > 255 || !c.Int(count) || count < 0 ||
            static_cast<uint64_t>(count) > c.Left() / 8) {
            return;
        }
        VoxelMaterial material;
        material.id = id;
        uint32_t byKey = 0;  // properties set by their own key, which an alias does not replace
        for (int32_t i = 0; i < count; ++i) {
            std::string_view key, value;
            if (!c.String(key) || !c.String(value)) return;
            if (key == "_type") {
                for (size_t t = 0; t < std::size(kMaterialTypeNames); ++t) {
                    if (value.size() > 1 && value[0] == '_' && value.substr(1) == kMaterialTypeNames[t]) {
                        material.type = static_cast<VoxelMaterialType>(t);
                    }
                }
                continue;
            }
            if (key.empty() || key[0] != '_') continue;
            key.remove_prefix(1);
            for (size_t p = 0; p < kVoxelMaterialPropertyCount; ++p) {
                const PropertyRule& rule = kPropertyRules[p];
                const bool own = key == rule.key;
                float number = 0;
                if ((own || (rule.alias != nullptr && key == rule.alias && !(byKey >> p & 1))) &&
                    ParseNumber(value, number)) {
                    SetProperty(material, p, number);
                    if (own) byKey |= 1u << p;
                }
            }
        }
        materials[static_cast<size_t>(id)] = material;
    }

    // MATT: entry, type, weight, property bits, then a float per value bit.
    void OldMaterialChunk(Cursor c) {
        using P = VoxelMaterialProperty;
        constexpr P kValueBits[] = {P::Plastic, P::Rough, P::Specular, P::Ior, P::Attenuation, P::Flux, P::Ldr};
        constexpr VoxelMaterialType kTypes[] = {VoxelMaterialType::Diffuse, VoxelMaterialType::Metal,
                                                VoxelMaterialType::Glass, VoxelMaterialType::Emit};
        int32_t id = 0, type = 0, weight = 0, bits = 0;
        if (!c.Int(id) || !c.Int(type) || !c.Int(weight) || !c.Int(bits) || id < 1 || id > 255) return;
        VoxelMaterial material;
        material.id = id;
        if (type >= 0 && type < 4) material.type = kTypes[type];
        SetProperty(material, size_t(P::Weight), std::bit_cast<float>(weight));
        if (material.type == VoxelMaterialType::Emit) {
            SetProperty(material, size_t(P::Emit), std::bit_cast<float>(weight));
        }
        for (size_t b = 0; b < std::size(kValueBits); ++b) {
            int32_t value = 0;
            if (!(bits >> b & 1)) continue;
            if (!c.Int(value)) return;  // values cut short: the chunk is left out
            SetProperty(material, size_t(kValueBits[b]), std::bit_cast<float>(value));
        }
        materials[static_cast<size_t>(id)] = material;
    }

    bool Layer(Cursor& c) {
        VoxelSceneLayer layer;
        if (!c.Int(layer.id)) return Fail("cut short");
        const bool ok = Dict(c, [&](std::string_view key, std::string_view value) {
            if (key == "_name") layer.name = value;
            if (key == "_hidden") layer.hidden = value == "1";
            return true;
        });
        if (ok) scene.layers.push_back(std::move(layer));
        return ok;
    }

    bool Model(Cursor& c, const int32_t size[3]) {
        int32_t count = 0;
        if (!c.Int(count)) return Fail("cut short");
        if (count < 0 || static_cast<uint64_t>(count) > c.Left() / 4) {
            return Fail("claims " + std::to_string(count) + " voxels but holds " + std::to_string(c.Left() / 4));
        }
        if (count > kVoxSceneMaxVoxels)
            return Fail("model holds more than " + std::to_string(kVoxSceneMaxVoxels) + " voxels");
        VoxelSceneModel model;
        model.sizeX = size[0];
        model.sizeY = size[1];
        model.sizeZ = size[2];
        model.cells.resize(static_cast<size_t>(count));
        if (count > 0) std::memcpy(model.cells.data(), c.data + c.pos, 4 * static_cast<size_t>(count));
        // The box over 16-byte blocks (four cells) with byte-wise vector
        // min and max; the lanes fold into x, y, z afterwards.
        typedef uint8_t Bytes16 __attribute__((vector_size(16)));
        const uint8_t* bytes = c.data + c.pos;
        const size_t n = 4 * static_cast<size_t>(count), blocks = n / 16;
        Bytes16 lowBlock, highBlock;
        std::memset(&lowBlock, 255, 16);
        std::memset(&highBlock, 0, 16);
        for (size_t b = 0; b < blocks; ++b) {
            Bytes16 block;
            std::memcpy(&block, bytes + 16 * b, 16);
            lowBlock = block < lowBlock ? block : lowBlock;
            highBlock = block > highBlock ? block : highBlock;
        }
        uint8_t low[16], high[16];
        std::memcpy(low, &lowBlock, 16);
        std::memcpy(high, &highBlock, 16);
        for (size_t i = 16 * blocks; i < n; ++i) {
            low[i % 16] = std::min(low[i % 16], bytes[i]);
            high[i % 16] = std::max(high[i % 16], bytes[i]);
        }
        uint8_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (int k = 0; k < 16; ++k) {
            if (k % 4 == 3) continue;  // colour
            lo[k % 4] = std::min(lo[k % 4], low[k]);
            hi[k % 4] = std::max(hi[k % 4], high[k]);
        }
        if (count > 0) {
            model.minX = lo[0], model.minY = lo[1], model.minZ = lo[2];
            model.maxX = hi[0], model.maxY = hi[1], model.maxZ = hi[2];
        }
        model.distinctCells = DistinctCells(model);
        scene.models.push_back(std::move(model));
        return true;
    }

    // Whether no two of the model's voxels share a cell: then composition
    // need not look for shared cells inside it.
    bool DistinctCells(const VoxelSceneModel& model) {
        const uint32_t ex = static_cast<uint32_t>(model.maxX - model.minX + 1),
                       ey = static_cast<uint32_t>(model.maxY - model.minY + 1),
                       ez = static_cast<uint32_t>(model.maxZ - model.minZ + 1);
        if (model.cells.empty()) return true;
        // Cells written in scan order (x fastest, then y, then z) are
        // distinct when each is past the one before: a streaming pass over
        // the cells as little-endian words, whose low 24 bits are z, y, x.
        const uint8_t* const raw = reinterpret_cast<const uint8_t*>(model.cells.data());
        int32_t rising = 1;
        for (size_t n = 1; n < model.cells.size(); ++n) {
            uint32_t before, here;
            std::memcpy(&before, raw + 4 * (n - 1), 4);
            std::memcpy(&here, raw + 4 * n, 4);
            rising &= static_cast<int32_t>(here & 0xffffff) > static_cast<int32_t>(before & 0xffffff);
        }
        if (rising) return true;
        const size_t cells = size_t{ex} * ey * ez;
        if (cells > 8 * model.cells.size() + 4096) {
            // A sparse model: sorting its cells costs less than marking its box.
            std::vector<uint32_t> keys(model.cells.size());
            for (size_t n = 0; n < keys.size(); ++n) {
                const VoxelCell& v = model.cells[n];
                keys[n] = uint32_t{v.x} << 16 | uint32_t{v.y} << 8 | v.z;
            }
            std::sort(keys.begin(), keys.end());
            return std::adjacent_find(keys.begin(), keys.end()) == keys.end();
        }
        if (seen.size() < cells) seen.assign(cells, 0);
        // Locals, not members: stores through a byte pointer could alias them.
        uint8_t* const marks = seen.data();
        const uint32_t x0 = static_cast<uint32_t>(model.minX), y0 = static_cast<uint32_t>(model.minY),
                       z0 = static_cast<uint32_t>(model.minZ), exy = ex * ey;
        const VoxelCell* const first = model.cells.data();
        const VoxelCell* const last = first + model.cells.size();
        auto index = [=](const VoxelCell& v) { return (v.z - z0) * exy + (v.y - y0) * ex + (v.x - x0); };
        // Count the voxels whose cell was already marked, then clear the marks.
        size_t repeats = 0;
        for (const VoxelCell* v = first; v != last; ++v) {
            uint8_t& mark = marks[index(*v)];
            repeats += mark;
            mark = 1;
        }
        for (const VoxelCell* v = first; v != last; ++v) marks[index(*v)] = 0;
        return repeats == 0;
    }

    // The chunk walk: headers decide where the next chunk starts. Chunks read
    // here have their children as the chunks that follow; any other id is
    // skipped whole, children included.
    bool Chunks(const uint8_t* data, size_t length) {
        int32_t size[3] = {0, 0, 0};
        bool sizePending = false;
        bool paletteFound = false;
        uint64_t pos = 8;
        while (pos < length) {
            chunk = "chunk at byte " + std::to_string(pos);
            if (length - pos < 12) return Fail("header cut by the end of the file");
            const uint8_t* id = data + pos;
            int32_t contentSize = 0, childrenSize = 0;
            ReadInt32(data, length, pos + 4, contentSize);
            ReadInt32(data, length, pos + 8, childrenSize);
            for (int i = 0; i < 4; ++i) {
                if (id[i] < 32 || id[i] > 126) return Fail("not a chunk id");
            }
            chunk = std::string(reinterpret_cast<const char*>(id), 4) + " at byte " + std::to_string(pos);
            const uint64_t contentStart = pos + 12;
            const uint64_t contentEnd = contentStart + static_cast<uint64_t>(contentSize);
            if (contentSize < 0 || contentEnd > length) {
                return Fail("content of " + std::to_string(contentSize) + " bytes runs past the end of the file");
            }
            Cursor c{data, contentStart, contentEnd};
            uint64_t next = contentEnd;
            bool ok = true;
            if (IsId(id, "SIZE")) {
                ok = c.Int(size[0]) && c.Int(size[1]) && c.Int(size[2]);
                if (!ok) return Fail("cut short");
                for (int32_t s : size) {
                    if (s < 1 || s > kVoxSceneMaxModelSize) {
                        return Fail("model size " + std::to_string(size[0]) + " " + std::to_string(size[1]) + " " +
                                    std::to_string(size[2]) + " is not 1 to " + std::to_string(kVoxSceneMaxModelSize) +
                                    " cells per axis");
                    }
                }
                sizePending = true;
            } else if (IsId(id, "XYZI")) {
                if (!sizePending) return Fail("voxels without a SIZE chunk before them");
                ok = Model(c, size);
                sizePending = false;
            } else if (IsId(id, "RGBA")) {
                // Entry k of the file is the colour of index k + 1, entry k + 1.
                const uint64_t entries = std::min<uint64_t>(256, c.Left() / 4);
                std::memcpy(scene.palette.data(), data + contentStart, 4 * entries);
                paletteFound = true;
            } else if (IsId(id, "nTRN") || IsId(id, "nGRP") || IsId(id, "nSHP")) {
                ok = Node(c, id);
            } else if (IsId(id, "LAYR")) {
                ok = Layer(c);
            } else if (IsId(id, "MAIN")) {
                // Children beyond the end: the file was cut at a chunk's end.
                if (childrenSize >= 0 && static_cast<uint64_t>(childrenSize) > length - contentEnd) {
                    return Fail("the file is cut short: its children claim " + std::to_string(childrenSize) +
                                " bytes, " + std::to_string(length - contentEnd) + " follow");
                }
            } else if (!IsId(id, "PACK")) {
                if (IsId(id, "MATL")) MaterialChunk(c);
                if (IsId(id, "MATT")) OldMaterialChunk(c);
                if (!IsId(id, "MATL") && !IsId(id, "MATT") && !IsId(id, "rOBJ") && !IsId(id, "rCAM") &&
                    !IsId(id, "NOTE") && !IsId(id, "IMAP") && unknownCount++ < kUnknownNamed) {
                    unknown.push_back("'" + std::string(reinterpret_cast<const char*>(id), 4) + "' at byte " +
                                      std::to_string(pos));
                }
                if (childrenSize < 0 || static_cast<uint64_t>(childrenSize) > length - contentEnd) {
                    return Fail("children of " + std::to_string(childrenSize) + " bytes run past the end of the file");
                }
                next = contentEnd + static_cast<uint64_t>(childrenSize);
            }
            if (!ok) return false;
            pos = next;  // at least 12 bytes on
        }
        chunk.clear();
        if (!paletteFound) FillDefaultPalette(scene.palette);
        for (const VoxelMaterial& material : materials) {
            if (material.id != 0) scene.materials.push_back(material);
        }
        return true;
    }

    // Node ids to indices, child types, model ids, layers, key order.
    bool Resolve() {
        std::vector<std::pair<int32_t, int32_t>> ids;  // (id, index)
        ids.reserve(scene.nodes.size());
        for (size_t i = 0; i < scene.nodes.size(); ++i) ids.emplace_back(scene.nodes[i].id, static_cast<int32_t>(i));
        std::sort(ids.begin(), ids.end());
        for (size_t i = 1; i < ids.size(); ++i) {
            if (ids[i].first == ids[i - 1].first)
                return Fail("node id " + std::to_string(ids[i].first) + " is used twice");
        }
        auto find = [&](int32_t id) {
            auto it = std::lower_bound(ids.begin(), ids.end(), std::make_pair(id, INT32_MIN));
            return it != ids.end() && it->first == id ? it->second : -1;
        };
        scene.root = find(0);
        if (scene.root < 0) return Fail("the scene graph has no root node 0");
        if (scene.nodes[static_cast<size_t>(scene.root)].kind != VoxelNodeKind::Transform) {
            return Fail("root node 0 is not a transform");
        }

        std::vector<std::pair<int32_t, int32_t>> layerIds;  // (id, index)
        for (size_t l = 0; l < scene.layers.size(); ++l)
            layerIds.emplace_back(scene.layers[l].id, static_cast<int32_t>(l));
        std::sort(layerIds.begin(), layerIds.end());

        int32_t lastFrame = 0;
        for (VoxelSceneNode& node : scene.nodes) {
            const std::string where = "node " + std::to_string(node.id);
            for (int32_t& child : node.children) {
                const int32_t index = find(child);
                if (index < 0) return Fail(where + ": child node " + std::to_string(child) + " does not exist");
                const VoxelNodeKind kind = scene.nodes[static_cast<size_t>(index)].kind;
                const bool fits = node.kind == VoxelNodeKind::Transform ? kind != VoxelNodeKind::Transform
                                                                        : kind == VoxelNodeKind::Transform;
                if (!fits) {
                    return Fail(where + ": child node " + std::to_string(child) + " is not a valid child of a " +
                                (node.kind == VoxelNodeKind::Transform ? "transform" : "group"));
                }
                child = index;
            }
            for (const VoxelShapeKey& key : node.shapeKeys) {
                if (key.model < 0 || static_cast<size_t>(key.model) >= scene.models.size()) {
                    const size_t count = scene.models.size();
                    if (!unknown.empty()) {
                        const std::string models = count == 0   ? "no models"
                                                   : count == 1 ? "1 model"
                                                                : std::to_string(count) + " models";
                        return Fail(where + " shows model " + std::to_string(key.model) + ", but the file has " +
                                    models + " this reader can read; " + UnknownChunks());
                    }
                    return Fail(where + ": model " + std::to_string(key.model) + " does not exist (the file has " +
                                std::to_string(scene.models.size()) + ")");
                }
            }
            auto byFrame = [](const auto& a, const auto& b) { return a.frame < b.frame; };
            std::stable_sort(node.transformKeys.begin(), node.transformKeys.end(), byFrame);
            std::stable_sort(node.shapeKeys.begin(), node.shapeKeys.end(), byFrame);
            auto sameFrame = [](const auto& a, const auto& b) { return a.frame == b.frame; };
            if (std::adjacent_find(node.transformKeys.begin(), node.transformKeys.end(), sameFrame) !=
                    node.transformKeys.end() ||
                std::adjacent_find(node.shapeKeys.begin(), node.shapeKeys.end(), sameFrame) != node.shapeKeys.end()) {
                return Fail(where + ": two keys for one frame");
            }
            if (!node.transformKeys.empty()) lastFrame = std::max(lastFrame, node.transformKeys.back().frame);
            if (!node.shapeKeys.empty()) lastFrame = std::max(lastFrame, node.shapeKeys.back().frame);
            if (node.layer >= 0) {
                // The first layer with that id; a search, so many nodes and layers stay cheap.
                auto it = std::lower_bound(layerIds.begin(), layerIds.end(), std::make_pair(node.layer, INT32_MIN));
                if (it != layerIds.end() && it->first == node.layer) node.layerIndex = it->second;
            }
        }
        scene.frameCount = lastFrame + 1;
        return Expansion();
    }

    // The chunks this reader does not know, the first few by name.
    std::string UnknownChunks() const {
        std::string out = "chunks it does not know: ";
        for (size_t i = 0; i < unknown.size(); ++i) out += (i ? ", " : "") + unknown[i];
        if (unknownCount > unknown.size()) out += " and " + std::to_string(unknownCount - unknown.size()) + " more";
        return out;
    }

    // A file without a model it can read, but with chunks it does not know,
    // keeps its models where this reader cannot see them.
    bool ModelsFound() {
        if (!scene.models.empty() || unknown.empty()) return true;
        return Fail("no models this reader can read; " + UnknownChunks());
    }

    // What the graph expands to from the root, each node visited once: a
    // node below several parents is counted once per path but walked once.
    struct Reach {
        int8_t state = 0;        // 0 unseen, 1 on the current path, 2 done
        int32_t height = 0;      // transforms on the longest path down from here
        int64_t placements = 0;  // this node and those below, once per path, saturating
        int64_t voxels = 0;      // most voxels those placements can hold, saturating
    };

    bool Visit(int32_t index, int32_t above, std::vector<Reach>& reach) {
        const VoxelSceneNode& node = scene.nodes[static_cast<size_t>(index)];
        Reach& r = reach[static_cast<size_t>(index)];
        if (r.state == 1) return Fail("node " + std::to_string(node.id) + " is its own ancestor (a cycle)");
        const bool transform = node.kind == VoxelNodeKind::Transform;
        if (r.state == 0) {
            if (above + (transform ? 1 : 0) > kVoxSceneMaxDepth) {
                return Fail("the scene graph nests deeper than " + std::to_string(kVoxSceneMaxDepth) + " transforms");
            }
            r.state = 1;
            int32_t height = 0;
            // Every node counts, not only shapes: composing walks them all.
            int64_t placements = 1, voxels = 0;
            for (const VoxelShapeKey& key : node.shapeKeys) {
                voxels = std::max<int64_t>(
                    voxels,
                    static_cast<int64_t>(VoxelSceneModelVoxelCount(scene.models[static_cast<size_t>(key.model)])));
            }
            for (int32_t child : node.children) {
                if (!Visit(child, above + (transform ? 1 : 0), reach)) return false;
                const Reach& c = reach[static_cast<size_t>(child)];
                height = std::max(height, c.height);
                placements = std::min(placements + c.placements, kVoxSceneMaxPlacements + 1);
                voxels = std::min(voxels + c.voxels, kVoxSceneMaxVoxels + 1);
            }
            r = {2, height + (transform ? 1 : 0), placements, voxels};  // reach never grows: r holds
            return true;
        }
        if (above + r.height > kVoxSceneMaxDepth) {
            return Fail("the scene graph nests deeper than " + std::to_string(kVoxSceneMaxDepth) + " transforms");
        }
        return true;
    }

    bool Expansion() {
        std::vector<Reach> reach(scene.nodes.size());
        if (!Visit(scene.root, 0, reach)) return false;
        const Reach& r = reach[static_cast<size_t>(scene.root)];
        if (r.placements > kVoxSceneMaxPlacements) {
            return Fail("the scene graph expands to more than " + std::to_string(kVoxSceneMaxPlacements) +
                        " node placements");
        }
        if (r.voxels > kVoxSceneMaxVoxels) {
            return Fail("the scene expands to more than " + std::to_string(kVoxSceneMaxVoxels) + " voxels");
        }
        return true;
    }

    // Poly2Vox: one model in the editor's axes. The walk-frame reader turns
    // file cell (i, j, l) into (l, j, X - i) and then mirrors y and z, as it
    // does a MagicaVoxel model; undoing that mirror, (l, Y - 1 - j, i), gives
    // the editor's axes, z up.
    bool Poly2Vox(const uint8_t* data, size_t length) {
        // Sizes of at least 1, then exactly the bytes they imply: the cells
        // and a 768-byte palette. Anything else is not taken for one.
        const Poly2VoxLayout layout = ReadPoly2VoxLayout(data, length);
        const std::string neither = "neither a MagicaVoxel file nor a Poly2Vox file: ";
        if (length < 12) return Fail(neither + std::to_string(length) + " bytes are too few for either");
        const std::string sizes = "Poly2Vox sizes " + std::to_string(layout.sizeX) + " " +
                                  std::to_string(layout.sizeY) + " " + std::to_string(layout.sizeZ);
        if (layout.sizeX < 1 || layout.sizeY < 1 || layout.sizeZ < 1) {
            return Fail(neither + sizes + " are not at least 1 each");
        }
        uint64_t cells = 0, need = 0;
        const bool huge =
            __builtin_mul_overflow(uint64_t(layout.sizeX) * uint64_t(layout.sizeY), uint64_t(layout.sizeZ), &cells) ||
            __builtin_add_overflow(cells, uint64_t{12 + 768}, &need);
        if (huge || need != length || !layout.haveCells) {
            return Fail(neither + sizes + " need " + (huge ? "more than 2^64" : std::to_string(need)) +
                        " bytes, the file has " + std::to_string(length));
        }
        scene.poly2vox = true;

        VoxelSceneModel model;
        model.sizeX = layout.sizeZ;
        model.sizeY = layout.sizeY;
        model.sizeZ = layout.sizeX;
        model.wide = ReadPoly2VoxCells(data, layout);
        if (model.wide.size() > static_cast<uint64_t>(kVoxSceneMaxVoxels)) {
            return Fail("model holds more than " + std::to_string(kVoxSceneMaxVoxels) + " voxels");
        }
        for (size_t n = 0; n < model.wide.size(); ++n) {
            Voxel& v = model.wide[n];
            v.y = layout.sizeY - 1 - v.y;
            v.z = layout.sizeX - v.z;
            if (n == 0) {
                model.minX = model.maxX = v.x, model.minY = model.maxY = v.y, model.minZ = model.maxZ = v.z;
            }
            model.minX = std::min(model.minX, v.x), model.maxX = std::max(model.maxX, v.x);
            model.minY = std::min(model.minY, v.y), model.maxY = std::max(model.maxY, v.y);
            model.minZ = std::min(model.minZ, v.z), model.maxZ = std::max(model.maxZ, v.z);
        }
        model.distinctCells = true;  // every cell of the file is read once
        scene.models.push_back(std::move(model));
        // The palette LoadVoxelModel gives a fresh model: zeros, then the file's entries.
        ReadPoly2VoxPalette(data, length, layout, scene.palette);
        return true;
    }
};

}  // namespace

bool LoadVoxelSceneFromMemory(const uint8_t* data, size_t length, const char* name, VoxelScene& scene,
                              std::string& error) {
    scene = VoxelScene{};
    error.clear();
    if (data == nullptr) length = 0;
    Reader reader{name != nullptr ? name : "(memory)", scene, error, {}, {}};
    bool ok;
    if (length >= 4 && std::memcmp(data, "VOX ", 4) == 0) {
        ReadInt32(data, length, 4, scene.version);
        if (length < 8) {
            ok = reader.Fail("header cut by the end of the file");
        } else {
            ok = reader.Chunks(data, length) && (scene.nodes.empty() || reader.Resolve()) && reader.ModelsFound();
        }
    } else {
        ok = reader.Poly2Vox(data, length);
    }
    if (!ok) {
        scene = VoxelScene{};
        return false;
    }
    if (scene.nodes.empty()) scene.frameCount = std::max<int32_t>(1, static_cast<int32_t>(scene.models.size()));
    return true;
}

bool LoadVoxelScene(const char* path, VoxelScene& scene, std::string& error) {
    std::vector<uint8_t> bytes;
    const char* name = path != nullptr ? path : "(no file)";
    std::string reason;
    if (!ReadWholeFile(path, bytes, reason)) {
        scene = VoxelScene{};
        error = std::string(name) + ": " + reason;
        return false;
    }
    return LoadVoxelSceneFromMemory(bytes.data(), bytes.size(), name, scene, error);
}

const char* VoxelMaterialTypeName(VoxelMaterialType type) {
    const size_t t = static_cast<size_t>(type);
    return t < std::size(kMaterialTypeNames) ? kMaterialTypeNames[t] : "diffuse";
}

const char* VoxelMaterialPropertyName(VoxelMaterialProperty property) {
    const size_t p = static_cast<size_t>(property);
    return p < kVoxelMaterialPropertyCount ? kPropertyRules[p].key : "";
}

int32_t VoxelSceneFrameCount(const VoxelScene& scene) { return std::max<int32_t>(1, scene.frameCount); }

namespace {

// The material's value of `property`, or `otherwise` when the file leaves it out.
float ValueOr(const VoxelMaterial& m, VoxelMaterialProperty property, float otherwise) {
    return VoxelMaterialHas(m, property) ? m.values[static_cast<size_t>(property)] : otherwise;
}

}  // namespace

VoxelLook LookOfMaterial(const VoxelMaterial& m) {
    using P = VoxelMaterialProperty;
    VoxelLook look;
    switch (m.type) {
        case VoxelMaterialType::Emit:
            look.surface = VoxelSurface::Emissive;
            look.emission = ValueOr(m, P::Emit, 1.0f) * std::exp2(ValueOr(m, P::Flux, 0.0f));
            break;
        case VoxelMaterialType::Glass:
        case VoxelMaterialType::Blend: {
            look.surface = VoxelSurface::Translucent;
            const float transparency = ValueOr(m, P::Transparency, ValueOr(m, P::Weight, 0.5f));
            look.opacity = 1.0f - std::min(transparency, 0.9f);
            look.rough = ValueOr(m, P::Rough, 0.1f);
            // The editor writes `_ior` as the index less 1 ("0.3"), older files the index itself.
            const float ior = ValueOr(m, P::Ior, 1.5f);
            look.ior = ior < 1.0f ? 1.0f + ior : ior;
            break;
        }
        case VoxelMaterialType::Media:
        case VoxelMaterialType::Cloud:
            look.surface = VoxelSurface::Translucent;
            look.opacity = std::clamp(ValueOr(m, P::Density, 0.5f), 0.1f, 1.0f);
            look.ior = 1.0f;
            break;
        case VoxelMaterialType::Metal:
            look.surface = VoxelSurface::Metal;
            look.metal = ValueOr(m, P::Metal, ValueOr(m, P::Weight, 1.0f));
            look.rough = ValueOr(m, P::Rough, 0.1f);
            break;
        case VoxelMaterialType::Diffuse: break;
    }
    return look;
}

std::vector<VoxelLook> SceneLooks(const VoxelScene& scene) {
    std::vector<VoxelLook> looks;
    for (const VoxelMaterial& m : scene.materials) {
        const VoxelLook look = LookOfMaterial(m);
        if (look == VoxelLook{} || m.id < 1 || m.id > 256) continue;
        looks.resize(256);
        looks[static_cast<size_t>(m.id - 1)] = look;
    }
    return looks;
}
