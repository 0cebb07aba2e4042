#include "tools/Monument.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "voxel/VoxWrite.h"

namespace {

// Palette indices (1-based) and their colours, R G B.
enum Colour : uint8_t { Stone = 1, StoneDark, Band, Frieze, Pilaster, Door, Gold, ColourCount };
constexpr uint8_t kPalette[ColourCount][3] = {
    {0, 0, 0},        // unused: index 0 is an empty cell
    {196, 186, 164},  // Stone
    {150, 142, 124},  // StoneDark
    {172, 120, 84},   // Band
    {88, 112, 150},   // Frieze
    {220, 212, 190},  // Pilaster
    {60, 48, 40},     // Door
    {230, 184, 60},   // Gold
};
constexpr uint8_t kGrey[3] = {128, 128, 128};

constexpr int32_t kPlinthTop = 16;   // plinth layers 0..15
constexpr int32_t kTierLayers = 10;  // six tiers above it
constexpr int32_t kTierHalves[6] = {60, 54, 48, 42, 36, 30};
constexpr int32_t kObeliskBase = kPlinthTop + 6 * kTierLayers;  // 76

// Half the side of the solid square at height z, 0 above the top.
int32_t HalfSide(int32_t z) {
    if (z < kPlinthTop) return monumentWidth / 2;
    if (z < kObeliskBase) return kTierHalves[(z - kPlinthTop) / kTierLayers];
    if (z < monumentHeight) return 9 - 6 * (z - kObeliskBase) / (monumentHeight - kObeliskBase);
    return 0;
}

// One stone in eight a shade darker, scattered by a fixed hash of the cell,
// so the faces are not one flat colour and merging meets a real surface.
uint8_t Weathered(int32_t x, int32_t y, int32_t z, uint8_t colour) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(z) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    if (h % 8 != 0) return colour;
    return colour == Stone ? StoneDark : Stone;
}

// Colour of the cell at (x, y, z), or 0 where the monument is hollow: a
// doorway through the plinth's middle on each side.
uint8_t CellColour(int32_t x, int32_t y, int32_t z, int32_t half) {
    const int32_t centre = monumentWidth / 2;
    const int32_t dx = x < centre ? centre - 1 - x : x - centre;  // 0 at the middle
    const int32_t dy = y < centre ? centre - 1 - y : y - centre;
    const int32_t edge = half - 1 - std::max(dx, dy);  // 0 on the outer ring
    if (z < kPlinthTop) {
        if (z < 10 && std::min(dx, dy) < 6 && edge < 8) return 0;
        if (z < 11 && std::min(dx, dy) < 7 && edge < 8) return Door;
        return Weathered(x, y, z, (z / 4) % 2 == 0 ? Stone : StoneDark);
    }
    if (z >= monumentHeight - 6) return Gold;
    if (z >= kObeliskBase) return Weathered(x, y, z, Stone);
    const int32_t layer = (z - kPlinthTop) % kTierLayers;
    if (layer == kTierLayers - 1) return Frieze;
    if (layer == 0) return Band;
    // Pilasters every 6 cells along the outer ring.
    if (edge == 0 && (std::min(dx, dy) % 6) == 0) return Pilaster;
    return Weathered(x, y, z, Stone);
}

VoxelCell Cell(int x, int y, int z, int colour) { return {uint8_t(x), uint8_t(y), uint8_t(z), uint8_t(colour)}; }

// A palette entry of a model's own, beyond the monument's.
struct Paint {
    uint8_t index;
    uint8_t rgb[3];
};

// A file of one model with the monument's palette, `paints` over it, and
// the materials given.
std::vector<uint8_t> OneModelFile(int32_t sx, int32_t sy, int32_t sz, std::vector<VoxelCell> cells,
                                  const std::vector<Paint>& paints = {},
                                  const std::vector<VoxelMaterial>& materials = {}) {
    VoxelScene scene;
    scene.models.emplace_back();
    VoxelSceneModel& model = scene.models.back();
    model.sizeX = sx, model.sizeY = sy, model.sizeZ = sz;
    model.cells = std::move(cells);
    // Entry k of the palette is colour index k; unused ones a neutral grey.
    for (int k = 1; k <= 256; ++k) {
        const uint8_t* rgb = k < ColourCount ? kPalette[k] : kGrey;
        scene.palette[size_t(k - 1)] = voxwrite::PaletteEntry(rgb[0], rgb[1], rgb[2]);
    }
    for (const Paint& p : paints) scene.palette[p.index - 1u] = voxwrite::PaletteEntry(p.rgb[0], p.rgb[1], p.rgb[2]);
    scene.materials = materials;
    std::vector<uint8_t> bytes;
    std::string error;
    EncodeVoxelScene(scene, bytes, error);  // cannot fail: one model of the editor's size
    return bytes;
}

// A material of `type` for colour index `id` with the values given.
VoxelMaterial Material(int32_t id, VoxelMaterialType type,
                       std::initializer_list<std::pair<VoxelMaterialProperty, float>> values) {
    VoxelMaterial m;
    m.id = id;
    m.type = type;
    for (const auto& [property, value] : values) {
        m.values[static_cast<size_t>(property)] = value;
        m.set |= 1u << static_cast<unsigned>(property);
    }
    return m;
}

}  // namespace

std::vector<uint8_t> LighthouseVoxFile() {
    enum : uint8_t { Rock = 8, White, Red, Wood, Glass, Lamp, Steel };
    constexpr int32_t kSide = 24, kHeight = 45;
    const std::vector<Paint> paints = {{Rock, {112, 106, 96}}, {White, {226, 221, 206}}, {Red, {178, 58, 48}},
                                       {Wood, {92, 62, 40}},   {Glass, {160, 205, 230}}, {Lamp, {230, 170, 70}},
                                       {Steel, {96, 102, 112}}};
    using P = VoxelMaterialProperty;
    const std::vector<VoxelMaterial> materials = {
        Material(Glass, VoxelMaterialType::Glass, {{P::Transparency, 0.55f}, {P::Rough, 0.05f}, {P::Ior, 0.5f}}),
        Material(Lamp, VoxelMaterialType::Emit, {{P::Emit, 0.8f}, {P::Flux, 1.0f}}),
        Material(Steel, VoxelMaterialType::Metal, {{P::Metal, 0.9f}, {P::Rough, 0.45f}}),
    };
    std::vector<VoxelCell> cells;
    const double centre = (kSide - 1) / 2.0;
    for (int32_t z = 0; z < kHeight; ++z) {
        for (int32_t y = 0; y < kSide; ++y) {
            for (int32_t x = 0; x < kSide; ++x) {
                const double d = std::hypot(x - centre, y - centre);
                // Windows on all four sides, the door on +x (which the front view faces).
                const bool front = std::abs(x - centre) < 1;
                const bool side = std::abs(y - centre) < 1;
                const double wall = 7.0 - 1.5 * (z - 3) / 26.0;  // the tower's outer radius
                uint8_t colour = 0;
                if (z < 3) {
                    if (d <= 11.0) colour = Weathered(x, y, z, Stone) == Stone ? uint8_t{Rock} : uint8_t{StoneDark};
                } else if (z < 30) {
                    if (d <= wall && (d > wall - 1.6 || z == 3)) colour = ((z - 3) / 5) % 2 == 0 ? White : Red;
                    if (colour != 0 && side && x > centre && z > 3 && z < 8) colour = Wood;
                    if (colour != 0 && (front || side) && ((z >= 12 && z < 15) || (z >= 20 && z < 23))) colour = Glass;
                } else if (z == 30) {
                    if (d <= 8.0) colour = Steel;
                } else if (z < 38) {
                    if (d > 7.0 && d <= 8.0 && (z == 32 || (z == 31 && (x + y) % 3 == 0))) colour = Steel;
                    if (d > 3.5 && d <= 4.5) colour = Glass;
                    if (d < 1.0 && z > 31 && z < 36) colour = Lamp;
                    if (d < 1.0 && z == 31) colour = Steel;
                } else if (z < 42) {
                    if (d <= 5.0 - 1.3 * (z - 38)) colour = Steel;
                } else if (d < 1.0) {
                    colour = Steel;
                }
                if (colour != 0) cells.push_back(Cell(x, y, z, colour));
            }
        }
    }
    return OneModelFile(kSide, kSide, kHeight, std::move(cells), paints, materials);
}

std::vector<uint8_t> MonumentVoxFile() {
    VoxelSceneModel model;
    model.sizeX = model.sizeY = monumentWidth;
    model.sizeZ = monumentHeight;
    const int32_t centre = monumentWidth / 2;
    for (int32_t z = 0; z < monumentHeight; ++z) {
        const int32_t half = HalfSide(z);
        for (int32_t y = centre - half; y < centre + half; ++y) {
            for (int32_t x = centre - half; x < centre + half; ++x) {
                const uint8_t colour = CellColour(x, y, z, half);
                if (colour != 0) model.cells.push_back({uint8_t(x), uint8_t(y), uint8_t(z), colour});
            }
        }
    }
    return OneModelFile(model.sizeX, model.sizeY, model.sizeZ, std::move(model.cells));
}

std::vector<uint8_t> CheckerboardVoxFile(int32_t side) {
    std::vector<VoxelCell> cells;
    for (int32_t z = 0; z < side; ++z) {
        for (int32_t y = 0; y < side; ++y) {
            for (int32_t x = (y + z) % 2; x < side; x += 2) cells.push_back(Cell(x, y, z, 1 + x % 7));
        }
    }
    return OneModelFile(side, side, side, std::move(cells));
}

std::vector<uint8_t> TestModelVoxFile(const std::string& name) {
    if (name == "monument") return MonumentVoxFile();
    if (name == "lighthouse") return LighthouseVoxFile();
    if (name.rfind("checkerboard-", 0) == 0) {
        const int side = std::atoi(name.c_str() + 13);
        return side >= 1 && side <= 256 ? CheckerboardVoxFile(side) : std::vector<uint8_t>();
    }
    std::vector<VoxelCell> cells;
    const auto box = [&](int x0, int y0, int z0, int sx, int sy, int sz, int colour) {
        for (int z = z0; z < z0 + sz; ++z)
            for (int y = y0; y < y0 + sy; ++y)
                for (int x = x0; x < x0 + sx; ++x) cells.push_back(Cell(x, y, z, colour));
    };
    if (name == "single-voxel") {
        box(0, 0, 0, 1, 1, 1, 1);
        return OneModelFile(1, 1, 1, cells);
    }
    if (name == "l-shape") {
        box(0, 0, 0, 8, 2, 2, 1);
        box(0, 2, 0, 2, 6, 2, 2);
        return OneModelFile(8, 8, 2, cells);
    }
    if (name == "hollow-box") {  // a 12-cube's shell
        box(0, 0, 0, 12, 12, 12, 3);
        std::erase_if(cells, [](const VoxelCell& c) {
            return c.x > 0 && c.x < 11 && c.y > 0 && c.y < 11 && c.z > 0 && c.z < 11;
        });
        return OneModelFile(12, 12, 12, cells);
    }
    if (name == "plate-with-pillars") {
        box(0, 0, 0, 24, 24, 1, 1);
        for (int x = 0; x < 24; x += 2) box(x, 0, 1, 1, 1, 1 + x % 3, 2 + x % 4);
        return OneModelFile(24, 24, 4, cells);
    }
    if (name == "blob") {
        // Grown from the middle of a 40-cube: each new cell a step from one already taken.
        uint32_t seed = 7;
        const auto next = [&seed](uint32_t range) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % range;
        };
        std::vector<uint8_t> taken(40 * 40 * 40, 0);
        std::vector<VoxelCell> grown = {Cell(20, 20, 20, 1)};
        taken[(20 * 40 + 20) * 40 + 20] = 1;
        while (grown.size() < 3000) {
            VoxelCell c = grown[next(static_cast<uint32_t>(grown.size()))];
            uint8_t* axis[3] = {&c.x, &c.y, &c.z};
            uint8_t& v = *axis[next(3)];
            v = static_cast<uint8_t>(std::clamp(int(v) + (next(2) ? 1 : -1), 0, 39));
            uint8_t& mark = taken[(c.z * 40 + c.y) * 40 + c.x];
            if (mark) continue;
            mark = 1;
            c.colorIndex = static_cast<uint8_t>(1 + next(5));
            grown.push_back(c);
        }
        return OneModelFile(40, 40, 40, grown);
    }
    return {};
}
