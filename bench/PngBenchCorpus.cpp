// Generates the benchmark corpus with libpng, once, into a folder of files.
#include "PngBenchCorpus.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "png/PngDecoder.h"

namespace {

// libpng as the corpus writer; the files are cached between runs.
void IgnoreWarning(png_structp, png_const_charp) {}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct MemoryWriter {
    std::vector<uint8_t>* out;
};

void WriteToMemory(png_structp png, png_bytep data, png_size_t count) {
    auto* writer = static_cast<MemoryWriter*>(png_get_io_ptr(png));
    writer->out->insert(writer->out->end(), data, data + count);
}

void FlushNothing(png_structp) {}

// Writes rows (raw samples, big-endian at 16 bits, top row first) with libpng
// using the given filter mask (PNG_FILTER_NONE ... PNG_ALL_FILTERS).
std::vector<uint8_t> EncodeWithLibpng(uint32_t width, uint32_t height, int bitDepth, int colorType, int interlace,
                                      int filters, const std::vector<uint8_t>& samples, int compressionLevel = 6) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    MemoryWriter writer{&out};
    png_set_write_fn(png, &writer, WriteToMemory, FlushNothing);
    png_set_IHDR(png, info, width, height, bitDepth, colorType, interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        for (int i = 0; i < 256; ++i) palette[i] = {png_byte(i * 7), png_byte(255 - i), png_byte(i * 13 + 5)};
        png_set_PLTE(png, info, palette, 1 << bitDepth);
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_compression_level(png, compressionLevel);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(samples.data() + size_t(y) * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Format {
    const char* label;
    int colorType, bitDepth;
};

constexpr Format kFormats[] = {{"g1", 0, 1},   {"g2", 0, 2},     {"g4", 0, 4},    {"g8", 0, 8},    {"g16", 0, 16},
                               {"rgb8", 2, 8}, {"rgb16", 2, 16}, {"p1", 3, 1},    {"p2", 3, 2},    {"p4", 3, 4},
                               {"p8", 3, 8},   {"ga8", 4, 8},    {"ga16", 4, 16}, {"rgba8", 6, 8}, {"rgba16", 6, 16}};

enum class Content { Photo, Gradient, Noise };

struct Spec {
    Format format;
    int interlace;
    Content content;
    int filter;  // 0..4
    uint32_t side;
};

const char* ContentName(Content c) {
    return c == Content::Photo ? "photo" : c == Content::Gradient ? "gradient" : "noise";
}

constexpr const char* kFilterNames[] = {"none", "sub", "up", "avg", "paeth"};
constexpr int kFilterMasks[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};

struct Random {
    uint64_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state);
    }
};

// One RGBA8 picture; the other formats are derived from it.
void Picture(Content content, uint32_t side, std::vector<uint8_t>& rgba) {
    rgba.resize(size_t(side) * side * 4);
    Random random{0x9e3779b97f4a7c15ull};
    for (uint32_t y = 0; y < side; ++y) {
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t* p = &rgba[(size_t(y) * side + x) * 4];
            if (content == Content::Noise) {
                const uint32_t r = random.next();
                std::memcpy(p, &r, 4);
                continue;
            }
            const float fx = float(x) / side, fy = float(y) / side;
            if (content == Content::Gradient) {
                p[0] = uint8_t(fx * 255);
                p[1] = uint8_t(fy * 255);
                p[2] = uint8_t((fx + fy) * 127);
                p[3] = uint8_t(255 - fy * 128);
                continue;
            }
            // Photo-like: soft shapes, a few hard edges and sensor-like noise.
            float v[4] = {128 + 70 * std::sin(fx * 9 + fy * 4) + 30 * std::sin(fx * 37 - fy * 23),
                          120 + 60 * std::sin(fx * 5 - fy * 11) + 35 * std::cos(fx * 29 + fy * 31),
                          110 + 80 * std::cos(fx * 7 + fy * 3) + 25 * std::sin(fx * 53 + fy * 47),
                          200 + 55 * std::sin(fx * 3 + fy * 2)};
            if (((x / 97) + (y / 131)) % 5 == 0) v[0] *= 0.6f, v[1] *= 0.5f, v[2] *= 0.7f;
            const uint32_t n = random.next();
            for (int c = 0; c < 4; ++c) {
                const float noisy = v[c] + float(int((n >> (c * 8)) & 7) - 3);
                p[c] = uint8_t(noisy < 0 ? 0 : noisy > 255 ? 255 : noisy);
            }
        }
    }
}

// Packs the picture into the raw samples of a format, rows top first.
std::vector<uint8_t> Samples(const std::vector<uint8_t>& rgba, uint32_t side, const Format& format) {
    const int channels = PngChannels(format.colorType);
    const size_t rowBytes = (size_t(side) * format.bitDepth * channels + 7) / 8;
    std::vector<uint8_t> out(rowBytes * side, 0);
    for (uint32_t y = 0; y < side; ++y) {
        uint8_t* row = &out[size_t(y) * rowBytes];
        for (uint32_t x = 0; x < side; ++x) {
            const uint8_t* p = &rgba[(size_t(y) * side + x) * 4];
            const uint8_t grey = uint8_t((p[0] + 2 * p[1] + p[2]) / 4);
            uint8_t values[4];
            int count = 0;
            switch (format.colorType) {
                case 0: values[count++] = grey; break;
                case 2: values[0] = p[0], values[1] = p[1], values[2] = p[2], count = 3; break;
                case 3: values[count++] = uint8_t((p[0] >> 5) << 5 | (p[1] >> 5) << 2 | p[2] >> 6); break;
                case 4: values[0] = grey, values[1] = p[3], count = 2; break;
                default: std::memcpy(values, p, 4), count = 4; break;
            }
            for (int c = 0; c < count; ++c) {
                const size_t sample = size_t(x) * channels + c;
                if (format.bitDepth == 16) {
                    row[sample * 2] = values[c];
                    row[sample * 2 + 1] = uint8_t(values[c] ^ (x * 7 + y));  // busy low bytes
                } else if (format.bitDepth == 8) {
                    row[sample] = values[c];
                } else {
                    const int depth = format.bitDepth, perByte = 8 / depth;
                    const uint8_t v = uint8_t(values[c] >> (8 - depth));
                    row[sample / perByte] |= uint8_t(v << ((perByte - 1 - sample % perByte) * depth));
                }
            }
        }
    }
    return out;
}

std::vector<Spec> CorpusSpecs() {
    std::vector<Spec> specs;
    specs.reserve(128);
    for (const Format& format : kFormats) {
        for (int interlace : {0, 1}) {
            specs.push_back({format, interlace, Content::Photo, 4, 2048});
            specs.push_back({format, interlace, Content::Gradient, 1, 2048});
        }
    }
    // 8-bit truecolour: every filter, noise, and one larger image.
    for (const Format& format : {kFormats[5], kFormats[13]}) {
        for (int filter : {0, 1, 2, 3}) specs.push_back({format, 0, Content::Photo, filter, 2048});
        specs.push_back({format, 0, Content::Noise, 0, 2048});
    }
    specs.push_back({kFormats[13], 0, Content::Photo, 4, 4096});
    return specs;
}

std::string SpecName(const Spec& spec) {
    std::string name = spec.format.label;
    if (spec.interlace) name += "-i";
    name += std::string("-") + ContentName(spec.content) + "-" + kFilterNames[spec.filter];
    if (spec.side != 2048) name += "-" + std::to_string(spec.side);
    return name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

}  // namespace

std::vector<BenchImage> LoadBenchCorpus(const std::string& folder) {
    std::filesystem::create_directories(folder);
    std::vector<BenchImage> images;
    std::vector<uint8_t> rgba;
    Content pictureContent = Content::Noise;
    uint32_t pictureSide = 0;
    for (const Spec& spec : CorpusSpecs()) {
        BenchImage image;
        image.name = SpecName(spec);
        image.path = folder + "/" + image.name + ".png";
        image.width = image.height = spec.side;
        // Only the IDAT data is kept: the decoders under test read the file.
        std::vector<uint8_t> file = ReadFileBytes(image.path);
        if (file.empty()) {
            std::fprintf(stderr, "generating %s\n", image.path.c_str());
            if (pictureSide != spec.side || pictureContent != spec.content) {
                Picture(spec.content, spec.side, rgba);
                pictureSide = spec.side;
                pictureContent = spec.content;
            }
            file = EncodeWithLibpng(spec.side, spec.side, spec.format.bitDepth, spec.format.colorType, spec.interlace,
                                    kFilterMasks[spec.filter], Samples(rgba, spec.side, spec.format));
            WriteFile(image.path, file);
        }
        // Join the IDAT data for the zlib floor and size its output.
        for (size_t at = 8; at + 12 <= file.size();) {
            const uint32_t length = PngReadBigEndian32(&file[at]);
            if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
                image.idat.insert(image.idat.end(), &file[at + 8], &file[at + 8 + length]);
            at += size_t(length) + 12;
        }
        PngDecoder sizes;
        PngInitDecoder(sizes, nullptr, 0);
        sizes.width = sizes.height = spec.side;
        sizes.colorType = uint8_t(spec.format.colorType);
        sizes.bitDepth = uint8_t(spec.format.bitDepth);
        sizes.interlaceMethod = uint8_t(spec.interlace);
        image.expectedSize = size_t(PngExpectedSize(sizes));
        images.push_back(std::move(image));
    }
    return images;
}
