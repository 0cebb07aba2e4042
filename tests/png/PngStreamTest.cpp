// The streamed PNG writer: bands of any height read back by libpng as the
// whole picture (a row filtered against the wrong row above would not), the
// image data split into IDAT chunks, and its refusals.
#include <gtest/gtest.h>

#include <string>

#include "PngTestSupport.h"
#include "png/PngDecoder.h"
#include "png/PngStream.h"

namespace {

using pngtest::Bytes;

TEST(PngStream, BandsOfAnyHeightMakeThePicture) {
    const struct {
        int width, height, channels;
        std::vector<int> bands;
        bool noise;
        size_t idats;
    } cases[] = {
        {5, 7, 3, {1, 2, 4}, false, 1},
        {3, 4, 4, {0, 4}, false, 1},
        {600, 700, 3, {250, 450}, true, 2},  // 1.2 MB of noise: more than one chunk's worth
    };
    for (const auto& c : cases) {
        Bytes pixels(size_t(c.width) * c.height * c.channels);
        uint32_t state = 7;
        for (size_t i = 0; i < pixels.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            pixels[i] = c.noise ? uint8_t(state >> 24) : uint8_t(i * 7 + i / (c.width * c.channels) * 13);
        }
        Bytes file;
        PngStreamWriter writer;
        std::string error;
        const auto sink = [&file](const uint8_t* bytes, size_t length) {
            file.insert(file.end(), bytes, bytes + length);
            return true;
        };
        ASSERT_TRUE(PngStreamBegin(writer, c.width, c.height, c.channels, PngCompression::Fast, sink, error));
        const size_t stride = size_t(c.width) * c.channels;
        int row = 0;
        for (int band : c.bands) {
            ASSERT_TRUE(PngStreamAddRows(writer, &pixels[stride * row], band, stride, error)) << error;
            row += band;
        }
        ASSERT_TRUE(PngStreamFinish(writer, error)) << error;
        pngtest::Rgba image;
        ASSERT_TRUE(pngtest::DecodeWithLibpng(file, image));
        ASSERT_EQ(image.pixels.size(), size_t(c.width) * c.height * 4);
        for (size_t i = 0; i < image.pixels.size(); ++i)
            ASSERT_EQ(image.pixels[i], int(i % 4) < c.channels ? pixels[i / 4 * c.channels + i % 4] : 255) << i;
        size_t idats = 0;
        for (size_t at = 8; at + 12 <= file.size(); at += 12 + PngReadBigEndian32(&file[at]))
            idats += std::string(file.begin() + long(at) + 4, file.begin() + long(at) + 8) == "IDAT";
        EXPECT_EQ(idats, c.idats) << c.width << "x" << c.height;
    }
}

TEST(PngStream, RefusesBadSizesMissingOrExtraRowsAndAFailingOutputInOneLine) {
    const uint8_t pixels[2 * 2 * 4] = {};
    bool open = true;
    const auto sink = [&open](const uint8_t*, size_t) { return open; };
    const struct {
        const char* name;
        int width, channels, rows;
        bool refuseData;
        const char* error;
    } cases[] = {
        {"two channels", 2, 2, 0, false, "cannot encode a 2x2 image of 2 channels"},
        {"no width", 0, 3, 0, false, "cannot encode a 0x2 image"},
        {"a row too many", 2, 3, 3, false, "3 rows added to 0 of 2"},
        {"a row missing", 2, 3, 1, false, "1 rows came of 2"},
        {"output refuses", 2, 4, 2, true, "cannot write the image data"},
    };
    for (const auto& c : cases) {
        open = true;
        PngStreamWriter writer;
        std::string error;
        bool ok = PngStreamBegin(writer, c.width, 2, c.channels, PngCompression::Fast, sink, error);
        open = !c.refuseData;
        ok = ok && PngStreamAddRows(writer, pixels, c.rows, 8, error) && PngStreamFinish(writer, error);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(error.rfind("PNG writer: ", 0), 0u) << c.name << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
        EXPECT_FALSE(PngStreamAddRows(writer, pixels, 1, 8, error)) << c.name << ": took rows after failing";
    }
}

}  // namespace
