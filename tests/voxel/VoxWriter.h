// A tiny .vox writer for tests: chunks, models, palettes and whole files
// built in memory, with any sizes a test wants to lie about.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace voxwrite {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes Int32s(std::initializer_list<int32_t> values) {
    Bytes out;
    for (int32_t v : values) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
    return out;
}

inline Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

inline Bytes Chunk(const char* id, const Bytes& content, const Bytes& children = {}) {
    Bytes out = Text(id);
    Append(out, Int32s({static_cast<int32_t>(content.size()), static_cast<int32_t>(children.size())}));
    Append(out, content);
    Append(out, children);
    return out;
}

inline Bytes Header(const char* id, int32_t contentSize, int32_t childrenSize) {
    Bytes out = Text(id);
    Append(out, Int32s({contentSize, childrenSize}));
    return out;
}

inline Bytes Size(int32_t x, int32_t y, int32_t z) { return Chunk("SIZE", Int32s({x, y, z})); }

struct Cell { uint8_t x, y, z, c; };

inline Bytes XyziContent(int32_t count, std::initializer_list<Cell> cells) {
    Bytes out = Int32s({count});
    for (const Cell& v : cells) out.insert(out.end(), {v.x, v.y, v.z, v.c});
    return out;
}

inline Bytes Xyzi(std::initializer_list<Cell> cells) {
    return Chunk("XYZI", XyziContent(static_cast<int32_t>(cells.size()), cells));
}

// Entry k (from 0) is the bytes k, 255 - k, k ^ 0x55, 200.
inline Bytes Rgba() {
    Bytes out;
    for (int k = 0; k < 256; ++k) {
        out.insert(out.end(), {static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k),
                               static_cast<uint8_t>(k ^ 0x55), 200});
    }
    return Chunk("RGBA", out);
}

inline Bytes VoxFile(const Bytes& mainChildren, int32_t version = 150) {
    Bytes out = Text("VOX ");
    Append(out, Int32s({version}));
    Append(out, Chunk("MAIN", {}, mainChildren));
    return out;
}

template <typename... Parts>
inline Bytes Join(const Parts&... parts) {
    Bytes out;
    (Append(out, parts), ...);
    return out;
}

// Scene graph pieces. STRING: a byte count, then the bytes.
inline Bytes String(const std::string& text) {
    Bytes out = Int32s({static_cast<int32_t>(text.size())});
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

using Pairs = std::initializer_list<std::pair<std::string, std::string>>;

// DICT: a pair count, then key and value strings.
inline Bytes Dict(Pairs pairs) {
    Bytes out = Int32s({static_cast<int32_t>(pairs.size())});
    for (const auto& [key, value] : pairs) Append(out, Join(String(key), String(value)));
    return out;
}

// nTRN with one DICT per keyframe (`_r`, `_t`, `_f`).
inline Bytes Trn(int32_t id, Pairs attributes, int32_t child, int32_t layer,
                 std::initializer_list<Bytes> frames = {Dict({})}) {
    Bytes content = Join(Int32s({id}), Dict(attributes),
                         Int32s({child, -1, layer, static_cast<int32_t>(frames.size())}));
    for (const Bytes& frame : frames) Append(content, frame);
    return Chunk("nTRN", content);
}

inline Bytes Grp(int32_t id, Pairs attributes, std::initializer_list<int32_t> children) {
    Bytes content = Join(Int32s({id}), Dict(attributes), Int32s({static_cast<int32_t>(children.size())}));
    Append(content, Int32s(children));
    return Chunk("nGRP", content);
}

// nSHP: (model id, DICT with `_f`) per entry.
inline Bytes Shp(int32_t id, Pairs attributes, std::initializer_list<std::pair<int32_t, Bytes>> models) {
    Bytes content = Join(Int32s({id}), Dict(attributes), Int32s({static_cast<int32_t>(models.size())}));
    for (const auto& [model, dict] : models) Append(content, Join(Int32s({model}), dict));
    return Chunk("nSHP", content);
}

// nSHP showing one model for the whole animation.
inline Bytes Shp(int32_t id, int32_t model) { return Shp(id, {}, {{model, Dict({})}}); }

inline Bytes Layr(int32_t id, Pairs attributes) {
    return Chunk("LAYR", Join(Int32s({id}), Dict(attributes), Int32s({-1})));
}

inline Bytes Pack(int32_t models) { return Chunk("PACK", Int32s({models})); }

}  // namespace voxwrite
