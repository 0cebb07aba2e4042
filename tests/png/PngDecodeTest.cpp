// The decoder as callers see it: crafted bad files refused, odd but valid
// structure accepted, the two target layouts, the file functions, PngSuite.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "PngTestSupport.h"
#include "png/PngDecoder.h"

using namespace pngtest;

namespace {

// Filtered rows (type 0) of an 8-bit RGBA image: byte i of the whole, filter
// bytes aside, is 7i mod 256.
Bytes RgbaRows(uint32_t width, uint32_t height) {
    Bytes raw((width * 4 + 1) * height);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = i % (width * 4 + 1) ? uint8_t(i * 7) : 0;
    return raw;
}

const Bytes kRows = RgbaRows(4, 3), kHead = Ihdr(4, 3, 8, 6);
const Bytes kValid = BuildPng(kHead, kRows);  // IDAT length at 33

template <class F>
Bytes Changed(Bytes bytes, F change) {
    return change(bytes), bytes;
}

TEST(PngDecode, CraftedFilesRefusedOrOddButValidOnesDecodedLikeLibpng) {
    const Bytes idat = Deflate(kRows), text = {'a', 0, 'b'}, badAdler = Changed(idat, [](Bytes&d) { d.back() ^= 1; });
    std::vector<std::pair<std::string, Bytes>> files = {
        {"ancillary CRC", Changed(BuildPng(kHead, kRows, {{"vpAg", {1, 2, 3}}}), [](Bytes& f) { f[42] ^= 0x40; })},
        {"byte behind IEND", Changed(kValid, [](Bytes& f) { f.push_back(0); })},
        {"no IEND", Chunks({{"IHDR", kHead}, {"IDAT", idat}, {"tEXt", text}})},
        {"IHDR not first", Chunks({{"tEXt", text}, {"IHDR", kHead}, {"IDAT", idat}, {"IEND", {}}})},
        {"IHDR of 14 bytes", BuildPng(Changed(kHead, [](Bytes& h) { h.push_back(0); }), kRows)},
        {"bad Adler-32", Chunks({{"IHDR", kHead}, {"IDAT", badAdler}, {"IEND", {}}})},
        {"data one byte long", BuildPng(kHead, Changed(kRows, [](Bytes& r) { r.push_back(0); }))},
        {"data one byte short", BuildPng(kHead, Bytes(kRows.begin(), kRows.end() - 1))},
        {"data far too long", BuildPng(kHead, Bytes(10000, 0))},
        {"no PLTE", BuildPng(Ihdr(2, 1, 8, 3), {0, 0, 1})},
        {"PLTE of 257", BuildPng(Ihdr(2, 1, 8, 3), {0, 0, 1}, {{"PLTE", Bytes(257 * 3, 7)}})},
        {"grey tRNS of 6", BuildPng(Ihdr(1, 1, 8, 0), {0, 5}, {{"tRNS", {0, 5, 0, 5, 0, 5}}})},
        {"RGB tRNS of 2", BuildPng(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {{"tRNS", {0, 5}}})},
        {"palette tRNS of 257", BuildPng(Ihdr(1, 1, 8, 3), {0, 0}, {{"PLTE", {1, 2, 3}}, {"tRNS", Bytes(257, 1)}})},
        {"grey + alpha tRNS", BuildPng(Ihdr(1, 1, 8, 4), {0, 1, 2}, {{"tRNS", {0, 1}}})},
        {"compression method 1", BuildPng(Changed(Ihdr(1, 1, 8, 0), [](Bytes& h) { h[10] = 1; }), {0, 0})},
        {"filter method 1", BuildPng(Changed(Ihdr(1, 1, 8, 0), [](Bytes& h) { h[11] = 1; }), {0, 0})},
    };
    for (uint32_t n : {0xffffffffu, 0xfffffff4u, 0x80000000u, 0x7fffffffu})
        files.push_back({"IDAT length " + std::to_string(n), Changed(kValid, [&](Bytes& f) {
                             for (int i = 0; i < 4; ++i) f[33 + i] = uint8_t(n >> (24 - 8 * i));
                         })});
    // Grey and palette depths outside their lists, interlace 2, zero sizes, methods other than 0 (PngSuite
    // has the bad colour types and truecolour depths).
    const int headers[][5] = {{1, 1, 16, 3, 0}, {1, 1, 3, 0, 0}, {1, 1, 32, 0, 0},
                              {1, 1, 8, 0, 2},  {0, 1, 8, 0, 0}, {1, 0, 8, 0, 0}};
    for (const auto& [w, h, depth, type, interlace] : headers)
        files.push_back({"header " + std::to_string(depth),
                         BuildPng(Ihdr(w, h, depth, type, interlace), Bytes(64, 0), {{"PLTE", {1, 2, 3}}})});
    // Sizes small data cannot fill: refused before anything of their size is allocated.
    for (uint32_t n : {0xffffffffu, 0x80000000u, 0x10000u})
        for (const Bytes& h : {Ihdr(n, n, 8, 6), Ihdr(n, n, 16, 6, 1), Ihdr(n, 1, 1, 0), Ihdr(1, n, 1, 0, 1)})
            files.push_back({"huge " + std::to_string(n), BuildPng(h, Bytes(1000, 0))});
    for (const auto& [name, file] : files) {
        PngDecoder decoder;
        PngInitDecoder(decoder, file.data(), file.size());
        EXPECT_EQ(PngParse(decoder), 1) << name;
        PngReleaseDecoder(decoder);
    }
    for (uint8_t type : {5, 6, 255}) {  // refused only when the rows are unfiltered
        const Bytes file = BuildPng(kHead, Changed(kRows, [&](Bytes& r) { r[34] = type; }));
        EXPECT_EQ(PngDecodeMemory(file.data(), file.size(), 2), nullptr) << "filter type " << int(type);
    }
    for (size_t length = 0; length < kValid.size(); ++length)
        EXPECT_EQ(PngDecodeMemory(kValid.data(), length, 3), nullptr) << "cut to " << length;
    EXPECT_EQ(PngDecodeMemory(nullptr, 100, 3), nullptr);
    // IDAT in thirteen pieces after a tEXt: sixteen chunks fill the chunk list exactly.
    const Bytes rows = RgbaRows(7, 5), packed = Deflate(rows), whole = BuildPng(Ihdr(7, 5, 8, 6), rows);
    const size_t n = packed.size();
    std::vector<Chunk> chunks = {{"IHDR", Ihdr(7, 5, 8, 6)}, {"tEXt", text}};
    for (size_t i = 0; i < 13; ++i)
        chunks.push_back({"IDAT", Bytes(packed.begin() + i * n / 13, packed.begin() + (i + 1) * n / 13)});
    chunks.push_back({"IEND", {}});
    EXPECT_EQ(CompareWithLibpng(Chunks(chunks), whole), "");
    // An unknown critical chunk is listed and ignored (libpng would refuse it).
    EXPECT_EQ(CompareWithLibpng(BuildPng(kHead, kRows, {{"vpAg", {1, 2, 3}}, {"IXYZ", {}}}), kValid), "");
}

// A 5 x 2 image whose bottom row is bytes 22 to 41 of the data.
TEST(PngDecode, TargetLayouts) {
    // OpenGL: R, G, B, A from the bottom row up, behind the height and width.
    const Bytes five = BuildPng(Ihdr(5, 2, 8, 6), RgbaRows(5, 2));
    Image gl = PngDecodeMemory(five.data(), five.size(), 3), header = PngDecodeMemory(five.data(), five.size(), 2);
    ASSERT_TRUE(gl && header);
    for (Image image : {gl, header}) EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 16, 0u);
    const uint8_t* bytes = static_cast<const uint8_t*>(gl);
    EXPECT_EQ(Bytes(bytes - 16, bytes - 8), (Bytes{2, 0, 0, 0, 5, 0, 0, 0}));
    EXPECT_EQ(Bytes(bytes, bytes + 8), (Bytes{154, 161, 168, 175, 182, 189, 196, 203}));
    PngFreeImage(gl);
    // Header image: eight words, then rows of 32 bytes (12 of them zero padding) of B, G, R, A.
    const uint32_t words[8] = {7, 4, 5, 2, 32, 0, 0, 0};
    EXPECT_EQ(std::memcmp(header, words, 32), 0);
    const uint8_t* row1 = static_cast<const uint8_t*>(header) + 64;
    EXPECT_EQ(Bytes(row1 + 12, row1 + 32),
              (Bytes{252, 245, 238, 3, 24, 17, 10, 31, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    PngFreeImage(header);
    for (int target : {-1, 0, 1, 4}) EXPECT_EQ(PngDecodeMemory(five.data(), five.size(), target), nullptr) << target;
    // An image that is not zero-filled still gets a zeroed prefix, even in a
    // reused block: the second round takes the block the first one freed.
    for (int round = 0; round < 2; ++round) {
        auto* image = static_cast<uint8_t*>(AllocateAlignedImage(100, 0));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(Bytes(image - 20, image - 8), Bytes(12, 0)) << round;
        FreeAlignedImage(image);
    }
}

// Loading good files is PngSuite's part. Sizes come from the header once the
// signature is there: nothing else is checked. The last row is no file at all.
TEST(PngDecode, FileSizesAndRefusals) {
    const Bytes good = BuildPng(Ihdr(2, 3, 8, 2), Bytes(3 * 7, 0)), odd = Chunks({{"tEXt", {0, 0, 1, 0, 0, 0, 0, 3}}});
    const std::string path = std::string(VOXWALK_BINARY_DIR) + "/png_test_file";
    const std::pair<Bytes, uint32_t> files[] = {{good, 2 << 16 | 3},
                                                {odd, 256 << 16 | 3},
                                                {Changed(good, [](Bytes& f) { f[1] = 'Q'; }), 0},
                                                {Bytes(good.begin(), good.begin() + 23), 0},
                                                {{}, 0}};
    for (const auto& [bytes, size] : files) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (bytes.empty()) std::remove(path.c_str());
        uint32_t width = 9, height = 9;
        PngReadSize(path.c_str(), width, height);
        EXPECT_EQ(width << 16 | height, size);
        EXPECT_EQ(PngLoadFile(path.c_str(), bytes == good ? 1 : 3), nullptr) << size;  // the good one in target 1
    }
    EXPECT_EQ(PngLoadFile(VOXWALK_SOURCE_DIR, 3), nullptr);  // a folder
}

// PngSuite: every valid image decodes to libpng's pixels in both targets,
// from memory and from the file (which joins split IDAT data in place);
// every corrupt one ("x" names) gives nothing. Covers every format, filter
// and interlace at widths with and without vector tails, so it runs once
// per SIMD level too.
TEST(PngDecode, PngSuite) {
    const std::string folder = std::string(VOXWALK_SOURCE_DIR) + "/tests/data/pngsuite/";
    int images = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png") continue;
        ++images;
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), {}};
        if (name[0] != 'x') {
            EXPECT_EQ(CompareWithLibpng(file, file, entry.path().c_str()), "") << name;
            continue;
        }
        EXPECT_EQ(PngDecodeMemory(file.data(), file.size(), 2), nullptr) << name;
        EXPECT_EQ(PngLoadFile(entry.path().c_str(), 3), nullptr) << name;
    }
    EXPECT_EQ(images, 175);
}

}  // namespace
