// The decoder as callers see it: crafted bad files refused, odd but valid
// structure accepted, the two target layouts, the file functions, PngSuite.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "PngTestSupport.h"

using namespace pngtest;

namespace {

// Filtered rows (type 0) of an 8-bit RGBA image, pixel (x, y) being
// (40x + y, 50y + x, x ^ y, 255 - x - y).
Bytes RgbaRows(uint32_t width, uint32_t height) {
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < width; ++x)
            raw.insert(raw.end(), {uint8_t(x * 40 + y), uint8_t(y * 50 + x), uint8_t(x ^ y), uint8_t(255 - x - y)});
    }
    return raw;
}

const Bytes kRows = RgbaRows(4, 3);
const Bytes kValid = BuildPng(Ihdr(4, 3, 8, 6), kRows);   // IHDR CRC at 29, IDAT length at 33

Bytes Changed(Bytes file, const std::function<void(Bytes&)>& change) {
    change(file);
    return file;
}

Bytes Chunks(const std::vector<Chunk>& chunks) {
    Bytes file = Signature();
    for (const Chunk& chunk : chunks) AppendChunk(file, chunk.type, chunk.data);
    return file;
}

TEST(PngDecode, CraftedFaultsGiveNoImage) {
    const Bytes idat = Deflate(kRows), text = {'a', 0, 'b'};
    std::vector<std::pair<std::string, Bytes>> files = {
        {"IHDR CRC", Changed(kValid, [](Bytes& f) { f[29] ^= 1; })},
        {"IEND CRC", Changed(kValid, [](Bytes& f) { f.back() ^= 1; })},
        {"ancillary chunk CRC", Changed(BuildPng(Ihdr(4, 3, 8, 6), kRows, {{"vpAg", {1, 2, 3}}}),
                                        [](Bytes& f) { f[42] ^= 0x40; })},
        {"byte behind IEND", Changed(kValid, [](Bytes& f) { f.push_back(0); })},
        {"no IEND", Chunks({{"IHDR", Ihdr(4, 3, 8, 6)}, {"IDAT", idat}, {"tEXt", text}})},
        {"IHDR not first", Chunks({{"tEXt", text}, {"IHDR", Ihdr(4, 3, 8, 6)}, {"IDAT", idat}, {"IEND", {}}})},
        {"IHDR of 14 bytes", BuildPng(Changed(Ihdr(4, 3, 8, 6), [](Bytes& h) { h.push_back(0); }), kRows)},
        {"empty IDAT", Chunks({{"IHDR", Ihdr(4, 3, 8, 6)}, {"IDAT", {}}, {"tEXt", Bytes(40, 'x')}, {"IEND", {}}})},
        {"corrupt Adler-32", Chunks({{"IHDR", Ihdr(4, 3, 8, 6)}, {"IDAT", Changed(idat, [](Bytes& d) { d.back() ^= 0xff; })}, {"IEND", {}}})},
        {"data one byte long", BuildPng(Ihdr(4, 3, 8, 6), Changed(kRows, [](Bytes& r) { r.push_back(0); }))},
        {"data one byte short", BuildPng(Ihdr(4, 3, 8, 6), Bytes(kRows.begin(), kRows.end() - 1))},
        {"data far too long", BuildPng(Ihdr(4, 3, 8, 6), Bytes(10000, 0))},
        {"interlaced 1x1 with a second row", BuildPng(Ihdr(1, 1, 8, 2, 1), {0, 10, 20, 30, 0, 1, 2, 3})},
        {"interlaced 3x3 one byte short", BuildPng(Ihdr(3, 3, 8, 0, 1), Bytes(14, 0))},
        {"no PLTE", BuildPng(Ihdr(2, 1, 8, 3), {0, 0, 1})},
        {"PLTE of 257", BuildPng(Ihdr(2, 1, 8, 3), {0, 0, 1}, {{"PLTE", Bytes(257 * 3, 7)}})},
        {"grey tRNS of 6", BuildPng(Ihdr(1, 1, 8, 0), {0, 5}, {{"tRNS", {0, 5, 0, 5, 0, 5}}})},
        {"RGB tRNS of 2", BuildPng(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {{"tRNS", {0, 5}}})},
        {"palette tRNS of 257", BuildPng(Ihdr(1, 1, 8, 3), {0, 0}, {{"PLTE", {1, 2, 3}}, {"tRNS", Bytes(257, 1)}})},
        {"RGBA tRNS", BuildPng(Ihdr(4, 3, 8, 6), kRows, {{"tRNS", Bytes(6, 0)}})},
        {"grey + alpha tRNS", BuildPng(Ihdr(1, 1, 8, 4), {0, 1, 2}, {{"tRNS", {0, 1}}})},
    };
    for (uint32_t n : {0xffffffffu, 0xfffffff4u, 0x80000000u, 0x7fffffffu})
        files.push_back({"IDAT length " + std::to_string(n), Changed(kValid, [&](Bytes& f) { f[33] = uint8_t(n >> 24), f[34] = uint8_t(n >> 16), f[35] = uint8_t(n >> 8), f[36] = uint8_t(n); })});
    for (uint8_t type : {5, 6, 255})
        files.push_back({"filter type " + std::to_string(type), BuildPng(Ihdr(4, 3, 8, 6), Changed(kRows, [&](Bytes& r) { r[34] = type; }))});
    // Depth, colour type and interlace outside the table, zero sizes, methods other than 0.
    const int headers[][5] = {{1, 1, 16, 3, 0}, {1, 1, 8, 0, 2}, {0, 1, 8, 0, 0}, {1, 0, 8, 0, 0},
                              {1, 1, 8, 1, 0},  {1, 1, 8, 5, 0}, {1, 1, 8, 7, 0}, {1, 1, 4, 2, 0},
                              {1, 1, 2, 6, 0},  {1, 1, 3, 0, 0}, {1, 1, 32, 0, 0}};
    for (const auto& [w, h, depth, type, interlace] : headers)
        files.push_back({"header " + std::to_string(depth), BuildPng(Ihdr(w, h, depth, type, interlace), Bytes(64, 0), {{"PLTE", {1, 2, 3}}})});
    for (int field : {10, 11})
        files.push_back({"method byte " + std::to_string(field), BuildPng(Changed(Ihdr(1, 1, 8, 0), [&](Bytes& h) { h[field] = 1; }), {0, 0})});
    // Sizes small data cannot fill: refused before anything of their size is allocated.
    for (uint32_t side : {0xffffffffu, 0x80000000u, 0x10000u})
        for (const Bytes& ihdr : {Ihdr(side, side, 8, 6), Ihdr(side, side, 16, 6, 1), Ihdr(side, 1, 1, 0), Ihdr(1, side, 1, 0, 1)})
            files.push_back({"huge " + std::to_string(side), BuildPng(ihdr, Bytes(1000, 0))});
    for (const auto& [name, file] : files)
        for (int target : {2, 3}) EXPECT_EQ(PngDecodeMemory(file.data(), file.size(), target), nullptr) << name;
    for (size_t length = 0; length < kValid.size(); ++length)
        EXPECT_EQ(PngDecodeMemory(kValid.data(), length, 3), nullptr) << "cut to " << length;
    EXPECT_EQ(PngDecodeMemory(nullptr, 100, 3), nullptr);
}

TEST(PngDecode, OddButValidStructureDecodesLikeLibpng) {
    const Bytes rows = RgbaRows(7, 5), packed = Deflate(rows), whole = BuildPng(Ihdr(7, 5, 8, 6), rows);
    const size_t cut = packed.size() / 3;
    const Bytes split = Chunks({{"IHDR", Ihdr(7, 5, 8, 6)}, {"IDAT", Bytes(packed.begin(), packed.begin() + cut)},
                                {"tEXt", {'a', 0, 'b'}}, {"IDAT", Bytes(packed.begin() + cut, packed.end() - 1)},
                                {"IDAT", Bytes(packed.end() - 1, packed.end())}, {"IEND", {}}});
    EXPECT_EQ(CompareWithLibpng(split, whole), "") << "IDAT in three pieces around a tEXt";
    // An unknown critical chunk is listed and ignored (libpng would refuse it).
    EXPECT_EQ(CompareWithLibpng(BuildPng(Ihdr(4, 3, 8, 6), kRows, {{"vpAg", {1, 2, 3}}, {"IXYZ", {}}}), kValid), "");
    EXPECT_EQ(CompareWithLibpng(BuildPng(Ihdr(4, 3, 8, 6), kRows, {{"PLTE", {9, 9, 9}}})), "") << "PLTE in RGBA";
    EXPECT_EQ(CompareWithLibpng(BuildPng(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {{"PLTE", {9, 9, 9}}})), "") << "PLTE in RGB";
    EXPECT_EQ(CompareWithLibpng(BuildPng(Ihdr(1, 1, 8, 2, 1), {0, 10, 20, 30})), "") << "interlaced 1x1";
    // Passes 1, 4, 5, 6, 7 only: 2 and 3 start beyond a 3x3 image.
    const Bytes passes = {0, 11, 0, 13, 0, 31, 33, 0, 12, 0, 32, 0, 21, 22, 23};
    EXPECT_EQ(CompareWithLibpng(BuildPng(Ihdr(3, 3, 8, 0, 1), passes)), "") << "interlaced 3x3";
}

TEST(PngDecode, TargetLayouts) {
    // 2 x 2 RGB, top row red, green, bottom row blue, white: bottom row first
    // behind the height and width.
    const Bytes file = BuildPng(Ihdr(2, 2, 8, 2), {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255});
    Image gl = PngDecodeMemory(file.data(), file.size(), 3);
    ASSERT_NE(gl, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(gl) % 16, 0u);
    const uint8_t* bytes = static_cast<const uint8_t*>(gl);
    EXPECT_EQ(Bytes(bytes - 16, bytes - 8), (Bytes{2, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(Bytes(bytes, bytes + 16), (Bytes{0, 0, 255, 255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255}));
    PngFreeImage(gl);
    // Header image, 5 x 2: eight words, then rows of 32 bytes (12 of them zero padding) of B, G, R, A.
    const Bytes five = BuildPng(Ihdr(5, 2, 8, 6), RgbaRows(5, 2));
    Image header = PngDecodeMemory(five.data(), five.size(), 2);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(header) % 16, 0u);
    const uint32_t words[8] = {7, 4, 5, 2, 32, 0, 0, 0};
    EXPECT_EQ(std::memcmp(header, words, 32), 0);
    const uint8_t* row1 = static_cast<const uint8_t*>(header) + 64;
    EXPECT_EQ(Bytes(row1 + 12, row1 + 32), (Bytes{2, 53, 121, 251, 5, 54, 161, 250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    PngFreeImage(header);
    for (int target : {-1, 0, 1, 4}) EXPECT_EQ(PngDecodeMemory(file.data(), file.size(), target), nullptr) << target;
}

// A file in the build folder, removed at the end of the test.
struct TempFile {
    std::string path;
    explicit TempFile(const Bytes& bytes, const char* name) : path(std::string(VOXWALK_BINARY_DIR) + "/png_test_" + name) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile() { std::remove(path.c_str()); }
};

// Loading good files is PngSuite's part.
TEST(PngDecode, FilesSizesAndRefusals) {
    const Bytes two = BuildPng(Ihdr(2, 3, 8, 2), Bytes(3 * 7, 0));
    Bytes odd = Signature();   // only the signature is checked: the 8 bytes at 16 are taken
    AppendChunk(odd, "tEXt", {0, 0, 1, 0, 0, 0, 0, 3});
    const TempFile good(two, "good"), other(odd, "odd"), notPng(Changed(two, [](Bytes& f) { f[1] = 'Q'; }), "notpng"),
        shortFile(Bytes(two.begin(), two.begin() + 23), "short"), empty({}, "empty"),
        cut(Bytes(two.begin(), two.end() - 1), "cut");
    const std::pair<const char*, uint32_t> sizes[] = {{good.path.c_str(), 2 << 16 | 3}, {other.path.c_str(), 256 << 16 | 3},
        {notPng.path.c_str(), 0}, {shortFile.path.c_str(), 0}, {empty.path.c_str(), 0}, {"/nonexistent/a.png", 0}};
    for (const auto& [path, size] : sizes) {
        uint32_t width = 9, height = 9;
        PngReadSize(path, width, height);
        EXPECT_EQ(width << 16 | height, size) << path;
    }
    for (const char* path : {empty.path.c_str(), cut.path.c_str(), "/nonexistent/a.png", VOXWALK_SOURCE_DIR})
        EXPECT_EQ(PngLoadFile(path, 3), nullptr) << path;
    EXPECT_EQ(PngLoadFile(good.path.c_str(), 1), nullptr);
}

// PngSuite: every valid image decodes to libpng's pixels in both targets,
// from memory and from the file (which joins split IDAT data in place);
// every corrupt one ("x" names) gives nothing. Covers every format, filter
// and interlace at widths with and without vector tails, so it runs once
// per SIMD level too.
TEST(PngDecode, PngSuite) {
    const std::string folder = std::string(VOXWALK_SOURCE_DIR) + "/tests/data/pngsuite/";
    int images = 0, corrupt = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png") continue;
        ++images;
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), {}};
        if (name[0] == 'x') {
            ++corrupt;
            for (int target : {2, 3}) EXPECT_EQ(PngDecodeMemory(file.data(), file.size(), target), nullptr) << name;
            EXPECT_EQ(PngLoadFile(entry.path().c_str(), 3), nullptr) << name;
            continue;
        }
        Rgba expected;
        ASSERT_TRUE(DecodeWithLibpng(file, expected)) << name;
        EXPECT_EQ(CompareWithLibpng(file), "") << name;
        EXPECT_EQ(Differs(PngLoadFile(entry.path().c_str(), 3), 3, expected), "") << name << " from the file";
    }
    EXPECT_EQ(images, 175);
    EXPECT_EQ(corrupt, 14);
}

}  // namespace
