// PNG decode speed, per corpus image, four ways side by side:
//   voxwalk  PngLoadFile, target 3 (file read, parse, inflate, unfilter, convert)
//   zlib     uncompress alone of the joined IDAT data into exactly E bytes:
//            the floor for any decoder that inflates in one call
//   libpng   png_read_image to RGBA8 under the same rules (expand, strip_16,
//            gray_to_rgb, opaque filler), from the file
//   stb      stbi_load with 4 channels, from the file
// Throughput is counted in bytes of RGBA8 output. The corpus is generated on
// the first run into the folder given by --corpus=DIR (default png-bench-corpus).
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <stb/stb_image.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PngBenchCorpus.h"
#include "png/Png.h"

namespace {

void SetOutputCounters(benchmark::State& state, const BenchImage& image) {
    state.SetBytesProcessed(int64_t(state.iterations()) * image.width * image.height * 4);
}

void Voxwalk(benchmark::State& state, const BenchImage* image) {
    for (auto _ : state) {
        Image decoded = PngLoadFile(image->path.c_str(), 3);
        if (!decoded) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(decoded);
        PngFreeImage(decoded);
    }
    SetOutputCounters(state, *image);
}

void ZlibFloor(benchmark::State& state, const BenchImage* image) {
    std::vector<uint8_t> out(image->expectedSize);
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        if (uncompress(out.data(), &size, image->idat.data(), uLong(image->idat.size())) != Z_OK ||
            size != image->expectedSize)
            state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetOutputCounters(state, *image);
}

void IgnoreWarning(png_structp, png_const_charp) {}

uint8_t* LibpngLoad(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    uint8_t* pixels = nullptr;
    png_bytep* rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(pixels);
        std::free(rows);
        std::fclose(file);
        return nullptr;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    pixels = static_cast<uint8_t*>(std::malloc(size_t(width) * height * 4));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    for (uint32_t y = 0; y < height; ++y) rows[y] = pixels + size_t(y) * width * 4;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    std::fclose(file);
    return pixels;
}

void Libpng(benchmark::State& state, const BenchImage* image) {
    for (auto _ : state) {
        uint8_t* pixels = LibpngLoad(image->path.c_str());
        if (!pixels) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    }
    SetOutputCounters(state, *image);
}

void Stb(benchmark::State& state, const BenchImage* image) {
    for (auto _ : state) {
        int width, height, channels;
        stbi_uc* pixels = stbi_load(image->path.c_str(), &width, &height, &channels, 4);
        if (!pixels) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    SetOutputCounters(state, *image);
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = "png-bench-corpus";
    std::string only;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--corpus=", 9) == 0)
            folder = argv[i] + 9;
        else if (std::strncmp(argv[i], "--images=", 9) == 0)
            only = argv[i] + 9;
        else
            rest.push_back(argv[i]);
    }
    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    static std::vector<BenchImage> corpus = LoadBenchCorpus(folder);
    for (const BenchImage& image : corpus) {
        if (!only.empty() && image.name.find(only) == std::string::npos) continue;
        const std::string prefix = image.name + "/";
        benchmark::RegisterBenchmark((prefix + "voxwalk").c_str(), Voxwalk, &image)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "zlib").c_str(), ZlibFloor, &image)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "libpng").c_str(), Libpng, &image)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "stb").c_str(), Stb, &image)->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
