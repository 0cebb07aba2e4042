// The PNG benchmark corpus: large synthetic images of every colour type and
// bit depth, interlaced and not, each written by libpng with one filter type
// for every row so that the dominant filter is known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BenchImage {
    std::string name;  // e.g. "rgba8-photo-paeth" or "rgba8-i-photo-paeth"
    std::string path;  // the file in the corpus folder
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> idat;  // the joined IDAT data
    size_t expectedSize = 0;    // bytes of filtered rows, filter bytes included
};

// Writes the corpus files into folder where missing, and loads them all.
std::vector<BenchImage> LoadBenchCorpus(const std::string& folder);
