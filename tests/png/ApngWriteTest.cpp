// The APNG writer: the chunk layout and the changed rectangles read from the
// bytes, the default image through our decoder and libpng, every composited
// frame through Pillow, the frame count through ffprobe, and its refusals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "PngTestSupport.h"
#include "png/ApngWrite.h"
#include "png/PngDecoder.h"
#include "support/AnimReadBack.h"

namespace {

using animtest::Edit;
using animtest::Rect;
using pngtest::Bytes;

// Each frame after the first is the one before with its edits applied;
// `rect` is the rectangle the writer must store for it.
struct Step {
    std::vector<Edit> edits;
    ApngDelay delay;
    Rect rect;
};

struct Sequence {
    const char* name;
    int width, height, channels;
    uint32_t plays;
    ApngDelay firstDelay;
    std::vector<Step> steps;
    bool noise = false;  // frame 1 random bytes rather than a smooth pattern
};

const std::array<uint8_t, 4> kRed = {255, 0, 0, 255}, kClear = {9, 8, 7, 0}, kHalf = {0, 200, 90, 128};

const Sequence kSequences[] = {
    {"Rgb", 6, 5, 3, 3, {1, 30},
     {{{{{5, 4, 1, 1}, kRed}}, {1, 30}, {5, 4, 1, 1}},                          // the last pixel
      {{}, {0, 1}, {0, 0, 1, 1}},                                                // nothing: 1 x 1
      {{{{1, 1, 1, 1}, kRed}, {{4, 3, 1, 1}, kRed}}, {65535, 1000}, {1, 1, 4, 3}},  // two apart
      {{{{0, 0, 6, 5}, {}, true}}, {1, 1}, {0, 0, 6, 5}},                        // everything
      {{{{0, 2, 6, 1}, kRed}}, {3, 100}, {0, 2, 6, 1}}}},
    {"RgbaTransparency", 5, 4, 4, 0, {1, 30},
     {{{{{1, 1, 2, 2}, kClear}}, {1, 30}, {1, 1, 2, 2}},    // transparency appears
      {{{{1, 1, 2, 2}, kHalf}}, {1, 30}, {1, 1, 2, 2}},     // half alpha where OVER would mix
      {{{{1, 1, 2, 2}, kRed}}, {1, 30}, {1, 1, 2, 2}},      // and disappears
      {{{{1, 1, 1, 1}, {255, 0, 0, 254}}}, {1, 30}, {1, 1, 1, 1}},  // alpha alone changes
      {{}, {1, 30}, {0, 0, 1, 1}},
      {{{{0, 0, 5, 4}, kClear}}, {1, 30}, {0, 0, 5, 4}},    // all gone
      {{{{4, 0, 1, 1}, kHalf}}, {1, 30}, {4, 0, 1, 1}}}},
    {"OneFrame", 3, 2, 4, 1, {1, 2}, {}},
    {"Noise", 64, 48, 3, 0, {1, 30},
     {{{{{10, 10, 8, 8}, kRed}}, {1, 30}, {10, 10, 8, 8}},
      {{{{12, 11, 8, 8}, {0, 0, 255, 255}}}, {1, 30}, {12, 11, 8, 8}}},
     true},
};

void PrintTo(const Sequence& s, std::ostream* out) { *out << s.name; }

std::vector<Bytes> Frames(const Sequence& s) {
    Bytes frame(size_t(s.width) * s.height * s.channels);
    uint32_t state = 12345;
    for (size_t i = 0; i < frame.size(); ++i) {
        const size_t pixel = i / s.channels, x = pixel % s.width, y = pixel / s.width, c = i % s.channels;
        state = state * 1664525u + 1013904223u;
        frame[i] = s.noise ? uint8_t(state >> 24) : c == 3 ? 255 : uint8_t(x * 40 + y * 25 * c + 10);
    }
    std::vector<Bytes> frames = {frame};
    for (const Step& step : s.steps) {
        animtest::Paint(frame, s.width, s.channels, step.edits);
        frames.push_back(frame);
    }
    return frames;
}

pngtest::Rgba AsRgba(const Bytes& frame, const Sequence& s) {
    pngtest::Rgba image{uint32_t(s.width), uint32_t(s.height), {}};
    for (size_t i = 0; i < frame.size(); i += s.channels) {
        image.pixels.insert(image.pixels.end(), &frame[i], &frame[i] + s.channels);
        if (s.channels == 3) image.pixels.push_back(255);
    }
    return image;
}

// Encodes the sequence, noting how many bytes the sink had after each call.
Bytes Encode(const Sequence& s, const std::vector<Bytes>& frames, std::vector<size_t>& received) {
    Bytes file;
    ApngWriter writer;
    std::string error;
    const auto sink = [&file](const uint8_t* bytes, size_t length) {
        file.insert(file.end(), bytes, bytes + length);
        return true;
    };
    EXPECT_TRUE(ApngBegin(writer, {s.width, s.height, s.channels, uint32_t(frames.size()), s.plays}, sink, error))
        << error;
    received.push_back(file.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(ApngAddFrame(writer, frames[i].data(), i == 0 ? s.firstDelay : s.steps[i - 1].delay, error))
            << error;
        received.push_back(file.size());
    }
    EXPECT_TRUE(ApngFinish(writer, error)) << error;
    return file;
}

class ApngSequence : public ::testing::TestWithParam<Sequence> {};

// Chunk by chunk: IHDR, acTL, fcTL 0 and IDAT, then fcTL and fdAT with
// consecutive numbers, each frame's chunks sent by its own call, IEND.
TEST_P(ApngSequence, ChunksCarryTheChangedRectanglesAndArriveFrameByFrame) {
    const Sequence& s = GetParam();
    const std::vector<Bytes> frames = Frames(s);
    std::vector<size_t> received;
    const Bytes file = Encode(s, frames, received);
    std::vector<std::string> types;
    std::vector<size_t> ends;  // where each chunk ends
    uint32_t sequence = 0;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = PngReadBigEndian32(&file[at]);
        const std::string type(file.begin() + long(at) + 4, file.begin() + long(at) + 8);
        const uint8_t* data = &file[at + 8];
        ASSERT_EQ(PngReadBigEndian32(data + length), crc32(0, &file[at + 4], length + 4)) << type;
        if (type == "acTL") {
            EXPECT_EQ(PngReadBigEndian32(data), frames.size());
            EXPECT_EQ(PngReadBigEndian32(data + 4), s.plays);
        }
        if (type == "fcTL" || type == "fdAT") {
            EXPECT_EQ(PngReadBigEndian32(data), sequence++) << type;
        }
        if (type == "fcTL") {
            const size_t frame = std::count(types.begin(), types.end(), "fcTL");
            const Rect rect = frame == 0 ? Rect{0, 0, s.width, s.height} : s.steps[frame - 1].rect;
            const ApngDelay delay = frame == 0 ? s.firstDelay : s.steps[frame - 1].delay;
            EXPECT_EQ((Rect{int(PngReadBigEndian32(data + 12)), int(PngReadBigEndian32(data + 16)),
                            int(PngReadBigEndian32(data + 4)), int(PngReadBigEndian32(data + 8))}),
                      rect) << "frame " << frame + 1;
            EXPECT_EQ(data[20] << 8 | data[21], delay.numerator);
            EXPECT_EQ(data[22] << 8 | data[23], delay.denominator);
            EXPECT_EQ(data[24] << 8 | data[25], 0) << "dispose NONE, blend SOURCE";
        }
        types.push_back(type);
        at += 12 + length;
        ends.push_back(at);
    }
    std::vector<std::string> expected = {"IHDR", "acTL", "fcTL", "IDAT"};
    for (size_t i = 1; i < frames.size(); ++i) expected.insert(expected.end(), {"fcTL", "fdAT"});
    expected.push_back("IEND");
    ASSERT_EQ(types, expected);
    EXPECT_EQ(ends.back(), file.size());
    // After the header: 2 chunks; after frame k: 2 more each.
    for (size_t call = 0; call + 1 < received.size(); ++call)
        EXPECT_EQ(received[call], ends[1 + 2 * call]) << "call " << call;

    // The still image for viewers without APNG is frame 1, for us and for libpng.
    EXPECT_EQ(pngtest::Differs(PngDecodeMemory(file.data(), file.size(), 3), 3, AsRgba(frames[0], s)), "");
    pngtest::Rgba still;
    ASSERT_TRUE(pngtest::DecodeWithLibpng(file, still));
    EXPECT_EQ(still.pixels, AsRgba(frames[0], s).pixels);
}

TEST_P(ApngSequence, PillowCompositesEveryFrameExactlyAndFfprobeCountsThem) {
    VOXWALK_REQUIRE_TOOL(animtest::HavePillow(), "/usr/bin/python3 with Pillow (python3-pil)");
    VOXWALK_REQUIRE_TOOL(animtest::HaveFfprobe(), "ffprobe (ffmpeg)");
    const Sequence& s = GetParam();
    const std::vector<Bytes> frames = Frames(s);
    const std::string path = std::string(VOXWALK_BINARY_DIR) + "/apng_" + s.name + "_" +
                             std::to_string(getpid()) + ".png";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ApngWriter writer;
    std::string error;
    bool ok = ApngBegin(writer, {s.width, s.height, s.channels, uint32_t(frames.size()), s.plays},
                        ApngFileSink(out), error);
    for (size_t i = 0; i < frames.size() && ok; ++i)
        ok = ApngAddFrame(writer, frames[i].data(), i == 0 ? s.firstDelay : s.steps[i - 1].delay, error);
    ok = ok && ApngFinish(writer, error);
    ASSERT_EQ(std::fclose(out), 0);
    ASSERT_TRUE(ok) << error;

    const animtest::Decoded d = animtest::DecodeWithPillow(path);
    ASSERT_EQ(d.fault, "");
    ASSERT_EQ(d.frames, int(frames.size()));
    EXPECT_EQ(d.loop, long(s.plays));
    for (size_t i = 0; i < frames.size(); ++i) {
        const ApngDelay delay = i == 0 ? s.firstDelay : s.steps[i - 1].delay;
        EXPECT_DOUBLE_EQ(d.durationsMs[i], 1000.0 * delay.numerator / delay.denominator) << "frame " << i + 1;
        EXPECT_EQ(d.rgba[i], AsRgba(frames[i], s).pixels) << "frame " << i + 1;
    }
    EXPECT_EQ(animtest::CountFramesWithFfprobe(path, "apng"), int(frames.size()));
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Sequences, ApngSequence, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

// A failure anywhere is one line naming the problem; nothing is accepted after it.
TEST(ApngWrite, RefusesBadSettingsFramesAndAFailingOutputInOneLine) {
    const uint8_t pixels[4 * 4] = {};
    bool open = true;  // what the sink answers
    const auto sink = [&open](const uint8_t*, size_t) { return open; };
    const struct {
        const char* name;
        ApngSettings settings;
        int framesAdded;              // frames added before ApngFinish
        bool sinkFailsAtFrame2, nullPixels, zeroDenominator;
        const char* error;
    } cases[] = {
        {"zero width", {0, 2, 4, 1, 0}, 0, false, false, false, "cannot encode 0x2 frames of 4 channels"},
        {"two channels", {2, 2, 2, 1, 0}, 0, false, false, false, "cannot encode 2x2 frames of 2 channels"},
        {"no frames", {2, 2, 4, 0, 0}, 0, false, false, false, "cannot announce 0 frames"},
        {"too many frames", {2, 2, 4, (1u << 30) + 1, 0}, 0, false, false, false, "cannot announce 1073741825"},
        {"too many plays", {2, 2, 4, 1, 1u << 31}, 0, false, false, false, "played 2147483648 times"},
        {"unannounced frame", {2, 2, 4, 1, 0}, 2, false, false, false, "frame 2 of 1 was not announced"},
        {"missing frame", {2, 2, 4, 3, 0}, 2, false, false, false, "2 frames came of 3 announced"},
        {"no pixels", {2, 2, 3, 2, 0}, 1, false, true, false, "frame 1 of 2 has no pixels"},
        {"denominator 0", {2, 2, 3, 2, 0}, 1, false, false, true, "frame 1 of 2 lasts a fraction with"},
        {"output refuses", {2, 2, 4, 2, 0}, 2, true, false, false, "cannot write frame 2"},
    };
    for (const auto& c : cases) {
        open = true;
        ApngWriter writer;
        std::string error, last;
        bool ok = ApngBegin(writer, c.settings, sink, error);
        last = error;
        for (int i = 0; i < c.framesAdded && ok; ++i) {
            open = !(c.sinkFailsAtFrame2 && i == 1);
            const ApngDelay delay = {1, c.zeroDenominator ? uint16_t(0) : uint16_t(30)};
            ok = ApngAddFrame(writer, c.nullPixels ? nullptr : pixels, delay, error);
            last = error;
        }
        if (ok) {
            ok = ApngFinish(writer, error);
            last = error;
        }
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(last.rfind("APNG writer: ", 0), 0u) << c.name << ": " << last;
        EXPECT_NE(last.find(c.error), std::string::npos) << c.name << ": " << last;
        EXPECT_EQ(last.find('\n'), std::string::npos) << c.name;
        EXPECT_FALSE(ApngAddFrame(writer, pixels, {}, error)) << c.name << ": accepted a frame after failing";
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
