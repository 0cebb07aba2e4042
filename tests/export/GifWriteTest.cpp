// The GIF writer: blocks, rectangles, disposals, tables and delays read from
// the bytes; every frame composited by Pillow against the input; the frame
// count by ffprobe; and its refusals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "app/export/GifWrite.h"
#include "support/AnimReadBack.h"

namespace {

using animtest::Edit;
using animtest::Rect;
using Bytes = std::vector<uint8_t>;
using Pixel = std::array<uint8_t, 4>;

constexpr int kLeave = 1, kClear = 2;  // GIF disposal methods

// A frame: the one before with its edits applied, its delay, and what the
// writer must store for it.
struct Step {
    std::vector<Edit> edits;
    GifDelay delay;
    Rect rect;            // {-1, ...}: not checked
    int disposal;
    bool local;           // carries its own colour table
    int centiseconds;
};

struct Sequence {
    const char* name;
    int width, height;
    uint32_t plays;
    long loop;            // the NETSCAPE2.0 count; -1: no block
    bool gradient;        // frame 1 of many colours (else 30 or fewer)
    Pixel fill;           // frame 1 when alpha is 0; else the pattern
    std::vector<Step> steps;  // steps[0] is frame 1: no edits
    double minPsnr;       // per frame; infinity: exact
};

const Pixel kRed = {255, 0, 0, 255}, kGone = {9, 8, 7, 0}, kPattern = {0, 0, 0, 255};
const Pixel kCorner = {10, 10, 100, 255};  // the pattern's colour at (0, 0)

std::vector<Step> ThirtyColours() {
    std::vector<Step> steps;
    for (int i = 0; i < 30; ++i)
        steps.push_back({{{{0, 0, 2, 2}, {uint8_t(i * 8), uint8_t(255 - i * 8), 50, 255}}},
                         {1, 30}, {0, 0, 2, 2}, kLeave, i > 0, i % 3 == 1 ? 4 : 3});
    return steps;
}

const Sequence kSequences[] = {
    {"FewColours", 6, 5, 0, 0, false, kPattern,
     {{{}, {1, 30}, {0, 0, 6, 5}, kLeave, false, 3},
      {{{{5, 4, 1, 1}, kCorner}}, {1, 30}, {5, 4, 1, 1}, kLeave, false, 4},        // a colour it had
      {{}, {1, 30}, {0, 0, 1, 1}, kLeave, false, 3},                             // nothing: 1 x 1
      // Two pixels apart in a new colour; the next frame clears a block, so
      // this one grows over it and is cleared after showing.
      {{{{1, 1, 1, 1}, kRed}, {{4, 3, 1, 1}, kRed}}, {1, 30}, {1, 0, 4, 4}, kClear, true, 3},
      {{{{2, 0, 2, 2}, kGone}}, {1, 30}, {1, 0, 4, 4}, kLeave, true, 4},          // transparency appears
      {{{{2, 0, 2, 2}, kRed}}, {1, 30}, {0, 0, 4, 2}, kClear, true, 3},           // and goes
      {{{{0, 0, 1, 1}, {10, 10, 100, 127}}}, {1, 30}, {0, 0, 4, 2}, kLeave, true, 3},  // alpha 127: gone
      {{{{0, 0, 1, 1}, {10, 10, 100, 128}}}, {1, 30}, {0, 0, 1, 1}, kLeave, true, 4},  // alpha 128: shown
      {{{{0, 0, 6, 5}, {}, true}}, {1, 30}, {0, 0, 6, 5}, kLeave, true, 3}},      // everything
     INFINITY},
    {"Gradient", 32, 24, 3, 2, true, kPattern,
     {{{}, {1, 10}, {0, 0, 32, 24}, kLeave, false, 10},
      {{{{4, 4, 8, 8}, {0, 0, 128, 255}}}, {1, 10}, {4, 4, 8, 8}, kLeave, false, 10},
      {{{{0, 0, 32, 24}, {}, true}}, {1, 10}, {-1}, kLeave, true, 10}},
     36.0},  // 768 colours on a grid of steps 8 and 10, 3 to an entry: about 37 dB at best
    {"ThirtyFramesPlayedOnce", 2, 2, 1, -1, false, kGone, ThirtyColours(), INFINITY},
    {"FromTransparent", 4, 4, 0, 0, false, kGone,
     {{{}, {1, 2}, {0, 0, 4, 4}, kLeave, false, 50},
      {{{{1, 1, 2, 2}, kRed}}, {65535, 1000}, {1, 1, 2, 2}, kClear, true, 6554},   // 66.035 s: 6603.5 up
      // Moves; round the loop, frame 1 has nothing there, so it is cleared.
      {{{{1, 1, 2, 2}, kGone}, {{2, 2, 2, 2}, kRed}}, {1, 3}, {2, 2, 2, 2}, kClear, true, 33}},
     INFINITY},
};

void PrintTo(const Sequence& s, std::ostream* out) { *out << s.name; }

std::vector<Bytes> Frames(const Sequence& s) {
    Bytes frame(size_t(s.width) * s.height * 4);
    for (size_t p = 0; p < frame.size() / 4; ++p) {
        const int x = int(p % s.width), y = int(p / s.width);
        const Pixel pixel = s.fill[3] == 0 ? s.fill
                            : s.gradient   ? Pixel{uint8_t(x * 8), uint8_t(y * 10), uint8_t(128 + x - y), 255}
                                           : Pixel{uint8_t(x * 40 + 10), uint8_t(y * 50 + 10), 100, 255};
        std::copy(pixel.begin(), pixel.end(), &frame[p * 4]);
    }
    std::vector<Bytes> frames;
    for (const Step& step : s.steps) {
        animtest::Paint(frame, s.width, 4, step.edits);
        frames.push_back(frame);
    }
    return frames;
}

// What a GIF file holds, block by block.
struct Image {
    int disposal = -1, centiseconds = -1, transparent = -1;
    Rect rect{};
    bool local = false;
    size_t end = 0;  // offset behind its data
};
struct Blocks {
    std::string signature;
    int width = 0, height = 0;
    long loop = -1;
    std::vector<Image> images;
    bool trailer = false;
    std::string fault;
};

Blocks Walk(const Bytes& file) {
    Blocks b;
    size_t p = 0;
    auto byte = [&](size_t at) -> int {
        if (at >= file.size()) b.fault = "truncated";
        return at < file.size() ? file[at] : 0;
    };
    auto word = [&](size_t at) { return byte(at) | byte(at + 1) << 8; };
    auto skipSubBlocks = [&]() {
        while (b.fault.empty() && byte(p)) p += size_t(byte(p)) + 1;
        ++p;
    };
    if (file.size() < 13) {
        b.fault = "too short";
        return b;
    }
    b.signature.assign(file.begin(), file.begin() + 6);
    b.width = word(6), b.height = word(8);
    const int flags = byte(10);
    p = 13 + ((flags & 0x80) ? size_t(3) << ((flags & 7) + 1) : 0);
    Image next;
    while (b.fault.empty() && p < file.size()) {
        const int introducer = byte(p++);
        if (introducer == 0x3B) {
            b.trailer = p == file.size();
            break;
        }
        if (introducer == 0x21) {
            const int label = byte(p++);
            if (label == 0xF9) {
                next.disposal = byte(p + 1) >> 2 & 7;
                next.centiseconds = word(p + 2);
                next.transparent = (byte(p + 1) & 1) ? byte(p + 4) : -1;
            } else if (label == 0xFF && std::string(file.begin() + long(p) + 1, file.begin() + long(p) + 12) ==
                                            "NETSCAPE2.0") {
                b.loop = word(p + 14);
            }
            skipSubBlocks();
        } else if (introducer == 0x2C) {
            next.rect = {word(p), word(p + 2), word(p + 4), word(p + 6)};
            next.local = byte(p + 8) & 0x80;
            p += 9 + (next.local ? size_t(3) << ((byte(p + 8) & 7) + 1) : 0) + 1;  // + LZW code size
            skipSubBlocks();
            next.end = p;
            b.images.push_back(next);
            next = {};
        } else {
            b.fault = "unknown block " + std::to_string(introducer);
        }
    }
    return b;
}

Bytes Encode(const Sequence& s, const std::vector<Bytes>& frames, std::vector<size_t>& received) {
    Bytes file;
    GifWriter writer;
    std::string error;
    const auto sink = [&file](const uint8_t* bytes, size_t length) {
        file.insert(file.end(), bytes, bytes + length);
        return true;
    };
    EXPECT_TRUE(GifBegin(writer, {s.width, s.height, s.plays}, sink, error)) << error;
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(GifAddFrame(writer, frames[i].data(), s.steps[i].delay, error)) << error;
        received.push_back(file.size());
    }
    EXPECT_TRUE(GifFinish(writer, error)) << error;
    return file;
}

class GifSequence : public ::testing::TestWithParam<Sequence> {};

TEST_P(GifSequence, BlocksCarryRectanglesDisposalsTablesAndDelays) {
    const Sequence& s = GetParam();
    const std::vector<Bytes> frames = Frames(s);
    std::vector<size_t> received;
    const Bytes file = Encode(s, frames, received);
    const Blocks b = Walk(file);
    ASSERT_EQ(b.fault, "");
    EXPECT_EQ(b.signature, "GIF89a");
    EXPECT_EQ(b.width, s.width);
    EXPECT_EQ(b.height, s.height);
    EXPECT_EQ(b.loop, s.loop);
    EXPECT_TRUE(b.trailer);
    ASSERT_EQ(b.images.size(), frames.size());
    int total = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Step& step = s.steps[i];
        const Image& image = b.images[i];
        if (step.rect[0] >= 0) {
            EXPECT_EQ(image.rect, step.rect) << "frame " << i + 1;
        }
        EXPECT_EQ(image.disposal, step.disposal) << "frame " << i + 1;
        EXPECT_EQ(image.local, step.local) << "frame " << i + 1;
        EXPECT_EQ(image.centiseconds, step.centiseconds) << "frame " << i + 1;
        EXPECT_EQ(image.transparent, 0) << "frame " << i + 1;
        total += image.centiseconds;
        // A frame goes out when the next one comes: nothing after frame 1.
        EXPECT_EQ(received[i], i == 0 ? 0 : b.images[i - 1].end) << "after frame " << i + 1;
    }
    if (s.steps.size() == 30) {
        EXPECT_EQ(total, 100) << "30 frames at 30 fps last exactly a second";
    }
}

// Pillow's composition of each frame against the input: transparent below
// alpha 128, otherwise opaque in the input's colour (exactly, or within the
// sequence's PSNR for pictures of more than 255 colours).
TEST_P(GifSequence, PillowCompositesEveryFrameAndFfprobeCountsThem) {
    VOXWALK_REQUIRE_TOOL(animtest::HavePillow(), "/usr/bin/python3 with Pillow (python3-pil)");
    VOXWALK_REQUIRE_TOOL(animtest::HaveFfprobe(), "ffprobe (ffmpeg)");
    const Sequence& s = GetParam();
    const std::vector<Bytes> frames = Frames(s);
    const std::string path = std::string(VOXWALK_BINARY_DIR) + "/gif_" + s.name + "_" +
                             std::to_string(getpid()) + ".gif";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::string error;
    bool ok = false;
    {
        GifWriter writer;
        ok = GifBegin(writer, {s.width, s.height, s.plays}, GifFileSink(out), error);
        for (size_t i = 0; i < frames.size() && ok; ++i)
            ok = GifAddFrame(writer, frames[i].data(), s.steps[i].delay, error);
        ok = ok && GifFinish(writer, error);
    }
    ASSERT_EQ(std::fclose(out), 0);
    ASSERT_TRUE(ok) << error;

    const animtest::Decoded d = animtest::DecodeWithPillow(path);
    ASSERT_EQ(d.fault, "");
    ASSERT_EQ(d.frames, int(frames.size()));
    EXPECT_EQ(d.loop, s.loop);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(d.durationsMs[i], 10.0 * s.steps[i].centiseconds) << "frame " << i + 1;
        double squares = 0;
        int opaque = 0;
        for (size_t p = 0; p < frames[i].size(); p += 4) {
            const uint8_t* in = &frames[i][p];
            const uint8_t* got = &d.rgba[i][p];
            ASSERT_EQ(got[3], in[3] < 128 ? 0 : 255) << "frame " << i + 1 << " pixel " << p / 4;
            if (in[3] < 128) continue;
            ++opaque;
            for (int c = 0; c < 3; ++c) squares += (got[c] - in[c]) * (got[c] - in[c]);
        }
        if (std::isinf(s.minPsnr)) {
            EXPECT_EQ(squares, 0) << "frame " << i + 1;
        } else if (squares > 0) {
            EXPECT_GE(10 * std::log10(255.0 * 255.0 * 3 * opaque / squares), s.minPsnr) << "frame " << i + 1;
        }
    }
    EXPECT_EQ(animtest::CountFramesWithFfprobe(path, "gif"), int(frames.size()));
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Sequences, GifSequence, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

// A failure anywhere is one line naming the problem; nothing is accepted after it.
TEST(GifWrite, RefusesBadSettingsFramesAndAFailingOutputInOneLine) {
    const uint8_t pixels[4 * 4] = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 0, 1, 1, 1, 255};
    bool open = true;  // what the sink answers
    const auto sink = [&open](const uint8_t*, size_t) { return open; };
    const struct {
        const char* name;
        GifSettings settings;
        int frames;                    // frames added before GifFinish
        int sinkFailsAtFrame;          // 0: never
        bool nullPixels;
        GifDelay delay;
        const char* error;
    } cases[] = {
        {"zero width", {0, 2, 0}, 0, 0, false, {}, "cannot encode 0x2 frames"},
        {"too high", {2, 65536, 0}, 0, 0, false, {}, "cannot encode 2x65536 frames"},
        {"too many plays", {2, 2, 65537}, 0, 0, false, {}, "cannot play 65537 times"},
        {"no frames", {2, 2, 0}, 0, 0, false, {}, "no frames"},
        {"no pixels", {2, 2, 0}, 1, 0, true, {}, "frame 1 has no pixels"},
        {"denominator 0", {2, 2, 0}, 1, 0, false, {1, 0}, "frame 1 lasts a fraction with denominator 0"},
        {"too long", {2, 2, 0}, 1, 0, false, {65535, 99}, "frame 1 lasts longer than GIF's 655.35 s"},
        {"refused header", {2, 2, 0}, 2, 2, false, {}, "cannot write frame 1"},
        {"refused later", {2, 2, 0}, 3, 3, false, {}, "cannot write frame 2"},
        {"refused last", {2, 2, 0}, 1, 99, false, {}, "cannot write frame 1"},
    };
    for (const auto& c : cases) {
        open = true;
        GifWriter writer;
        std::string error, last;
        bool ok = GifBegin(writer, c.settings, sink, error);
        last = error;
        for (int i = 0; i < c.frames && ok; ++i) {
            open = c.sinkFailsAtFrame != i + 1;
            ok = GifAddFrame(writer, c.nullPixels ? nullptr : pixels, c.delay, error);
            last = error;
        }
        if (ok) {
            open = c.sinkFailsAtFrame == 0;
            ok = GifFinish(writer, error);
            last = error;
        }
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(last.rfind("GIF writer: ", 0), 0u) << c.name << ": " << last;
        EXPECT_NE(last.find(c.error), std::string::npos) << c.name << ": " << last;
        EXPECT_EQ(last.find('\n'), std::string::npos) << c.name;
        EXPECT_FALSE(GifAddFrame(writer, pixels, {}, error)) << c.name << ": accepted a frame after failing";
    }
    // A full disk, with the system's reason; the writer is released unfinished.
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    GifWriter writer;
    std::string error;
    ASSERT_TRUE(GifBegin(writer, {2, 2, 0}, GifFileSink(full), error));
    EXPECT_TRUE(GifAddFrame(writer, pixels, {}, error));
    EXPECT_FALSE(GifAddFrame(writer, pixels, {}, error));
    EXPECT_EQ(error, "GIF writer: cannot write frame 1: No space left on device");
    GifRelease(writer);
    std::fclose(full);
}

}  // namespace
