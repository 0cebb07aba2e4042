// Animation encoders on rendered clips of 36 frames, 256 x 256, iso view,
// rendered by voxwalk --snapshot on the first run (from the repository, so
// the grass is found) and kept in the build folder:
//   grass, plain, clear  the walk cycle in place (--frame 1..30, 1..6), as a
//                        turntable would be: only the character changes; on
//                        the grass, a plain colour, and transparent
//   walk                 the walk at 1/30 s steps (--time): the camera follows
//                        the character, so the grass moves and every pixel
//                        changes, the worst case for changed rectangles
//   turntable            what `voxwalk --animate --size 256 walk_00001.vox`
//                        writes: the first frame at --angle 0, 10, ..., 350
//   cycle512             what `voxwalk --animate --size 512 Walk` writes: the
//                        30 frames at 512 x 512
//   BM_Apng          the clip as one APNG (RGB when the clip is opaque);
//                    vs_pngs: its size over the separate PNGs'
//   BM_SeparatePngs  every frame as a PNG of its own, sizes summed
//   BM_Gif           the clip as a GIF; vs_apng: its size over the APNG's
//                    (fast compression); psnr_dB: its frames, decoded by
//                    giflib and composited, against the input
//   BM_Quantize      one frame's palette and mapping, ours against giflib's
//                    GifQuantizeBuffer; psnr_dB over the clip's frames
// Each reports file_kB (or psnr_dB) as a counter and the time for the clip.
//   build/bench/anim_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/export/GifWrite.h"
#include "app/export/Quantize.h"
#include "png/ApngWrite.h"
#include "png/Png.h"
#include "png/PngWrite.h"

namespace {

constexpr int kFrames = 36, kSize = 256;

// Frames and pixels a side of a clip.
int ClipFrames(const std::string& name) { return name == "cycle512" ? 30 : kFrames; }
int ClipSize(const std::string& name) { return name == "cycle512" ? 512 : kSize; }

struct Clip {
    int width = 0, height = 0;
    bool opaque = true;
    std::vector<std::vector<uint8_t>> rgba;    // R, G, B, A, top row first
    std::vector<std::vector<uint8_t>> pixels;  // what the PNG writers take: RGB when opaque
    std::string fault;
};

// The snapshot options of each clip's frame i.
std::string ClipOptions(const std::string& name, int i) {
    if (name == "turntable") return " --angle " + std::to_string(10 * i);
    if (name == "walk") {
        char time[32];
        std::snprintf(time, sizeof time, " --time %.6f", i / 30.0);
        return time;
    }
    const std::string frame = " --frame " + std::to_string(i % 30 + 1);
    return frame + (name == "plain" ? " --background '#2b3440'" : name == "clear" ? " --background transparent" : "");
}

// Renders the clip's frames once, then loads them through png/.
const Clip& LoadClip(const std::string& name) {
    static std::map<std::string, Clip> clips;
    auto found = clips.find(name);
    if (found != clips.end()) return found->second;
    Clip& clip = clips[name];
    const std::string folder = VOXWALK_BINARY_DIR "/bench/anim-frames/" + name;
    std::filesystem::create_directories(folder);
    for (int i = 0; i < ClipFrames(name) && clip.fault.empty(); ++i) {
        char file[32];
        std::snprintf(file, sizeof file, "/%02d.png", i);
        const std::string path = folder + file;
        if (!std::filesystem::exists(path)) {
            const std::string command = "cd \"" VOXWALK_SOURCE_DIR "\" && \"" VOXWALK_BINARY "\" --snapshot \"" + path +
                                        "\" --size " + std::to_string(ClipSize(name)) +
                                        (name == "turntable" || name == "cycle512" ? "" : " --view iso") +
                                        ClipOptions(name, i) + " assets/voxels/ZevezuRezov/Walk" +
                                        (name == "turntable" ? "/walk_00001.vox" : "") + " >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0) clip.fault = "cannot render " + path;
        }
        uint32_t width = 0, height = 0;
        PngReadSize(path.c_str(), width, height);
        Image image = PngLoadFile(path.c_str(), 3);
        if (!image) {
            clip.fault = clip.fault.empty() ? "cannot read " + path : clip.fault;
            break;
        }
        clip.width = int(width), clip.height = int(height);
        std::vector<uint8_t> rgba(size_t(width) * height * 4);
        for (uint32_t y = 0; y < height; ++y)  // the decoder gives bottom row first
            std::memcpy(&rgba[size_t(y) * width * 4],
                        static_cast<const uint8_t*>(image) + size_t(height - 1 - y) * width * 4, size_t(width) * 4);
        PngFreeImage(image);
        for (size_t p = 3; p < rgba.size(); p += 4) clip.opaque = clip.opaque && rgba[p] == 255;
        clip.rgba.push_back(std::move(rgba));
    }
    for (const auto& rgba : clip.rgba) {
        std::vector<uint8_t> rgb;
        for (size_t p = 0; clip.opaque && p < rgba.size(); p += 4) rgb.insert(rgb.end(), &rgba[p], &rgba[p] + 3);
        clip.pixels.push_back(clip.opaque ? rgb : rgba);
    }
    return clip;
}

std::vector<uint8_t> EncodeApng(const Clip& clip, PngCompression compression) {
    std::vector<uint8_t> file;
    ApngWriter writer;
    std::string error;
    bool ok = ApngBegin(
        writer, {clip.width, clip.height, clip.opaque ? 3 : 4, uint32_t(clip.pixels.size()), 0, compression},
        [&file](const uint8_t* bytes, size_t length) {
            file.insert(file.end(), bytes, bytes + length);
            return true;
        },
        error);
    for (const auto& frame : clip.pixels) ok = ok && ApngAddFrame(writer, frame.data(), {1, 30}, error);
    return ok && ApngFinish(writer, error) ? file : std::vector<uint8_t>{};
}

size_t EncodeSeparatePngs(const Clip& clip, PngCompression compression) {
    size_t bytes = 0;
    for (const auto& frame : clip.pixels)
        bytes += PngEncode(frame.data(), clip.width, clip.height, clip.opaque ? 3 : 4, compression).size();
    return bytes;
}

std::vector<uint8_t> EncodeGif(const Clip& clip) {
    std::vector<uint8_t> file;
    GifWriter writer;
    std::string error;
    bool ok = GifBegin(
        writer, {clip.width, clip.height, 0},
        [&file](const uint8_t* bytes, size_t length) {
            file.insert(file.end(), bytes, bytes + length);
            return true;
        },
        error);
    for (const auto& frame : clip.rgba) ok = ok && GifAddFrame(writer, frame.data(), {}, error);
    return ok && GifFinish(writer, error) ? file : std::vector<uint8_t>{};
}

double Psnr(double squares, double samples) {
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * samples / squares);
}

// Decodes the GIF with giflib, composites each frame (transparency and
// disposal) and compares the opaque pixels with the clip; -1 when the
// transparency or the frame count is wrong.
double GifPsnr(const std::vector<uint8_t>& file, const Clip& clip) {
    struct Reader {
        const std::vector<uint8_t>* file;
        size_t at;
    } reader{&file, 0};
    int status = 0;
    GifFileType* gif = DGifOpen(
        &reader,
        [](GifFileType* g, GifByteType* out, int length) {
            auto* r = static_cast<Reader*>(g->UserData);
            const int n = int(std::min<size_t>(size_t(length), r->file->size() - r->at));
            std::memcpy(out, r->file->data() + r->at, size_t(n));
            r->at += size_t(n);
            return n;
        },
        &status);
    if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount != int(clip.rgba.size())) {
        if (gif) DGifCloseFile(gif, &status);
        return -1;
    }
    std::vector<uint8_t> canvas(size_t(clip.width) * clip.height * 4, 0);
    double squares = 0, samples = 0;
    bool alphaRight = true;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor) continue;
                uint8_t* p = &canvas[(size_t(d.Top + y) * clip.width + d.Left + x) * 4];
                const GifColorType c = map->Colors[index];
                p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue, p[3] = 255;
            }
        const auto& input = clip.rgba[size_t(i)];
        for (size_t p = 0; p < canvas.size(); p += 4) {
            alphaRight = alphaRight && (canvas[p + 3] == 255) == (input[p + 3] >= kGifAlphaOpaque);
            if (input[p + 3] < kGifAlphaOpaque) continue;
            for (int c = 0; c < 3; ++c) squares += (canvas[p + c] - input[p + c]) * (canvas[p + c] - input[p + c]);
            samples += 3;
        }
        if (control.DisposalMode == DISPOSE_BACKGROUND)
            for (int y = 0; y < d.Height; ++y)
                std::memset(&canvas[(size_t(d.Top + y) * clip.width + d.Left) * 4], 0, size_t(d.Width) * 4);
    }
    DGifCloseFile(gif, &status);
    return alphaRight ? Psnr(squares, samples) : -1;
}

#define LOAD_OR_SKIP(clip, name)                 \
    const Clip& clip = LoadClip(name);           \
    if (!clip.fault.empty()) {                   \
        state.SkipWithError(clip.fault.c_str()); \
        return;                                  \
    }

void BM_Apng(benchmark::State& state, std::string name, PngCompression compression) {
    LOAD_OR_SKIP(clip, name);
    std::vector<uint8_t> file;
    for (auto _ : state) {
        file = EncodeApng(clip, compression);
        benchmark::DoNotOptimize(file);
    }
    state.counters["file_kB"] = double(file.size()) / 1000.0;
    state.counters["vs_pngs"] = double(file.size()) / double(EncodeSeparatePngs(clip, compression));
}

void BM_SeparatePngs(benchmark::State& state, std::string name, PngCompression compression) {
    LOAD_OR_SKIP(clip, name);
    size_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = EncodeSeparatePngs(clip, compression));
    state.counters["file_kB"] = double(bytes) / 1000.0;
}

void BM_Gif(benchmark::State& state, std::string name) {
    LOAD_OR_SKIP(clip, name);
    std::vector<uint8_t> file;
    for (auto _ : state) {
        file = EncodeGif(clip);
        benchmark::DoNotOptimize(file);
    }
    state.counters["file_kB"] = double(file.size()) / 1000.0;
    state.counters["vs_apng"] = double(file.size()) / double(EncodeApng(clip, PngCompression::Fast).size());
    state.counters["psnr_dB"] = GifPsnr(file, clip);
}

// One frame at a time, cycling through the clip; PSNR over the whole clip.
void BM_Quantize(benchmark::State& state, std::string name, bool ours) {
    LOAD_OR_SKIP(clip, name);
    std::vector<std::vector<uint8_t>> planes(3);  // giflib's input: opaque pixels, one plane a channel
    double squares = 0, samples = 0;
    size_t frame = 0;
    for (auto _ : state) {
        const auto& rgba = clip.rgba[frame % clip.rgba.size()];
        const size_t pixels = rgba.size() / 4;
        double error = 0, opaque = 0;
        if (ours) {
            const std::vector<ColourCount> colours = CountColours(rgba.data(), pixels, kGifAlphaOpaque);
            std::vector<uint8_t> nearest;
            error = double(MapColours(colours, QuantizeColours(colours, 255), nearest));
            for (const ColourCount& c : colours) opaque += c.count;
        } else {
            for (auto& plane : planes) plane.clear();
            for (size_t p = 0; p < pixels; ++p)
                if (rgba[4 * p + 3] >= kGifAlphaOpaque)
                    for (int c = 0; c < 3; ++c) planes[size_t(c)].push_back(rgba[4 * p + size_t(c)]);
            std::vector<uint8_t> indices(planes[0].size());
            GifColorType map[256];
            int size = 255;
            GifQuantizeBuffer(unsigned(indices.size()), 1, &size, planes[0].data(), planes[1].data(), planes[2].data(),
                              indices.data(), map);
            for (size_t p = 0; p < indices.size(); ++p) {
                const GifColorType c = map[indices[p]];
                const int dr = planes[0][p] - c.Red, dg = planes[1][p] - c.Green, db = planes[2][p] - c.Blue;
                error += dr * dr + dg * dg + db * db;
            }
            opaque = double(indices.size());
        }
        if (frame < clip.rgba.size()) squares += error, samples += 3 * opaque;  // the first round only
        ++frame;
    }
    state.counters["psnr_dB"] = Psnr(squares, samples);
}

void Register() {
    for (const char* name : {"grass", "plain", "clear", "walk", "turntable", "cycle512"}) {
        for (auto [label, compression] :
             {std::pair{"fast", PngCompression::Fast}, {"smallest", PngCompression::Smallest}}) {
            benchmark::RegisterBenchmark((std::string("BM_Apng/") + name + "/" + label).c_str(), BM_Apng, name,
                                         compression)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((std::string("BM_SeparatePngs/") + name + "/" + label).c_str(),
                                         BM_SeparatePngs, name, compression)
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark((std::string("BM_Gif/") + name).c_str(), BM_Gif, name)
            ->Unit(benchmark::kMillisecond);
        for (bool ours : {true, false})
            benchmark::RegisterBenchmark((std::string("BM_Quantize/") + (ours ? "ours/" : "giflib/") + name).c_str(),
                                         BM_Quantize, name, ours)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(kFrames);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
