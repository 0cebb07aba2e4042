// The .vox writer, in two layers.
//
// Byte builders (namespace voxwrite, header only): numbers, strings, DICTs,
// chunks with content and children, and the chunks of a MagicaVoxel file
// (SIZE, XYZI, RGBA, nTRN, nGRP, nSHP, LAYR, MATL, MATT, PACK) as values that
// are joined into a file. They write whatever they are given, so tests can
// also craft files that lie about their sizes or counts.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "voxel/VoxScene.h"

namespace voxwrite {

using Bytes = std::vector<uint8_t>;
using Cell = VoxelCell;  // x, y, z, colour index: XYZI's four bytes
using Pairs = std::vector<std::pair<std::string, std::string>>;

template <typename... Parts>
inline Bytes Join(const Parts&... parts) {
    Bytes out;
    out.reserve((size_t{0} + ... + parts.size()));
    (out.insert(out.end(), parts.begin(), parts.end()), ...);
    return out;
}
inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// Little-endian 32-bit numbers, and float32s by their bits.
inline Bytes Int32s(std::initializer_list<int32_t> values) {
    Bytes out;
    for (int32_t v : values) {
        out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    return out;
}
inline Bytes Float32s(std::initializer_list<float> values) {
    Bytes out;
    for (float f : values) {
        int32_t bits;
        std::memcpy(&bits, &f, 4);
        Append(out, Int32s({bits}));
    }
    return out;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
// STRING: a byte count, then the bytes.
inline Bytes String(const std::string& s) { return Join(Int32s({int32_t(s.size())}), Text(s)); }
// DICT: a pair count, then key and value strings.
inline Bytes Dict(const Pairs& pairs) {
    Bytes out = Int32s({int32_t(pairs.size())});
    for (const auto& [key, value] : pairs) Append(out, Join(String(key), String(value)));
    return out;
}

// A chunk header with any sizes, and a chunk whose sizes are those of its parts.
inline Bytes Header(const char* id, int32_t size, int32_t children) { return Join(Text(id), Int32s({size, children})); }
inline Bytes Chunk(const char* id, const Bytes& content, const Bytes& children = {}) {
    return Join(Header(id, int32_t(content.size()), int32_t(children.size())), content, children);
}
// "VOX ", the version, and MAIN holding `mainChildren`.
inline Bytes VoxFile(const Bytes& mainChildren, int32_t version = 150) {
    return Join(Text("VOX "), Int32s({version}), Chunk("MAIN", {}, mainChildren));
}

inline Bytes Pack(int32_t models) { return Chunk("PACK", Int32s({models})); }
inline Bytes Size(int32_t x, int32_t y, int32_t z) { return Chunk("SIZE", Int32s({x, y, z})); }

// XYZI: a voxel count (the true one unless given), then the cells.
inline Bytes Xyzi(const std::vector<Cell>& cells, std::optional<int32_t> count = {}) {
    Bytes out = Int32s({count.value_or(int32_t(cells.size()))});
    const size_t start = out.size();
    out.resize(start + 4 * cells.size());
    if (!cells.empty()) std::memcpy(out.data() + start, cells.data(), 4 * cells.size());
    return Chunk("XYZI", out);
}

// A palette entry from its bytes (memory order R, G, B, A).
inline uint32_t PaletteEntry(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    const uint8_t bytes[4] = {r, g, b, a};
    uint32_t entry;
    std::memcpy(&entry, bytes, 4);
    return entry;
}

// RGBA: entry k (from 0) is the colour of index k + 1, palette[k] in memory order R, G, B, A.
inline Bytes Rgba(const std::array<uint32_t, 256>& palette) {
    Bytes out(1024);
    std::memcpy(out.data(), palette.data(), 1024);
    return Chunk("RGBA", out);
}

// A node (or LAYR): its id, its attributes, then the rest of its content.
inline Bytes Node(const char* id, int32_t node, const Pairs& attributes, const Bytes& rest) {
    return Chunk(id, Join(Int32s({node}), Dict(attributes), rest));
}

// nTRN with one DICT per keyframe (`_r`, `_t`, `_f`); the reserved field is -1.
inline Bytes Trn(int32_t id, const Pairs& attributes, int32_t child, int32_t layer,
                 const std::vector<Bytes>& frames = {Dict({})}) {
    Bytes rest = Int32s({child, -1, layer, int32_t(frames.size())});
    for (const Bytes& frame : frames) Append(rest, frame);
    return Node("nTRN", id, attributes, rest);
}

inline Bytes Grp(int32_t id, const Pairs& attributes, const std::vector<int32_t>& children) {
    Bytes rest = Int32s({int32_t(children.size())});
    for (int32_t child : children) Append(rest, Int32s({child}));
    return Node("nGRP", id, attributes, rest);
}

// nSHP: (model id, DICT with `_f`) per entry; or one model for the whole animation.
inline Bytes Shp(int32_t id, const Pairs& attributes, const std::vector<std::pair<int32_t, Bytes>>& models) {
    Bytes rest = Int32s({int32_t(models.size())});
    for (const auto& [model, dict] : models) Append(rest, Join(Int32s({model}), dict));
    return Node("nSHP", id, attributes, rest);
}
inline Bytes Shp(int32_t id, int32_t model) { return Shp(id, {}, {{model, Dict({})}}); }

// LAYR: id, attributes (`_name`, `_hidden`), reserved -1.
inline Bytes Layr(int32_t id, const Pairs& attributes) { return Node("LAYR", id, attributes, Int32s({-1})); }

// MATL: palette entry and properties (`_type`, `_rough`, ...).
inline Bytes Matl(int32_t id, const Pairs& properties) { return Chunk("MATL", Join(Int32s({id}), Dict(properties))); }

// MATT (older editors): entry, type 0..3, weight, property bits, then one float per value bit.
inline Bytes Matt(int32_t id, int32_t type, float weight, int32_t bits, std::initializer_list<float> values) {
    return Chunk("MATT", Join(Int32s({id, type}), Float32s({weight}), Int32s({bits}), Float32s(values)));
}

}  // namespace voxwrite

// Writes `scene` as a MagicaVoxel file into `bytes`: PACK (several models and
// no graph), every model as SIZE and XYZI, the scene graph with every key,
// layers, the palette as RGBA and the materials as MATL, with the scene's own
// version (at least 200 when a key needs `_f`; 150 or 200 for a Poly2Vox
// scene). It reads back to the same models, palette, graph,
// layers and materials, so every frame composes to the same voxels in the
// same order. A model beyond the editor's 256 cells per axis, or whose
// voxels (Poly2Vox's `wide` records) lie outside 0..255, is written as bricks
// of at most 256 per axis, each under a transform of its own: every frame
// then holds the same voxels, bricks in turn. Returns false with `error`
// (one line) when the file would not read back, e.g. a colour index above
// 255, or bricks nesting one transform deeper than the reader allows.
bool EncodeVoxelScene(const VoxelScene& scene, std::vector<uint8_t>& bytes, std::string& error);

// Writes composed frames (editor coordinates, as ComposeFrame gives them) as
// one animated MagicaVoxel file: one shape per brick of the frames' common
// box, with a model per frame. Frame f of the file composes to the voxels of
// frames[f], in brick order. Frames with different palettes share one made
// of the colours their voxels use (the colour indices change, the colours
// do not). Returns false with `error` when there are no frames, the frames
// use more than 255 colours, or the file would not read back.
bool EncodeVoxelFrames(const std::vector<VoxelModel>& frames, std::vector<uint8_t>& bytes, std::string& error);
