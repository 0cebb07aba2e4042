// A tiny .vox writer for tests: chunks, models, palettes and whole files
// built in memory, with any sizes a test wants to lie about.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace voxwrite {

using Bytes = std::vector<uint8_t>;
struct Cell { uint8_t x, y, z, c; };

template <typename... Parts>
inline Bytes Join(const Parts&... parts) {
    Bytes out;
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}
inline void Append(Bytes& out, const Bytes& more) { out = Join(out, more); }

inline Bytes Int32s(std::initializer_list<int32_t> values) {
    Bytes out;
    for (int32_t v : values) out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    return out;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Header(const char* id, int32_t size, int32_t children) { return Join(Text(id), Int32s({size, children})); }
inline Bytes Chunk(const char* id, const Bytes& content, const Bytes& children = {}) {
    return Join(Header(id, int32_t(content.size()), int32_t(children.size())), content, children);
}
inline Bytes Size(int32_t x, int32_t y, int32_t z) { return Chunk("SIZE", Int32s({x, y, z})); }
inline Bytes VoxFile(const Bytes& mainChildren, int32_t version = 150) {
    return Join(Text("VOX "), Int32s({version}), Chunk("MAIN", {}, mainChildren));
}

// XYZI: a voxel count (the true one unless given), then the cells.
inline Bytes Xyzi(std::initializer_list<Cell> cells, std::optional<int32_t> count = {}) {
    Bytes out = Int32s({count.value_or(int32_t(cells.size()))});
    for (const Cell& v : cells) out.insert(out.end(), {v.x, v.y, v.z, v.c});
    return Chunk("XYZI", out);
}

// Entry k (from 0) is the bytes k, 255 - k, k ^ 0x55, 200.
inline Bytes Rgba() {
    Bytes out;
    for (int k = 0; k < 256; ++k) out.insert(out.end(), {uint8_t(k), uint8_t(255 - k), uint8_t(k ^ 0x55), 200});
    return Chunk("RGBA", out);
}

// Scene graph pieces. DICT: a pair count, then key and value strings, each a
// byte count and the bytes.
using Pairs = std::initializer_list<std::pair<std::string, std::string>>;
inline Bytes String(const std::string& s) { return Join(Int32s({int32_t(s.size())}), Text(s)); }
inline Bytes Dict(Pairs pairs) {
    Bytes out = Int32s({int32_t(pairs.size())});
    for (const auto& [key, value] : pairs) Append(out, Join(String(key), String(value)));
    return out;
}

// A node (or LAYR): its id, its attributes, then the rest of its content.
inline Bytes Node(const char* id, int32_t node, Pairs attributes, const Bytes& rest) {
    return Chunk(id, Join(Int32s({node}), Dict(attributes), rest));
}

// nTRN with one DICT per keyframe (`_r`, `_t`, `_f`).
inline Bytes Trn(int32_t id, Pairs attributes, int32_t child, int32_t layer,
                 std::initializer_list<Bytes> frames = {Dict({})}) {
    Bytes rest = Int32s({child, -1, layer, int32_t(frames.size())});
    for (const Bytes& frame : frames) Append(rest, frame);
    return Node("nTRN", id, attributes, rest);
}

inline Bytes Grp(int32_t id, Pairs attributes, std::initializer_list<int32_t> children) {
    return Node("nGRP", id, attributes, Join(Int32s({int32_t(children.size())}), Int32s(children)));
}

// nSHP: (model id, DICT with `_f`) per entry; or one model for the whole animation.
inline Bytes Shp(int32_t id, Pairs attributes, std::initializer_list<std::pair<int32_t, Bytes>> models) {
    Bytes rest = Int32s({int32_t(models.size())});
    for (const auto& [model, dict] : models) Append(rest, Join(Int32s({model}), dict));
    return Node("nSHP", id, attributes, rest);
}
inline Bytes Shp(int32_t id, int32_t model) { return Shp(id, {}, {{model, Dict({})}}); }

}  // namespace voxwrite
