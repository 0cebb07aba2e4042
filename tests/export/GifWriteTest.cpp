// The GIF writer: each frame goes out when the next comes, as the rectangle
// that changed, on the global colour table where it can; Pillow composites
// every frame against the input (transparency exact, colours exact or within
// a PSNR), with its duration and the loop count, and ffprobe counts them;
// and its refusals.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "app/export/GifWrite.h"
#include "support/AnimReadBack.h"

namespace {

using animtest::Edit;
using animtest::Rect;
using Bytes = std::vector<uint8_t>;
using Pixel = std::array<uint8_t, 4>;

// A frame: the one before with its edits applied (frame 1: none), its delay,
// and what the writer must make of it.
struct Step {
    std::vector<Edit> edits;
    GifDelay delay;
    Rect rect;   // {-1, ...}: not checked
    bool local;  // carries its own colour table
    int centiseconds;
};

struct Sequence {
    const char* name;
    int width, height;
    uint32_t plays;
    long loop;      // the loop count Pillow reads; -1: none
    bool gradient;  // frame 1 of many colours (else 30 or fewer)
    Pixel fill;     // frame 1 when alpha is 0; else the pattern
    std::vector<Step> steps;
    double minPsnr;  // per frame; infinity: exact
};

const Pixel kRed = {255, 0, 0, 255}, kGone = {9, 8, 7, 0}, kPattern = {0, 0, 0, 255};
const Pixel kCorner = {10, 10, 100, 255};  // the pattern's colour at (0, 0)

std::vector<Step> ThirtyColours() {  // 30 fps: 3, 4, 3 centiseconds, a second in all
    std::vector<Step> steps;
    for (int i = 0; i < 30; ++i)
        steps.push_back({{{{0, 0, 2, 2}, {uint8_t(i * 8), uint8_t(255 - i * 8), 50, 255}}},
                         {1, 30},
                         {0, 0, 2, 2},
                         i > 0,
                         i % 3 == 1 ? 4 : 3});
    return steps;
}

const Sequence kSequences[] = {
    {"FewColours",
     6,
     5,
     0,
     0,
     false,
     kPattern,
     {{{}, {1, 30}, {0, 0, 6, 5}, false, 3},
      {{{{5, 4, 1, 1}, kCorner}}, {1, 30}, {5, 4, 1, 1}, false, 4},  // a colour it had: the global table
      {{}, {1, 30}, {0, 0, 1, 1}, false, 3},                         // nothing: 1 x 1
      // Two pixels apart in a new colour; the next frame clears a block, so
      // this one grows over it, to be cleared after showing.
      {{{{1, 1, 1, 1}, kRed}, {{4, 3, 1, 1}, kRed}}, {1, 30}, {1, 0, 4, 4}, true, 3},
      {{{{2, 0, 2, 2}, kGone}}, {1, 30}, {1, 0, 4, 4}, true, 4},               // transparency appears
      {{{{2, 0, 2, 2}, kRed}}, {1, 30}, {0, 0, 4, 2}, true, 3},                // and goes
      {{{{0, 0, 1, 1}, {10, 10, 100, 127}}}, {1, 30}, {0, 0, 4, 2}, true, 3},  // alpha 127: gone
      {{{{0, 0, 1, 1}, {10, 10, 100, 128}}}, {1, 30}, {0, 0, 1, 1}, true, 4},  // alpha 128: shown
      {{{{0, 0, 6, 5}, {}, true}}, {1, 30}, {0, 0, 6, 5}, true, 3}},           // everything
     INFINITY},
    {"Gradient",
     32,
     24,
     3,
     2,
     true,
     kPattern,
     {{{}, {1, 10}, {0, 0, 32, 24}, false, 10},
      {{{{4, 4, 8, 8}, {0, 0, 128, 255}}}, {1, 10}, {4, 4, 8, 8}, false, 10},
      {{{{0, 0, 32, 24}, {}, true}}, {1, 10}, {-1}, true, 10}},
     36.0},  // 768 colours on a grid of steps 8 and 10, 3 to an entry: about 37 dB at best
    {"ThirtyFramesPlayedOnce", 2, 2, 1, -1, false, kGone, ThirtyColours(), INFINITY},
    {"FromTransparent",
     4,
     4,
     0,
     0,
     false,
     kGone,
     {{{}, {1, 2}, {0, 0, 4, 4}, false, 50},
      {{{{1, 1, 2, 2}, kRed}}, {65535, 1000}, {1, 1, 2, 2}, true, 6554},  // 66.035 s: 6603.5 rounds up
      // Moves; round the loop, frame 1 has nothing there, so it is cleared.
      {{{{1, 1, 2, 2}, kGone}, {{2, 2, 2, 2}, kRed}}, {1, 3}, {2, 2, 2, 2}, true, 33}},
     INFINITY},
};

void PrintTo(const Sequence& s, std::ostream* out) { *out << s.name; }

// The image descriptors of a GIF file: each one's rectangle, whether it has a
// local table, and where its data ends; "" or what is wrong.
struct Image {
    Rect rect{};
    bool local = false;
    size_t end = 0;
};

std::string Walk(const Bytes& file, std::vector<Image>& images) {
    size_t p = 13;
    auto byte = [&](size_t at) -> int { return at < file.size() ? file[at] : 0; };
    auto word = [&](size_t at) { return byte(at) | byte(at + 1) << 8; };
    auto table = [&](int flags) { return (flags & 0x80) ? size_t(3) << ((flags & 7) + 1) : 0; };
    auto skipSubBlocks = [&]() {
        while (p < file.size() && byte(p)) p += size_t(byte(p)) + 1;
        ++p;
    };
    p += table(byte(10));
    while (p < file.size()) {
        const int introducer = byte(p++);
        if (introducer == 0x3B) return p == file.size() ? "" : "bytes after the trailer";
        if (introducer == 0x21) {
            ++p;  // the label
            skipSubBlocks();
        } else if (introducer == 0x2C) {
            const Rect rect = {word(p), word(p + 2), word(p + 4), word(p + 6)};
            const bool local = byte(p + 8) & 0x80;
            p += 9 + table(byte(p + 8)) + 1;  // + LZW code size
            skipSubBlocks();
            images.push_back({rect, local, p});
        } else {
            return "unknown block " + std::to_string(introducer);
        }
    }
    return "no trailer";
}

class GifSequence : public ::testing::TestWithParam<Sequence> {};

TEST_P(GifSequence, EachFrameIsItsChangedRectangleAndPillowReadsEveryFrameBack) {
    const Sequence& s = GetParam();
    std::vector<Bytes> frames;
    Bytes frame(size_t(s.width) * s.height * 4);
    for (size_t p = 0; p < frame.size() / 4; ++p) {
        const int x = int(p % s.width), y = int(p / s.width);
        const Pixel pixel = s.fill[3] == 0 ? s.fill
                            : s.gradient   ? Pixel{uint8_t(x * 8), uint8_t(y * 10), uint8_t(128 + x - y), 255}
                                           : Pixel{uint8_t(x * 40 + 10), uint8_t(y * 50 + 10), 100, 255};
        std::copy(pixel.begin(), pixel.end(), &frame[p * 4]);
    }
    for (const Step& step : s.steps) {
        animtest::Paint(frame, s.width, 4, step.edits);
        frames.push_back(frame);
    }
    Bytes file;
    std::vector<size_t> received;  // bytes the sink had after each frame
    std::string error;
    {
        GifWriter writer;
        const auto sink = [&file](const uint8_t* bytes, size_t length) {
            file.insert(file.end(), bytes, bytes + length);
            return true;
        };
        ASSERT_TRUE(GifBegin(writer, {s.width, s.height, s.plays}, sink, error)) << error;
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_TRUE(GifAddFrame(writer, frames[i].data(), s.steps[i].delay, error)) << error;
            received.push_back(file.size());
        }
        ASSERT_TRUE(GifFinish(writer, error)) << error;
    }
    std::vector<Image> images;
    ASSERT_EQ(Walk(file, images), "");
    ASSERT_EQ(images.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        if (s.steps[i].rect[0] >= 0) {
            EXPECT_EQ(images[i].rect, s.steps[i].rect) << "frame " << i + 1;
        }
        EXPECT_EQ(images[i].local, s.steps[i].local) << "frame " << i + 1;
        // A frame goes out when the next comes: nothing after frame 1.
        EXPECT_EQ(received[i], i == 0 ? 0 : images[i - 1].end) << "after frame " << i + 1;
    }

    VOXWALK_REQUIRE_TOOL(animtest::HavePillow(), "/usr/bin/python3 with Pillow (python3-pil)");
    VOXWALK_REQUIRE_TOOL(animtest::HaveFfprobe(), "ffprobe (ffmpeg)");
    std::vector<double> durations;
    for (const Step& step : s.steps) durations.push_back(10.0 * step.centiseconds);
    const animtest::Decoded d = animtest::ReadBack(file, std::string("gif_") + s.name, "gif", durations, s.loop);
    // Transparent below alpha 128, otherwise opaque in the input's colour.
    for (size_t i = 0; i < d.rgba.size(); ++i) {
        double squares = 0;
        int opaque = 0;
        for (size_t p = 0; p < frames[i].size(); p += 4) {
            const uint8_t *in = &frames[i][p], *got = &d.rgba[i][p];
            ASSERT_EQ(got[3], in[3] < 128 ? 0 : 255) << "frame " << i + 1 << " pixel " << p / 4;
            if (in[3] < 128) continue;
            ++opaque;
            for (int c = 0; c < 3; ++c) squares += (got[c] - in[c]) * (got[c] - in[c]);
        }
        const double psnr = squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * 3 * opaque / squares);
        EXPECT_GE(psnr, s.minPsnr) << "frame " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, GifSequence, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

// A failure anywhere is one line naming the problem; nothing is accepted after it.
TEST(GifWrite, RefusesBadSettingsFramesAndAFailingOutputInOneLine) {
    const uint8_t pixels[4 * 4] = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 0, 1, 1, 1, 255};
    bool open = true;  // what the sink answers
    const auto sink = [&open](const uint8_t*, size_t) { return open; };
    const struct {
        GifSettings settings;
        int frames;        // frames added before GifFinish
        int refusedFrame;  // the sink refuses from this frame's call on (frames + 1: GifFinish); 0: never
        bool nullPixels;
        GifDelay delay;
        const char* error;
    } cases[] = {
        {{0, 2, 0}, 0, 0, false, {}, "cannot encode 0x2 frames"},
        {{2, 65536, 0}, 0, 0, false, {}, "cannot encode 2x65536 frames"},
        {{2, 2, 65537}, 0, 0, false, {}, "cannot play 65537 times"},
        {{2, 2, 0}, 0, 0, false, {}, "no frames"},
        {{2, 2, 0}, 1, 0, true, {}, "frame 1 has no pixels"},
        {{2, 2, 0}, 1, 0, false, {1, 0}, "frame 1 lasts a fraction with denominator 0"},
        {{2, 2, 0}, 1, 0, false, {65535, 99}, "frame 1 lasts longer than GIF's 655.35 s"},
        {{2, 2, 0}, 2, 2, false, {}, "cannot write frame 1"},  // the header goes out with frame 1
        {{2, 2, 0}, 3, 3, false, {}, "cannot write frame 2"},
        {{2, 2, 0}, 1, 2, false, {}, "cannot write frame 1"},  // the last, by GifFinish
    };
    for (const auto& c : cases) {
        open = true;
        GifWriter writer;
        std::string error;
        bool ok = GifBegin(writer, c.settings, sink, error);
        for (int i = 0; i <= c.frames && ok; ++i) {
            open = c.refusedFrame == 0 || i + 1 < c.refusedFrame;
            ok = i < c.frames ? GifAddFrame(writer, c.nullPixels ? nullptr : pixels, c.delay, error)
                              : GifFinish(writer, error);
        }
        EXPECT_FALSE(ok) << c.error;
        EXPECT_EQ(error.rfind("GIF writer: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(GifAddFrame(writer, pixels, {}, error)) << c.error << ": accepted a frame after failing";
        EXPECT_NE(error.find(" after a failure"), std::string::npos) << c.error << ": " << error;
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
