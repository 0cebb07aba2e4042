// The PNG writer: libpng reads back what it wrote, each row gets the filter
// the heuristic picks, and a file appears whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "PngTestSupport.h"
#include "png/PngDecoder.h"
#include "png/PngWrite.h"

namespace {

// Filter sums worked by hand: flat rows pick Sub, then Up (repeats); rows of
// one grey pick None (all zero), Sub (first change), Paeth (up + steady left);
// a one-pixel column where the row is half the one above picks Average.
// Expected filter types of the rows; none: not checked.
const struct {
    int width, height, channels;
    pngtest::Bytes pixels, filters;
} kPictures[] = {
    {2, 2, 3, {10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30}, {1, 2}},
    {2, 3, 3, {0, 0, 0, 0, 0, 0, 40, 40, 40, 40, 40, 40, 80, 80, 80, 80, 80, 80}, {0, 1, 4}},
    {1, 3, 3, {0, 0, 0, 100, 100, 100, 50, 50, 50}, {0, 0, 3}},
    {3, 1, 4, {0, 0, 0, 0, 255, 128, 7, 200, 13, 250, 99, 255}, {}},
};

TEST(PngWrite, LibpngReadsThePixelsBackAndRowsCarryTheChosenFilters) {
    for (const auto& p : kPictures)
        for (PngCompression compression : {PngCompression::Fast, PngCompression::Smallest}) {
            const pngtest::Bytes file = PngEncode(p.pixels.data(), p.width, p.height, p.channels, compression);
            pngtest::Rgba image;
            ASSERT_TRUE(pngtest::DecodeWithLibpng(file, image));
            ASSERT_EQ(image.width * image.height, uint32_t(p.width * p.height));
            for (size_t i = 0; i < image.pixels.size(); ++i)  // no alpha reads as 255
                ASSERT_EQ(image.pixels[i], int(i % 4) < p.channels ? p.pixels[i / 4 * p.channels + i % 4] : 255) << i;
            // One IDAT right after the IHDR: inflate it and read each row's filter byte.
            ASSERT_EQ(std::string(file.begin() + 37, file.begin() + 41), "IDAT");
            const size_t stride = size_t(p.width) * p.channels + 1;
            pngtest::Bytes raw(stride * p.height);
            uLongf rawSize = raw.size();
            ASSERT_EQ(uncompress(raw.data(), &rawSize, &file[41], PngReadBigEndian32(&file[33])), Z_OK);
            for (size_t row = 0; row < p.filters.size(); ++row)
                EXPECT_EQ(raw[row * stride], p.filters[row]) << p.width << "x" << p.height << " row " << row;
        }
}

// Writes twice over one name, then fails in every way it can: each time
// the folder holds the finished file and nothing else.
TEST(PngWriteFile, WritesWholeOrNothingAndNamesTheFileOnFailure) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(VOXWALK_BINARY_DIR) / ("png_write_" + std::to_string(getpid()));
    fs::create_directories(folder / "taken.png");
    const std::string path = folder / "out.png";
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 128};
    const mode_t saved = umask(022);
    std::string error;
    EXPECT_TRUE(PngWriteFile(path.c_str(), red, 1, 1, 4, error)) << error;
    EXPECT_TRUE(PngWriteFile(path.c_str(), blue, 1, 1, 4, error)) << error;
    umask(saved);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
    EXPECT_EQ(pngtest::Differs(PngLoadFile(path.c_str(), 3), 3, {1, 1, {0, 0, 255, 128}}), "");  // the second
    const struct {
        std::string path;
        const uint8_t* pixels;
        int width, channels;
        const char* error;
    } cases[] = {
        {folder / "none/out.png", red, 1, 4, ": cannot create a file beside it: No such file"},
        {folder / "taken.png", red, 1, 4, ": cannot put the file in place"},
        {folder / "a.png", red, 1, 2, ": cannot encode a 1x1 image of 2 channels"},
        {folder / "b.png", red, 0, 3, ": cannot encode a 0x1 image of 3 channels"},
        {folder / "c.png", nullptr, 1, 3, ": cannot encode a 1x1 image of 3 channels"},
        {"", red, 1, 3, "PNG writer: no file name"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(PngWriteFile(c.path.c_str(), c.pixels, c.width, 1, c.channels, error));
        EXPECT_EQ(error.rfind(c.path + c.error, 0), 0u) << error;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "a temporary was left";
    fs::remove_all(folder);
}

}  // namespace
