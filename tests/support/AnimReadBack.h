// Animation test support: frames made by painting rectangles, and files
// read back by outside decoders: Pillow (through tests/png/anim_frames.py,
// run by /usr/bin/python3) composites every frame, ffprobe counts them. A
// test without the tool fails under CI and is skipped otherwise, as the GL
// tests do without a display.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace animtest {

using Rect = std::array<int, 4>;  // x, y, width, height

// A rectangle painted with one pixel (its first `channels` bytes), or with
// its colour channels inverted.
struct Edit {
    Rect area;
    std::array<uint8_t, 4> pixel;
    bool invert = false;
};

// Applies the edits to a frame of `width` pixels of `channels` bytes a row.
inline void Paint(std::vector<uint8_t>& frame, int width, int channels, const std::vector<Edit>& edits) {
    for (const Edit& e : edits)
        for (int y = e.area[1]; y < e.area[1] + e.area[3]; ++y)
            for (int x = e.area[0]; x < e.area[0] + e.area[2]; ++x)
                for (int c = 0; c < channels; ++c) {
                    uint8_t& byte = frame[(size_t(y) * width + x) * channels + c];
                    byte = !e.invert ? e.pixel[c] : c < 3 ? uint8_t(255 - byte) : byte;
                }
}

inline bool HavePillow() { return std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0; }
inline bool HaveFfprobe() { return std::system("ffprobe -version >/dev/null 2>&1") == 0; }

// Skips (or fails under CI) a test whose tool is missing.
#define VOXWALK_REQUIRE_TOOL(present, name)                  \
    if (!(present)) {                                        \
        if (std::getenv("CI")) FAIL() << name " is missing"; \
        GTEST_SKIP() << name " is missing";                  \
    }

// What Pillow read: frames composited as the format says, R, G, B, A each.
struct Decoded {
    int frames = 0, width = 0, height = 0;
    long loop = -1;                   // -1: the file sets no loop count
    std::vector<double> durationsMs;  // per frame
    std::vector<std::vector<uint8_t>> rgba;
    std::string fault;  // empty when Pillow read the file
};

inline Decoded DecodeWithPillow(const std::string& path) {
    Decoded d;
    const std::string out = path + ".frames";
    const std::string command =
        "/usr/bin/python3 \"" VOXWALK_SOURCE_DIR "/tests/png/anim_frames.py\" \"" + path + "\" \"" + out + "\" 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) d.fault += buffer;
    if (!pipe || pclose(pipe) != 0) {
        d.fault = "Pillow cannot read " + path + ": " + d.fault;
        return d;
    }
    std::ifstream in(out, std::ios::binary);
    in >> d.frames >> d.loop >> d.width >> d.height;
    d.durationsMs.resize(size_t(std::max(d.frames, 0)));
    for (double& ms : d.durationsMs) in >> ms;
    const bool parsed = in && in.get() == '\n';
    const std::vector<uint8_t> pixels{std::istreambuf_iterator<char>(in), {}};
    const size_t frameSize = size_t(d.width) * size_t(d.height) * 4;
    if (!parsed || d.frames <= 0 || pixels.size() != frameSize * size_t(d.frames)) {
        d.fault = "unexpected output from anim_frames.py";
    } else {
        for (int i = 0; i < d.frames; ++i)
            d.rgba.emplace_back(pixels.begin() + long(frameSize * i), pixels.begin() + long(frameSize * (i + 1)));
    }
    std::remove(out.c_str());
    return d;
}

// Frames ffprobe decodes from the file (format forced where its name may
// not tell), or -1 when it cannot read it.
inline int CountFramesWithFfprobe(const std::string& path, const char* format) {
    const std::string command = std::string("ffprobe -v error -f ") + format +
                                " -count_frames -select_streams v:0 -show_entries stream=nb_read_frames"
                                " -of csv=p=0 \"" +
                                path + "\" 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    int frames = -1;
    if (pipe && std::fscanf(pipe, "%d", &frames) != 1) frames = -1;
    if (pipe && pclose(pipe) != 0) frames = -1;
    return frames;
}

// Writes `file` beside the tests and reads it back: Pillow must find the
// frames, their durations and the loop count asked for, and ffprobe (format
// forced) the same number of frames. Returns Pillow's frames for the
// caller's pixel checks.
inline Decoded ReadBack(const std::vector<uint8_t>& file, const std::string& name, const char* format,
                        const std::vector<double>& durationsMs, long loop) {
    const std::string path = std::string(VOXWALK_BINARY_DIR) + "/" + name + "_" + std::to_string(getpid());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));
    Decoded d = DecodeWithPillow(path);
    EXPECT_EQ(d.fault, "") << name;
    EXPECT_EQ(d.frames, int(durationsMs.size())) << name;
    EXPECT_EQ(d.loop, loop) << name;
    for (size_t i = 0; i < durationsMs.size() && i < d.durationsMs.size(); ++i)
        EXPECT_NEAR(d.durationsMs[i], durationsMs[i], 1e-9) << name << " frame " << i + 1;
    EXPECT_EQ(CountFramesWithFfprobe(path, format), int(durationsMs.size())) << name;
    std::remove(path.c_str());
    if (d.frames != int(durationsMs.size())) d.rgba.clear();
    return d;
}

}  // namespace animtest
