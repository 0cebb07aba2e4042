// PNG writer: 8-bit RGBA or RGB, top row first.
#pragma once

#include <cstdint>
#include <string>

// Writes `pixels` (height rows of width * channels bytes, top row first;
// channels 3 or 4) to `path` through a temporary file in the same folder that
// is renamed into place, so no half-written file is ever left. False + error
// text ("PATH: why") on failure.
bool PngWriteFile(const char* path, const uint8_t* pixels, int width, int height, int channels,
                  std::string& error);
