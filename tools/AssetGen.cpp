// voxwalk-assetgen: writes the viewer's asset tree from code.
//
//   voxwalk-assetgen OUTPUT_ROOT [FONT_FILE]
//
// Under OUTPUT_ROOT it writes
//   assets/voxels/ZevezuRezov/Walk/walk_00001.vox .. walk_00030.vox
//   assets/textures/grass.png
//   assets/textures/fonts/font1.png   (FONT_FILE, default DejaVu Sans Mono)
//   docs/walk-cycle.png               (side-view contact sheet of the cycle)
//   docs/font-sheet.png               (the font sheet on a dark background)
//
// The same bytes come out on every run: fixed seeds, no clock, a fixed zlib
// level and a fixed filter choice. tests/tools regenerates into a temporary
// folder and compares, so the committed files are never edited by hand.
// Exit status 0 on success, 1 with a message on standard error otherwise.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "png/PngWrite.h"
#include "voxel/VoxWrite.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Output helpers

// Writes a whole file, creating its folders. Returns false on any failure.
bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) return false;
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "voxwalk-assetgen: %s\n", message.c_str());
    std::exit(1);
}

// Deterministic generator (splitmix64): the same sequence on every machine.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
};

// The generated pictures: the project's PNG writer at its smallest.
std::vector<uint8_t> EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> file = PngEncode(pixels.data(), width, height, channels, PngCompression::Smallest);
    if (file.empty()) Fail("could not encode an image");
    return file;
}

// ---------------------------------------------------------------------------
// The walking character.
//
// Model space, in voxels: x forward (the way the viewer moves the walker),
// y to the character's left, z up. Voxels are sampled at (i, j + 0.5, k) so
// the body is symmetric about y = 0 with an even number of columns.

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }

// Unit vector hanging down from a joint, swung forward by `pitch` radians
// about the y axis and out sideways by `splay` radians (towards +y when the
// splay is positive).
Vec3 Hanging(double pitch, double splay = 0.0) {
    return {std::sin(pitch) * std::cos(splay), std::sin(splay), -std::cos(pitch) * std::cos(splay)};
}

// Distance from p to the segment a-b, and where along it (0..1) it is closest.
double SegmentDistance(Vec3 p, Vec3 a, Vec3 b, double* along = nullptr) {
    const Vec3 ab = b - a;
    const double t = std::clamp(Dot(p - a, ab) / Dot(ab, ab), 0.0, 1.0);
    if (along) *along = t;
    return Length(p - (a + ab * t));
}

// Inside test of an axis-aligned box of half extents `half` around the
// origin whose edges are rounded with `radius`.
bool InRoundBox(Vec3 p, Vec3 half, double radius) {
    const Vec3 q{std::fabs(p.x) - (half.x - radius), std::fabs(p.y) - (half.y - radius),
                 std::fabs(p.z) - (half.z - radius)};
    const Vec3 outside{std::max(q.x, 0.0), std::max(q.y, 0.0), std::max(q.z, 0.0)};
    const double inner = std::min(std::max(q.x, std::max(q.y, q.z)), 0.0);
    return Length(outside) + inner <= radius + 1e-9;
}

// Palette indices (1-based, as the .vox colour byte).
enum Colour : uint8_t {
    kEmpty = 0,
    kSkin = 1,
    kSkinShade,
    kHair,
    kEyeWhite,
    kPupil,
    kMouth,
    kShirt,
    kShirtTrim,
    kBelt,
    kBuckle,
    kTrousers,
    kShoe,
    kSole,
    kColourCount
};

// RGB of every palette entry in use; index 0 is unused.
constexpr std::array<std::array<uint8_t, 3>, kColourCount> kColours = {{
    {0, 0, 0},
    {236, 186, 150},  // skin
    {214, 152, 118},  // nose and ears, a shade darker
    {112, 62, 34},    // hair, chestnut
    {250, 250, 246},  // eye white
    {36, 58, 110},    // pupil, dark blue
    {176, 74, 72},    // mouth
    {206, 56, 48},    // shirt, red
    {245, 240, 226},  // shirt collar and band
    {58, 42, 32},     // belt
    {226, 188, 72},   // buckle
    {48, 68, 118},    // trousers, denim
    {52, 52, 60},     // shoes
    {232, 230, 222},  // soles
}};

// Body measurements, in voxels. The soles touch z = 0 in the neutral pose.
constexpr double kAnkleHeight = 4.5;
constexpr double kShinLength = 14.0;
constexpr double kThighLength = 14.5;
constexpr double kHipHeight = kAnkleHeight + kShinLength + kThighLength;  // 33
constexpr double kHipSide = 4.5;
constexpr double kShoulderSide = 10.5;
constexpr double kShoulderHeight = 52.5;
constexpr double kUpperArmLength = 10.5;
constexpr double kForearmLength = 8.5;

constexpr int kFrameCount = 30;

// Font sheet cells (see RenderFontSheet): 16 pixels, the glyph pen at
// column 1, and DejaVu Sans Mono's advance at the size used.
constexpr int kCell = 16;
constexpr int kPenX = 1;
constexpr int kGlyphAdvance = 8;

// Joint positions of one frame.
struct Rig {
    Vec3 hip[2], knee[2], ankle[2];
    double footPitch[2];
    Vec3 shoulder[2], elbow[2], wrist[2], handEnd[2];
};

// Pose at cycle phase `phase` (0..1, frame n has phase (n - 1) / 30). Every
// angle is a smooth periodic function of the phase, so the last frame leads
// into the first. Side 0 is the left (+y), side 1 the right, half a cycle on.
Rig PoseAt(double phase) {
    const double legSwing = 30.0 * kPi / 180.0;  // thigh, each way
    const double kneeBend = 58.0 * kPi / 180.0;  // at the peak of the swing
    const double armSwing = 26.0 * kPi / 180.0;
    const double armSplay = 5.0 * kPi / 180.0;
    Rig rig{};
    for (int side = 0; side < 2; ++side) {
        const double sign = side == 0 ? 1.0 : -1.0;
        const double a = 2.0 * kPi * phase + (side == 0 ? 0.0 : kPi);
        // Thigh forward of vertical; it moves forward (swing) while cos a > 0,
        // starting from its rearmost point at a = -pi/2 (toe-off).
        const double thigh = legSwing * std::sin(a);
        // The knee bends in a smooth bump that peaks early in the swing and
        // has faded by the time the foot lands, so the stance leg is straight.
        const double bump = 0.5 + 0.5 * std::cos(a + kPi / 8.0);
        const double knee = kneeBend * bump * bump * bump;
        const double shin = thigh - knee;
        rig.hip[side] = {0.0, sign * kHipSide, kHipHeight};
        rig.knee[side] = rig.hip[side] + Hanging(thigh) * kThighLength;
        rig.ankle[side] = rig.knee[side] + Hanging(shin) * kShinLength;
        // The foot follows the shin part of the way: heel first on landing,
        // toes last on leaving, nearly flat in between.
        rig.footPitch[side] = 0.55 * shin;

        // Arms swing against the leg of their side; the elbow bends more
        // when the arm is in front.
        const double arm = -armSwing * std::sin(a);
        const double elbow = (12.0 + 12.0 * (1.0 - std::sin(a))) * kPi / 180.0;
        rig.shoulder[side] = {0.0, sign * kShoulderSide, kShoulderHeight};
        rig.elbow[side] = rig.shoulder[side] + Hanging(arm, sign * armSplay) * kUpperArmLength;
        rig.wrist[side] = rig.elbow[side] + Hanging(arm + elbow, sign * armSplay) * kForearmLength;
        rig.handEnd[side] = rig.wrist[side] + Hanging(arm + elbow, sign * armSplay) * 2.5;
    }
    return rig;
}

// Head, in head-local coordinates u (integers in x and z, halves in y).
constexpr Vec3 kHeadCentre{0.0, 0.0, 64.0};
constexpr Vec3 kHeadHalf{7.5, 7.0, 7.5};

uint8_t FaceColour(Vec3 u) {
    const double ay = std::fabs(u.y);
    if (u.x < 6.5) return kSkin;                                 // only the front layer carries the face
    if (u.z >= 5.0) return kHair;                                // fringe
    if (u.z == 3.0 && ay >= 2.0 && ay <= 5.0) return kHair;      // brows
    if ((u.z == 0.0 || u.z == 1.0) && ay >= 2.0 && ay <= 4.0) {  // eyes
        return ay < 3.0 ? kPupil : kEyeWhite;
    }
    if (u.z == -4.0 && ay <= 2.0) return kMouth;
    if (u.z == -3.0 && ay == 2.5) return kMouth;  // smile corners
    return kSkin;
}

bool IsHair(Vec3 u) {
    const double ay = std::fabs(u.y);
    if (u.z >= 5.0) return true;                             // crown and fringe
    if (u.x <= -3.0 && u.z >= -5.0) return true;             // back, down to the nape
    if (ay >= 6.0 && u.z >= 1.0 && u.x <= 3.0) return true;  // sides over the temples
    return false;
}

// Colour of the body at point p, or kEmpty. Earlier tests win, so details
// are painted over the larger shapes they sit on.
uint8_t Paint(const Rig& rig, Vec3 p) {
    // Head, hair, ears and nose.
    const Vec3 u = p - kHeadCentre;
    if (std::fabs(u.y) == 7.5 && (u.x == -1.0 || u.x == 0.0) && u.z >= -2.0 && u.z <= 0.0) {
        return kSkinShade;  // ears
    }
    if (u.x == 8.0 && std::fabs(u.y) == 0.5 && u.z == -1.0) return kSkinShade;  // nose
    if (InRoundBox(u - Vec3{-0.5, 0.0, 0.5}, {8.0, 8.0, 8.0}, 3.0) && IsHair(u)) return kHair;
    if (InRoundBox(u, kHeadHalf, 2.5)) return FaceColour(u);
    if (SegmentDistance(p, {0.0, 0.0, 53.0}, {0.0, 0.0, 57.0}) <= 2.8) return kSkin;  // neck

    // Arms: short red sleeves, bare forearms, hands.
    for (int side = 0; side < 2; ++side) {
        double along = 0;
        if (SegmentDistance(p, rig.wrist[side], rig.handEnd[side]) <= 2.4) return kSkin;
        if (SegmentDistance(p, rig.shoulder[side], rig.elbow[side], &along) <= 2.7) {
            return along < 0.6 ? kShirt : kSkin;
        }
        if (SegmentDistance(p, rig.elbow[side], rig.wrist[side]) <= 2.3) return kSkin;
    }

    // Torso: red shirt widening to the shoulders, white collar and band.
    const Vec3 belt = p - Vec3{0.0, 0.0, 35.0};
    if (p.z >= 37.5 && p.z <= 39.5 && InRoundBox(belt, {5.5, 8.0, 4.5}, 1.5)) {
        return std::fabs(p.y) <= 1.5 && p.x >= 5.0 ? kBuckle : kBelt;
    }
    const double torsoWidth = 8.0 + std::clamp((p.z - 40.0) / 14.0, 0.0, 1.0);
    const Vec3 t = p - Vec3{0.0, 0.0, 47.0};
    if (InRoundBox(t, {5.5, torsoWidth, 7.5}, 2.5)) {
        if (p.z >= 54.0 && std::fabs(p.y) <= 4.0) return kShirtTrim;
        if (p.z >= 48.0 && p.z <= 49.0) return kShirtTrim;
        return kShirt;
    }
    if (InRoundBox(belt, {5.5, 8.0, 4.5}, 1.5)) return kTrousers;  // seat

    // Legs and shoes.
    for (int side = 0; side < 2; ++side) {
        if (SegmentDistance(p, rig.hip[side], rig.knee[side]) <= 3.6) return kTrousers;
        if (SegmentDistance(p, rig.knee[side], rig.ankle[side]) <= 3.2) return kTrousers;
        // Shoe in the foot's own frame: x along the foot, z up from the ankle.
        const Vec3 d = p - rig.ankle[side];
        const double c = std::cos(rig.footPitch[side]), s = std::sin(rig.footPitch[side]);
        // Pitch turns the toes up: undo it with the inverse rotation.
        const Vec3 q{c * d.x + s * d.z, d.y, -s * d.x + c * d.z};
        if (InRoundBox(q - Vec3{2.5, 0.0, -1.5}, {6.0, 3.0, 3.0}, 1.5)) {
            return q.z <= -3.5 ? kSole : kShoe;
        }
    }
    return kEmpty;
}

struct BodyCell {
    int x, y, z;
    uint8_t colour;
};

// Samples the body of one frame on the voxel lattice and keeps only its
// shell: every voxel is drawn as six faces, so a voxel with all six
// neighbours filled could never be seen.
std::vector<BodyCell> BuildFrame(const Rig& rig) {
    constexpr int x0 = -40, y0 = -20, z0 = -12;
    constexpr int nx = 80, ny = 40, nz = 100;
    std::vector<uint8_t> grid(static_cast<size_t>(nx) * ny * nz, kEmpty);
    auto at = [&](int i, int j, int k) -> uint8_t& { return grid[(static_cast<size_t>(k) * ny + j) * nx + i]; };
    for (int k = 0; k < nz; ++k) {
        for (int j = 0; j < ny; ++j) {
            for (int i = 0; i < nx; ++i) {
                at(i, j, k) = Paint(rig, {double(x0 + i), y0 + j + 0.5, double(z0 + k)});
            }
        }
    }
    std::vector<BodyCell> cells;
    for (int k = 0; k < nz; ++k) {
        for (int j = 0; j < ny; ++j) {
            for (int i = 0; i < nx; ++i) {
                const uint8_t colour = at(i, j, k);
                if (colour == kEmpty) continue;
                if (i == 0 || j == 0 || k == 0 || i == nx - 1 || j == ny - 1 || k == nz - 1) {
                    Fail("the character does not fit the sampling grid");
                }
                const bool hidden = at(i - 1, j, k) && at(i + 1, j, k) && at(i, j - 1, k) && at(i, j + 1, k) &&
                                    at(i, j, k - 1) && at(i, j, k + 1);
                if (!hidden) cells.push_back({x0 + i, y0 + j, z0 + k, colour});
            }
        }
    }
    return cells;
}

// One frame in file coordinates with the size it is written with.
struct VoxFrame {
    std::vector<BodyCell> cells;  // file coordinates, 0 <= x < sizeX ...
    int sizeX = 0, sizeY = 0, sizeZ = 0;
};

// One frame as a MagicaVoxel file: its model (SIZE, XYZI) and the palette.
std::vector<uint8_t> EncodeVox(const VoxFrame& frame) {
    VoxelScene scene;
    VoxelSceneModel model;
    model.sizeX = frame.sizeX;
    model.sizeY = frame.sizeY;
    model.sizeZ = frame.sizeZ;
    for (const BodyCell& cell : frame.cells) {
        model.cells.push_back({uint8_t(cell.x), uint8_t(cell.y), uint8_t(cell.z), cell.colour});
    }
    scene.models.push_back(std::move(model));
    // Palette entry k (from 0) is colour index k + 1. Unused entries get a
    // neutral grey ramp so that an editor shows something sensible.
    for (int k = 0; k < 256; ++k) {
        const int index = k + 1;
        const uint8_t grey = static_cast<uint8_t>(255 - k);
        const std::array<uint8_t, 3> rgb = index < kColourCount ? kColours[index] : std::array{grey, grey, grey};
        scene.palette[k] = voxwrite::PaletteEntry(rgb[0], rgb[1], rgb[2]);
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!EncodeVoxelScene(scene, bytes, error)) Fail("a walk frame: " + error);
    return bytes;
}

// Builds the 30 frames and places them in their files' coordinates.
//
// The viewer stands a frame up (file z becomes height) and then moves it down
// by twice its mean height; the reader has already mirrored z against the
// SIZE, so a voxel at file height zb ends at zb + Z - 2 * mean(zb). Choosing
// Z = 2 * mean(zb) - min(zb), rounded, puts the lowest voxel on the ground.
// That Z must also hold every voxel (zb < Z), which needs the mass centre
// above mid-height: true for a hollow body with a large head and thin legs,
// and checked here for every frame.
std::vector<VoxFrame> BuildWalkCycle() {
    std::vector<std::vector<BodyCell>> bodies;
    int minX = 1 << 30, maxX = -(1 << 30), minY = 1 << 30, maxY = -(1 << 30);
    for (int n = 0; n < kFrameCount; ++n) {
        bodies.push_back(BuildFrame(PoseAt(static_cast<double>(n) / kFrameCount)));
        for (const BodyCell& cell : bodies.back()) {
            minX = std::min(minX, cell.x);
            maxX = std::max(maxX, cell.x);
            minY = std::min(minY, cell.y);
            maxY = std::max(maxY, cell.y);
        }
    }
    std::vector<VoxFrame> frames;
    for (int n = 0; n < kFrameCount; ++n) {
        std::vector<BodyCell>& body = bodies[n];
        if (body.empty()) Fail("an empty walk frame");
        int minZ = 1 << 30, maxZ = -(1 << 30);
        for (const BodyCell& cell : body) {
            minZ = std::min(minZ, cell.z);
            maxZ = std::max(maxZ, cell.z);
        }
        VoxFrame frame;
        frame.sizeX = maxX - minX + 1;
        frame.sizeY = maxY - minY + 1;
        double sum = 0;
        for (BodyCell& cell : body) {
            cell.x -= minX;
            cell.y -= minY;
            cell.z -= minZ;
            sum += cell.z;
        }
        const double mean = sum / static_cast<double>(body.size());
        frame.sizeZ = static_cast<int>(std::lround(2.0 * mean));
        if (maxZ - minZ >= frame.sizeZ || frame.sizeZ > 256 || frame.sizeX > 256 || frame.sizeY > 256) {
            Fail("walk frame " + std::to_string(n + 1) + ": mean height " + std::to_string(mean) +
                 " too low for a top at " + std::to_string(maxZ - minZ));
        }
        frame.cells = std::move(body);
        frames.push_back(std::move(frame));
    }
    return frames;
}

// Contact sheet: the frames side by side, seen from the character's right
// (looking along +y, forward to the right), one square block per voxel, the
// nearest voxel of each column shaded by its depth so the far limbs read as
// behind. Every frame stands on the same ground line, its number under it
// in the generated font (`font`: the sheet's RGBA pixels).
std::vector<uint8_t> RenderContactSheet(const std::vector<VoxFrame>& frames, const std::vector<uint8_t>& font) {
    constexpr int block = 2, gap = 4, margin = 6;
    int sizeX = 0, sizeY = 0, height = 0;
    for (const VoxFrame& frame : frames) {
        sizeX = std::max(sizeX, frame.sizeX);
        sizeY = std::max(sizeY, frame.sizeY);
        for (const BodyCell& cell : frame.cells) height = std::max(height, cell.z + 1);
    }
    const int cellWidth = sizeX * block + gap;
    const int width = margin * 2 + cellWidth * kFrameCount - gap;
    const int groundRow = margin + height * block;
    const int labelRow = groundRow + 3 * block + 2;
    const int imageHeight = labelRow + kCell + margin;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * imageHeight * 3);
    for (int y = 0; y < imageHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            const bool ground = y >= groundRow;
            px[0] = ground ? 96 : 226;
            px[1] = ground ? 150 : 234;
            px[2] = ground ? 70 : 240;
        }
    }
    for (int n = 0; n < kFrameCount; ++n) {
        const VoxFrame& frame = frames[n];
        std::vector<int> nearest(static_cast<size_t>(sizeX) * height, -1);
        for (size_t v = 0; v < frame.cells.size(); ++v) {
            const BodyCell& cell = frame.cells[v];
            int& slot = nearest[static_cast<size_t>(cell.z) * sizeX + cell.x];
            if (slot < 0 || cell.y < frame.cells[slot].y) slot = static_cast<int>(v);
        }
        for (int z = 0; z < height; ++z) {
            for (int x = 0; x < sizeX; ++x) {
                const int v = nearest[static_cast<size_t>(z) * sizeX + x];
                if (v < 0) continue;
                const BodyCell& cell = frame.cells[v];
                const double shade = 1.0 - 0.5 * cell.y / std::max(1, sizeY - 1);
                for (int by = 0; by < block; ++by) {
                    for (int bx = 0; bx < block; ++bx) {
                        const int px = margin + n * cellWidth + x * block + bx;
                        const int py = groundRow - (z + 1) * block + by;
                        uint8_t* out = &pixels[(static_cast<size_t>(py) * width + px) * 3];
                        for (int c = 0; c < 3; ++c) {
                            out[c] = static_cast<uint8_t>(std::lround(kColours[cell.colour][c] * shade));
                        }
                    }
                }
            }
        }
    }
    for (int n = 0; n < kFrameCount; ++n) {
        const std::string label = std::to_string(n + 1);
        const int textWidth = static_cast<int>(label.size()) * kGlyphAdvance;
        int penX = margin + n * cellWidth + (sizeX * block - textWidth) / 2 - kPenX;
        for (char ch : label) {
            const int c = static_cast<unsigned char>(ch);
            for (int y = 0; y < kCell; ++y) {
                for (int x = 0; x < kCell; ++x) {
                    const int alpha =
                        font[(static_cast<size_t>((c / 16) * kCell + y) * kCell * 16 + (c % 16) * kCell + x) * 4 + 3];
                    const int px = penX + x, py = labelRow + y;
                    if (alpha == 0 || px < 0 || px >= width) continue;
                    uint8_t* out = &pixels[(static_cast<size_t>(py) * width + px) * 3];
                    for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(out[k] - (out[k] - 60) * alpha / 255);
                }
            }
            penX += kGlyphAdvance;
        }
    }
    return EncodePng(width, imageHeight, 3, pixels);
}

// ---------------------------------------------------------------------------
// Grass: a seamless lawn. Everything wraps modulo the size, so the texture
// tiles without a seam.

constexpr int kGrassSize = 512;

// Smooth periodic value noise over a lattice of `cells` x `cells` squares.
struct PeriodicNoise {
    int cells;
    std::vector<double> lattice;
    PeriodicNoise(int cellCount, Random& random) : cells(cellCount), lattice(cellCount * cellCount) {
        for (double& value : lattice) value = random.unit();
    }
    double at(double u, double v) const {  // u, v in [0, 1)
        const double x = u * cells, y = v * cells;
        const int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
        const double fx = x - i, fy = y - j;
        const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        auto node = [&](int a, int b) {
            return lattice[((b % cells + cells) % cells) * cells + ((a % cells + cells) % cells)];
        };
        const double top = node(i, j) + (node(i + 1, j) - node(i, j)) * sx;
        const double bottom = node(i, j + 1) + (node(i + 1, j + 1) - node(i, j + 1)) * sx;
        return top + (bottom - top) * sy;
    }
};

std::vector<uint8_t> RenderGrass() {
    constexpr int size = kGrassSize;
    Random random(0x67726173735F3031ull);  // "grass_01"
    const PeriodicNoise broad(4, random), medium(16, random), fine(64, random);
    std::vector<double> rgb(static_cast<size_t>(size) * size * 3);

    // Soil and thatch between the blades, darker where the lawn is dense.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size, v = (y + 0.5) / size;
            const double n = 0.4 * broad.at(u, v) + 0.4 * medium.at(u, v) + 0.2 * fine.at(u, v);
            double* px = &rgb[(static_cast<size_t>(y) * size + x) * 3];
            px[0] = 0.13 + 0.06 * n;
            px[1] = 0.22 + 0.10 * n;
            px[2] = 0.07 + 0.03 * n;
        }
    }

    // Blades: short tapered strokes in every direction, each a green picked
    // from a range that drifts with the broad noise (yellower in some patches).
    const int bladeCount = 110000;
    for (int b = 0; b < bladeCount; ++b) {
        const double rx = random.range(0, size), ry = random.range(0, size);
        const double angle = random.range(0, 2 * kPi);
        const double length = random.range(1.5, 4.5);
        const double width = random.range(0.8, 1.4);
        const double patch = broad.at(rx / size, ry / size);
        const double light = random.range(0.55, 1.0);
        const double dry = std::clamp(patch * 0.9 - 0.2 + random.range(-0.1, 0.1), 0.0, 0.45);
        const double base[3] = {0.16 + 0.20 * dry, 0.36 + 0.06 * dry, 0.09};
        const double tip[3] = {0.38 + 0.35 * dry, 0.62 + 0.08 * dry, 0.20 + 0.02 * dry};
        const double dx = std::cos(angle) * length, dy = std::sin(angle) * length;
        const int x0 = static_cast<int>(std::floor(std::min(rx, rx + dx) - 2));
        const int x1 = static_cast<int>(std::ceil(std::max(rx, rx + dx) + 2));
        const int y0 = static_cast<int>(std::floor(std::min(ry, ry + dy) - 2));
        const int y1 = static_cast<int>(std::ceil(std::max(ry, ry + dy) + 2));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5 - rx, py = y + 0.5 - ry;
                const double t = std::clamp((px * dx + py * dy) / (length * length), 0.0, 1.0);
                const double ex = px - dx * t, ey = py - dy * t;
                const double half = 0.5 * width * (1.0 - 0.8 * t);
                const double cover = std::clamp(half + 0.5 - std::sqrt(ex * ex + ey * ey), 0.0, 1.0);
                if (cover <= 0) continue;
                const int wx = ((x % size) + size) % size, wy = ((y % size) + size) % size;
                double* out = &rgb[(static_cast<size_t>(wy) * size + wx) * 3];
                for (int c = 0; c < 3; ++c) {
                    const double colour = (base[c] + (tip[c] - base[c]) * t) * light;
                    out[c] += (colour - out[c]) * cover * 0.9;
                }
            }
        }
    }

    std::vector<uint8_t> pixels(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i) {
        // Brighter than it looks alone: the viewer modulates it with a lit 0.65 grey.
        pixels[i] = static_cast<uint8_t>(std::lround(std::clamp(rgb[i] * 1.45, 0.0, 1.0) * 255.0));
    }
    return EncodePng(size, size, 3, pixels);
}

// ---------------------------------------------------------------------------
// Font sheet: 16 x 16 cells of 16 pixels; byte c in row c / 16 from the top,
// column c % 16. White everywhere, coverage in alpha.
//
// The viewer prints a 16-pixel cell and advances the pen 10.8 pixels, so a
// glyph must stay in the left 10 or so columns. DejaVu Sans Mono at 14
// pixels advances 8 and its ASCII ink spans at most 9 columns, 12 rows above
// the baseline and 3 below: with the pen at column 1 and the baseline under
// row 12 every ASCII glyph fits, leaving column 0, columns 11-15 and row 0
// empty so that linear filtering never pulls in a neighbour's ink. Latin-1
// capitals with accents are taller; they are squeezed vertically to fit.

constexpr int kFontPixels = 14;
constexpr int kBaselineRow = 13;  // first row below the baseline
constexpr int kTopRow = 1;        // highest row a glyph may use

// The sheet's RGBA pixels, top row first.
std::vector<uint8_t> RenderFontSheet(const char* fontPath) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library)) Fail("FreeType could not start");
    FT_Face face = nullptr;
    if (FT_New_Face(library, fontPath, 0, &face)) Fail(std::string("cannot open the font ") + fontPath);
    if (FT_Set_Pixel_Sizes(face, 0, kFontPixels)) Fail("the font has no scalable outline");

    const int size = kCell * 16;
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4, 0);
    for (size_t i = 0; i < pixels.size(); i += 4) pixels[i] = pixels[i + 1] = pixels[i + 2] = 255;

    int missing = 0;
    for (int c = 0; c < 256; ++c) {
        const bool printable = (c >= 33 && c <= 126) || c >= 161;  // space and NBSP stay empty
        if (!printable) continue;
        const FT_UInt glyph = FT_Get_Char_Index(face, static_cast<FT_ULong>(c));  // Latin-1 = U+0000..U+00FF
        if (glyph == 0) {
            ++missing;
            continue;
        }
        FT_Set_Transform(face, nullptr, nullptr);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER)) Fail("FreeType could not render a glyph");
        const int room = kBaselineRow - kTopRow;
        if (face->glyph->bitmap_top > room) {
            // Too tall for the cell: squeeze the outline about the baseline.
            FT_Matrix squeeze{0x10000, 0, 0, static_cast<FT_Fixed>(0x10000 * (room - 0.25) / face->glyph->bitmap_top)};
            FT_Set_Transform(face, &squeeze, nullptr);
            if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER | FT_LOAD_NO_HINTING)) {
                Fail("FreeType could not render a glyph");
            }
        }
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) Fail("unexpected glyph bitmap format");
        const int cellX = (c % 16) * kCell, cellY = (c / 16) * kCell;
        const int left = kPenX + face->glyph->bitmap_left;
        const int top = kBaselineRow - face->glyph->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
                const uint8_t cover = bitmap.buffer[row * bitmap.pitch + col];
                if (cover == 0) continue;
                if (x < 0 || x >= kCell || y < 0 || y >= kCell) {
                    Fail("glyph " + std::to_string(c) + " does not fit its cell");
                }
                pixels[(static_cast<size_t>(cellY + y) * size + cellX + x) * 4 + 3] = cover;
            }
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (missing > 0) std::fprintf(stderr, "voxwalk-assetgen: %d Latin-1 glyphs not in the font\n", missing);
    return pixels;
}

// The sheet for people to look at: twice the size, white glyphs over a dark
// slate with the cell grid drawn faintly (the sheet itself is white on
// transparent, which shows nothing on a light page).
std::vector<uint8_t> RenderFontPreview(const std::vector<uint8_t>& sheet) {
    constexpr int scale = 2, size = kCell * 16 * scale;
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool grid = (x / scale) % kCell == 0 || (y / scale) % kCell == 0;
            const int background[3] = {grid ? 52 : 30, grid ? 62 : 38, grid ? 78 : 50};
            const int alpha = sheet[(static_cast<size_t>(y / scale) * (kCell * 16) + x / scale) * 4 + 3];
            uint8_t* out = &pixels[(static_cast<size_t>(y) * size + x) * 3];
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<uint8_t>(background[c] + ((255 - background[c]) * alpha + 127) / 255);
            }
        }
    }
    return EncodePng(size, size, 3, pixels);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: voxwalk-assetgen OUTPUT_ROOT [FONT_FILE]\n");
        return 1;
    }
    const std::filesystem::path root = argv[1];
    const char* fontPath = argc == 3 ? argv[2] : "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

    // The font first: a missing font file fails the run before anything is written.
    const std::vector<uint8_t> fontSheet = RenderFontSheet(fontPath);
    const auto font = root / "assets/textures/fonts/font1.png";
    if (!WriteFile(font, EncodePng(kCell * 16, kCell * 16, 4, fontSheet))) {
        Fail("cannot write " + font.string());
    }
    const auto preview = root / "docs/font-sheet.png";
    if (!WriteFile(preview, RenderFontPreview(fontSheet))) Fail("cannot write " + preview.string());
    const auto grass = root / "assets/textures/grass.png";
    if (!WriteFile(grass, RenderGrass())) Fail("cannot write " + grass.string());

    const std::vector<VoxFrame> frames = BuildWalkCycle();
    for (int n = 0; n < kFrameCount; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "walk_%05d.vox", n + 1);
        const auto path = root / "assets/voxels/ZevezuRezov/Walk" / name;
        if (!WriteFile(path, EncodeVox(frames[n]))) Fail("cannot write " + path.string());
    }
    const auto sheet = root / "docs/walk-cycle.png";
    if (!WriteFile(sheet, RenderContactSheet(frames, fontSheet))) Fail("cannot write " + sheet.string());
    return 0;
}
