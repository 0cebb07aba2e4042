// The PNG writer: libpng reads back what it wrote, each row gets the filter
// the heuristic picks, and a file appears whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#include "PngTestSupport.h"
#include "png/PngDecoder.h"
#include "png/PngWrite.h"

namespace {

struct Picture {
    const char* name;
    int width, height, channels;
    std::vector<uint8_t> pixels;  // top row first
    std::vector<int> filters;     // expected filter type of each row; empty: not checked
};

std::vector<uint8_t> Noise(size_t count) {
    std::vector<uint8_t> bytes(count);
    uint32_t x = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return bytes;
}

// Each (value, count) pair as count bytes of that value, in order.
std::vector<uint8_t> Runs(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<uint8_t> bytes;
    for (const auto& [value, count] : runs) bytes.insert(bytes.end(), count, uint8_t(value));
    return bytes;
}

// Filter sums worked by hand: flat rows pick Sub, then Up (repeats); rows of
// one grey pick None (all zero), Sub (first change), Paeth (up + steady left);
// a one-pixel column where the row is half the one above picks Average.
const std::vector<Picture> kPictures = {
    {"flat_rgb", 2, 2, 3, {10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30}, {1, 2}},
    {"grey_steps_rgb", 4, 3, 3, Runs({{0, 12}, {40, 12}, {80, 12}}), {0, 1, 4}},
    {"half_column_rgb", 1, 3, 3, {0, 0, 0, 100, 100, 100, 50, 50, 50}, {0, 0, 3}},
    {"noise_rgba", 17, 9, 4, Noise(17 * 9 * 4), {}},
    {"noise_rgb_one_row", 33, 1, 3, Noise(33 * 3), {}},
};

class PngWrites : public ::testing::TestWithParam<Picture> {};

TEST_P(PngWrites, LibpngReadsThePixelsBackAndRowsCarryTheChosenFilters) {
    const Picture& p = GetParam();
    for (PngCompression compression : {PngCompression::Fast, PngCompression::Smallest}) {
        SCOPED_TRACE(compression == PngCompression::Fast ? "fast" : "smallest");
        const std::vector<uint8_t> file =
            PngEncode(p.pixels.data(), p.width, p.height, p.channels, compression);
        pngtest::RgbaImage image;
        ASSERT_TRUE(pngtest::DecodeWithLibpng(file, image));
        ASSERT_EQ(image.width * image.height, static_cast<uint32_t>(p.width * p.height));
        for (size_t i = 0; i < image.rgba.size(); ++i) {
            const size_t pixel = i / 4, channel = i % 4;
            const int want =
                channel < size_t(p.channels) ? p.pixels[pixel * p.channels + channel] : 255;
            ASSERT_EQ(image.rgba[i], want) << "pixel " << pixel << " channel " << channel;
        }
        // One IDAT right after the IHDR: inflate it and read each row's filter byte.
        const uint32_t length = PngReadBigEndian32(&file[33]);
        ASSERT_EQ(std::string(file.begin() + 37, file.begin() + 41), "IDAT");
        const size_t stride = size_t(p.width) * p.channels + 1;
        std::vector<uint8_t> raw(stride * p.height);
        uLongf rawSize = raw.size();
        ASSERT_EQ(uncompress(raw.data(), &rawSize, &file[41], length), Z_OK);
        for (size_t row = 0; row < p.filters.size(); ++row)
            EXPECT_EQ(raw[row * stride], p.filters[row]) << "row " << row;
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngWrites, ::testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PngEncode, RefusesWhatItCannotWrite) {
    const uint8_t pixels[64] = {};
    const struct {
        const char* name;
        const uint8_t* pixels;
        int width, height, channels;
    } cases[] = {
        {"no pixels", nullptr, 2, 2, 3},       {"zero width", pixels, 0, 2, 3},
        {"negative height", pixels, 2, -1, 3}, {"two channels", pixels, 2, 2, 2},
        {"five channels", pixels, 2, 2, 5},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(PngEncode(c.pixels, c.width, c.height, c.channels, PngCompression::Fast).empty())
            << c.name;
    }
}

class PngWriteFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            std::filesystem::path(VOXWALK_BINARY_DIR) / ("png_write_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            names.push_back(entry.path().filename());
        return names;
    }
    std::filesystem::path folder_;
};

TEST_F(PngWriteFileTest, ReplacesTheFileWholeWithTheUsualMode) {
    const std::string path = folder_ / "out.png";
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 128};
    const mode_t saved = umask(022);
    std::string error;
    ASSERT_TRUE(PngWriteFile(path.c_str(), red, 1, 1, 4, error)) << error;
    ASSERT_TRUE(PngWriteFile(path.c_str(), blue, 1, 1, 4, error)) << error;
    umask(saved);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.png"});  // no temporary left
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    Image image = PngLoadFile(path.c_str(), 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(image), static_cast<uint8_t*>(image) + 4),
              std::vector<uint8_t>(blue, blue + 4));
    PngFreeImage(image);
}

TEST_F(PngWriteFileTest, FailsNamingTheFileAndLeavesNothing) {
    const uint8_t pixel[4] = {};
    std::filesystem::create_directory(folder_ / "taken.png");
    const struct {
        const char* name;
        std::string path;
        int channels;
        const char* problem;
    } cases[] = {
        {"missing folder", folder_ / "none/out.png", 4, "No such file"},
        {"a folder in the way", folder_ / "taken.png", 4, "cannot put the file in place"},
        {"bad channel count", folder_ / "bad.png", 1, "cannot encode a 1x1 image of 1 channels"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(PngWriteFile(c.path.c_str(), pixel, 1, 1, c.channels, error)) << c.name;
        EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << c.name << ": " << error;
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(Names(), std::vector<std::string>{"taken.png"}) << c.name;
    }
}

}  // namespace
