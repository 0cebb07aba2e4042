// The APNG writer: each call sends its own frame's chunks, stored as the
// rectangle that changed; libpng reads frame 1 as the still image; Pillow
// composites every frame exactly, with its duration and the loop count, and
// ffprobe counts them; and its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "PngTestSupport.h"
#include "png/ApngWrite.h"
#include "png/PngDecoder.h"
#include "support/AnimReadBack.h"

namespace {

using animtest::Edit;
using animtest::Rect;
using pngtest::Bytes;

// A frame: the one before with its edits applied (frame 1: none), its delay
// and the rectangle the writer must store for it.
struct Step {
    std::vector<Edit> edits;
    ApngDelay delay;
    Rect rect;
};

struct Sequence {
    const char* name;
    int width, height, channels;
    uint32_t plays;
    std::vector<Step> steps;
    bool noise = false;  // frame 1 random bytes rather than a smooth pattern
};

const std::array<uint8_t, 4> kRed = {255, 0, 0, 255}, kClear = {9, 8, 7, 0}, kHalf = {0, 200, 90, 128};

const Sequence kSequences[] = {
    {"Rgb",
     6,
     5,
     3,
     3,
     {{{}, {1, 30}, {0, 0, 6, 5}},
      {{{{5, 4, 1, 1}, kRed}}, {1, 30}, {5, 4, 1, 1}},                              // the last pixel
      {{}, {0, 1}, {0, 0, 1, 1}},                                                   // nothing: 1 x 1
      {{{{1, 1, 1, 1}, kRed}, {{4, 3, 1, 1}, kRed}}, {65535, 1000}, {1, 1, 4, 3}},  // two apart
      {{{{0, 0, 6, 5}, {}, true}}, {1, 1}, {0, 0, 6, 5}}}},                         // everything
    {"RgbaTransparency",
     5,
     4,
     4,
     0,
     {{{}, {1, 2}, {0, 0, 5, 4}},
      {{{{1, 1, 2, 2}, kClear}}, {1, 30}, {1, 1, 2, 2}},             // transparency appears
      {{{{1, 1, 2, 2}, kHalf}}, {1, 30}, {1, 1, 2, 2}},              // half alpha, where OVER would mix
      {{{{1, 1, 1, 1}, {0, 200, 90, 127}}}, {1, 30}, {1, 1, 1, 1}},  // alpha alone changes
      {{{{0, 0, 5, 4}, kClear}}, {1, 30}, {0, 0, 5, 4}}}},           // all gone
    {"OneFrame", 3, 2, 4, 1, {{{}, {3, 100}, {0, 0, 3, 2}}}},
    {"Noise", 64, 48, 3, 0, {{{}, {1, 30}, {0, 0, 64, 48}}, {{{{12, 11, 8, 8}, kRed}}, {1, 30}, {12, 11, 8, 8}}}, true},
};

void PrintTo(const Sequence& s, std::ostream* out) { *out << s.name; }

class ApngSequence : public ::testing::TestWithParam<Sequence> {};

TEST_P(ApngSequence, EachCallSendsItsChangedRectangleAndPillowReadsEveryFrameBack) {
    const Sequence& s = GetParam();
    // The frames, and the same as R, G, B, A for the decoders' answers.
    std::vector<Bytes> frames, rgba;
    Bytes frame(size_t(s.width) * s.height * s.channels);
    uint32_t state = 12345;
    for (size_t i = 0; i < frame.size(); ++i) {
        const size_t pixel = i / s.channels, x = pixel % s.width, y = pixel / s.width, c = i % s.channels;
        state = state * 1664525u + 1013904223u;
        frame[i] = s.noise ? uint8_t(state >> 24) : c == 3 ? 255 : uint8_t(x * 40 + y * 25 * c + 10);
    }
    for (const Step& step : s.steps) {
        animtest::Paint(frame, s.width, s.channels, step.edits);
        frames.push_back(frame);
        rgba.emplace_back();
        for (size_t i = 0; i < frame.size(); i += s.channels) {
            rgba.back().insert(rgba.back().end(), &frame[i], &frame[i] + s.channels);
            if (s.channels == 3) rgba.back().push_back(255);
        }
    }

    Bytes file;
    std::vector<size_t> received;  // bytes the sink had after each call
    ApngWriter writer;
    std::string error;
    const auto sink = [&file](const uint8_t* bytes, size_t length) {
        file.insert(file.end(), bytes, bytes + length);
        return true;
    };
    ASSERT_TRUE(ApngBegin(writer, {s.width, s.height, s.channels, uint32_t(frames.size()), s.plays}, sink, error));
    received.push_back(file.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(ApngAddFrame(writer, frames[i].data(), s.steps[i].delay, error)) << error;
        received.push_back(file.size());
    }
    ASSERT_TRUE(ApngFinish(writer, error)) << error;

    // Chunk by chunk: IHDR, acTL, fcTL 0 and IDAT, then fcTL and fdAT numbered on, IEND; after the header
    // two chunks have gone out, and two more after each frame.
    std::vector<std::string> types, expected = {"IHDR", "acTL", "fcTL", "IDAT"};
    for (size_t i = 1; i < frames.size(); ++i) expected.insert(expected.end(), {"fcTL", "fdAT"});
    expected.push_back("IEND");
    std::vector<size_t> ends;
    uint32_t sequence = 0;
    for (size_t at = 8; at + 12 <= file.size(); at += 12 + PngReadBigEndian32(&file[at])) {
        const uint32_t length = PngReadBigEndian32(&file[at]);
        const std::string type(file.begin() + long(at) + 4, file.begin() + long(at) + 8);
        const uint8_t* data = &file[at + 8];
        ASSERT_EQ(PngReadBigEndian32(data + length), crc32(0, &file[at + 4], length + 4)) << type;
        if (type == "fcTL" || type == "fdAT") {
            EXPECT_EQ(PngReadBigEndian32(data), sequence++) << type;
        }
        if (type == "fcTL") {
            const size_t i = size_t(std::count(types.begin(), types.end(), "fcTL"));
            EXPECT_EQ((Rect{int(PngReadBigEndian32(data + 12)), int(PngReadBigEndian32(data + 16)),
                            int(PngReadBigEndian32(data + 4)), int(PngReadBigEndian32(data + 8))}),
                      s.steps[i].rect)
                << "frame " << i + 1;
        }
        types.push_back(type);
        ends.push_back(at + 12 + length);
    }
    ASSERT_EQ(types, expected);
    EXPECT_EQ(ends.back(), file.size());
    for (size_t call = 0; call + 1 < received.size(); ++call) EXPECT_EQ(received[call], ends[1 + 2 * call]) << call;

    pngtest::Rgba still;  // what a reader without APNG shows
    ASSERT_TRUE(pngtest::DecodeWithLibpng(file, still));
    EXPECT_EQ(still.pixels, rgba[0]);

    VOXWALK_REQUIRE_TOOL(animtest::HavePillow(), "/usr/bin/python3 with Pillow (python3-pil)");
    VOXWALK_REQUIRE_TOOL(animtest::HaveFfprobe(), "ffprobe (ffmpeg)");
    std::vector<double> durations;
    for (const Step& step : s.steps) durations.push_back(1000.0 * step.delay.numerator / step.delay.denominator);
    const animtest::Decoded d = animtest::ReadBack(file, std::string("apng_") + s.name, "apng", durations, s.plays);
    for (size_t i = 0; i < d.rgba.size(); ++i) EXPECT_EQ(d.rgba[i], rgba[i]) << "frame " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(Sequences, ApngSequence, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

// A failure anywhere is one line naming the problem; nothing is accepted after it.
TEST(ApngWrite, RefusesBadSettingsFramesAndAFailingOutputInOneLine) {
    const uint8_t pixels[4 * 4] = {};
    bool open = true;  // what the sink answers
    const auto sink = [&open](const uint8_t*, size_t) { return open; };
    const struct {
        ApngSettings settings;
        int frames;        // frames added before ApngFinish
        int refusedFrame;  // the sink refuses this frame; 0: none
        bool nullPixels;
        uint16_t denominator;
        const char* error;
    } cases[] = {
        {{0, 2, 4, 1, 0}, 0, 0, false, 30, "cannot encode 0x2 frames of 4 channels"},
        {{2, 2, 2, 1, 0}, 0, 0, false, 30, "cannot encode 2x2 frames of 2 channels"},
        {{2, 2, 4, 0, 0}, 0, 0, false, 30, "cannot announce 0 frames"},
        {{2, 2, 4, (1u << 30) + 1, 0}, 0, 0, false, 30, "cannot announce 1073741825"},
        {{2, 2, 4, 1, 1u << 31}, 0, 0, false, 30, "played 2147483648 times"},
        {{2, 2, 4, 1, 0}, 2, 0, false, 30, "frame 2 of 1 was not announced"},
        {{2, 2, 4, 3, 0}, 2, 0, false, 30, "2 frames came of 3 announced"},
        {{2, 2, 3, 2, 0}, 1, 0, true, 30, "frame 1 of 2 has no pixels"},
        {{2, 2, 3, 2, 0}, 1, 0, false, 0, "frame 1 of 2 lasts a fraction with"},
        {{2, 2, 4, 2, 0}, 2, 2, false, 30, "cannot write frame 2"},
    };
    for (const auto& c : cases) {
        open = true;
        ApngWriter writer;
        std::string error;
        bool ok = ApngBegin(writer, c.settings, sink, error);
        for (int i = 0; i < c.frames && ok; ++i) {
            open = c.refusedFrame != i + 1;
            ok = ApngAddFrame(writer, c.nullPixels ? nullptr : pixels, {1, c.denominator}, error);
        }
        ok = ok && ApngFinish(writer, error);
        EXPECT_FALSE(ok) << c.error;
        EXPECT_EQ(error.rfind("APNG writer: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(ApngAddFrame(writer, pixels, {}, error)) << c.error << ": accepted a frame after failing";
    }
    // A full disk, with the system's reason.
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    ApngWriter writer;
    std::string error;
    EXPECT_FALSE(ApngBegin(writer, {2, 2, 4, 1, 0}, ApngFileSink(full), error));
    EXPECT_EQ(error, "APNG writer: cannot write the header: No space left on device");
    std::fclose(full);
}

}  // namespace
