// The PNG writer: 8-bit RGB or RGBA pixels, top row first, to a PNG file.
//
// Each row gets the filter with the smallest sum of absolute residuals (read
// as signed bytes), the usual heuristic, and the image data is one zlib
// stream in one IDAT chunk. The output depends only on the pixels and the
// level, so generated files are the same on every run. Nothing here logs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// zlib level of PngWriteFile: the default, as the best trade for screenshots.
constexpr int kPngWriteLevel = 6;

// Encodes width x height pixels of `channels` bytes (3: R, G, B; 4: R, G, B,
// A), rows of width * channels bytes without padding, top row first, at zlib
// `level` (0..9). Returns the whole file, or empty on a bad size, channel
// count or level, or when zlib fails.
std::vector<uint8_t> PngEncode(const uint8_t* pixels, int width, int height, int channels,
                               int level);

// Writes the pixels as a PNG file at path (level kPngWriteLevel) through a
// temporary file in the same folder that is renamed into place, so no
// half-written file is ever left at path or beside it. Returns false with
// error "PATH: problem" when it cannot.
bool PngWriteFile(const char* path, const uint8_t* pixels, int width, int height, int channels,
                  std::string& error);
