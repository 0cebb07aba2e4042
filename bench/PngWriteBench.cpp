// What a snapshot costs after drawing: reading the offscreen framebuffer
// back, and encoding renderings of the viewer (ours at both compressions,
// libpng at its defaults for reference).
//   build/bench/png_write_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Offscreen.h"
#include "png/Png.h"
#include "png/PngWrite.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// A committed rendering as RGB, top row first.
Picture LoadPicture(const char* relative) {
    const std::string path = std::string(VOXWALK_SOURCE_DIR "/") + relative;
    uint32_t width = 0, height = 0;
    PngReadSize(path.c_str(), width, height);
    Image image = PngLoadFile(path.c_str(), 3);
    Picture picture{int(width), int(height), std::vector<uint8_t>(size_t(width) * height * 3)};
    const uint8_t* rgba = static_cast<const uint8_t*>(image);
    for (size_t y = 0; rgba && y < height; ++y) {  // the decoder gives bottom row first
        for (size_t x = 0; x < width; ++x) {
            std::memcpy(&picture.rgb[(y * width + x) * 3], &rgba[((height - 1 - y) * width + x) * 4], 3);
        }
    }
    PngFreeImage(image);
    return picture;
}

// 256: a gallery snapshot; 1024: the window's 1024 x 768 screenshot.
const Picture& Shot(int size) {
    static const Picture small = LoadPicture("docs/gallery/walk-iso.png"), large = LoadPicture("docs/screenshot.png");
    return size == 256 ? small : large;
}

void BM_PngEncode(benchmark::State& state, PngCompression compression) {
    const Picture& p = Shot(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> file = PngEncode(p.rgb.data(), p.width, p.height, 3, compression);
        bytes = file.size();
        benchmark::DoNotOptimize(file);
    }
    state.counters["file_kB"] = double(bytes) / 1000.0;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.rgb.size()));
}
BENCHMARK_CAPTURE(BM_PngEncode, fast, PngCompression::Fast)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PngEncode, smallest, PngCompression::Smallest)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void AppendToVector(png_structp png, png_bytep data, png_size_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

// libpng with its defaults: adaptive filters, zlib level 6, Z_FILTERED.
void BM_LibpngEncode(benchmark::State& state) {
    const Picture& p = Shot(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> file;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &file, AppendToVector, nullptr);
        png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < p.height; ++y) png_write_row(png, &p.rgb[size_t(y) * p.width * 3]);
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        bytes = file.size();
        benchmark::DoNotOptimize(file);
    }
    state.counters["file_kB"] = double(bytes) / 1000.0;
}
BENCHMARK(BM_LibpngEncode)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

// Opening the offscreen context and its framebuffer, as a snapshot does once.
void BM_OpenOffscreen(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = w == 256 ? 256 : 768;
    std::string error;
    for (auto _ : state) {
        if (!OpenOffscreenGL(w, h, error)) state.SkipWithError(error.c_str());
        CloseOffscreenGL();
    }
}
BENCHMARK(BM_OpenOffscreen)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_ReadOffscreenPixels(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = w == 256 ? 256 : (w == 1024 ? 768 : w);
    std::string error;
    if (!OpenOffscreenGL(w, h, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(ReadOffscreenPixels(w, h));
    CloseOffscreenGL();
}
BENCHMARK(BM_ReadOffscreenPixels)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
