#include "app/export/Quantize.h"

#include <algorithm>

namespace {

constexpr int kRefineRounds = 8;

int Channel(uint32_t rgb, int axis) { return int(rgb >> (16 - 8 * axis)) & 255; }

// Weighted sums of a set of colours, enough for its mean and squared error.
struct Moments {
    double count = 0, sum[3] = {0, 0, 0}, squares = 0;

    void Add(uint32_t rgb, double weight) {
        count += weight;
        for (int axis = 0; axis < 3; ++axis) {
            const double c = Channel(rgb, axis);
            sum[axis] += weight * c;
            squares += weight * c * c;
        }
    }
    // Summed squared distance of the colours from their mean.
    double Error() const {
        if (count == 0) return 0;
        return squares - (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / count;
    }
};

Moments Difference(const Moments& all, const Moments& part) {
    Moments rest = all;
    rest.count -= part.count;
    rest.squares -= part.squares;
    for (int axis = 0; axis < 3; ++axis) rest.sum[axis] -= part.sum[axis];
    return rest;
}

// A run [begin, end) of the working colour list.
struct Box {
    size_t begin = 0, end = 0;
    Moments moments;
    double error = 0;
};

Box MakeBox(const std::vector<ColourCount>& colours, size_t begin, size_t end) {
    Box box{begin, end, {}, 0};
    for (size_t i = begin; i < end; ++i) box.moments.Add(colours[i].rgb, colours[i].count);
    box.error = box.moments.Error();
    return box;
}

// Splits the box at the channel value, over the three axes, where the two
// halves' summed error is least; its colours are partitioned in place.
// Per-axis bins of the moments make this linear in the box's colours. False
// when the box holds one colour.
bool SplitBox(std::vector<ColourCount>& colours, const Box& box, Box& low, Box& high) {
    if (box.end - box.begin < 2) return false;
    double bestError = -1;
    int bestAxis = 0, bestCut = 0;  // the low half: channel values below bestCut
    std::vector<Moments> bins(256);
    for (int axis = 0; axis < 3; ++axis) {
        std::fill(bins.begin(), bins.end(), Moments{});
        for (size_t i = box.begin; i < box.end; ++i)
            bins[size_t(Channel(colours[i].rgb, axis))].Add(colours[i].rgb, colours[i].count);
        Moments lower;
        for (int cut = 1; cut < 256; ++cut) {
            const Moments& bin = bins[size_t(cut - 1)];
            lower.count += bin.count;
            lower.squares += bin.squares;
            for (int c = 0; c < 3; ++c) lower.sum[c] += bin.sum[c];
            if (lower.count == 0 || lower.count == box.moments.count) continue;
            const double error = lower.Error() + Difference(box.moments, lower).Error();
            if (bestError < 0 || error < bestError) {
                bestError = error;
                bestAxis = axis;
                bestCut = cut;
            }
        }
    }
    if (bestError < 0) return false;
    const auto at = std::partition(colours.begin() + long(box.begin), colours.begin() + long(box.end),
                                   [&](const ColourCount& c) { return Channel(c.rgb, bestAxis) < bestCut; });
    const size_t split = size_t(at - colours.begin());
    low = MakeBox(colours, box.begin, split);
    high = MakeBox(colours, split, box.end);
    return true;
}

std::array<uint8_t, 3> Mean(const Moments& m) {
    std::array<uint8_t, 3> rgb{};
    for (int axis = 0; axis < 3; ++axis) rgb[axis] = uint8_t(m.sum[axis] / m.count + 0.5);
    return rgb;
}

uint32_t Distance(uint32_t rgb, const std::array<uint8_t, 3>& entry) {
    uint32_t d = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const int delta = Channel(rgb, axis) - entry[axis];
        d += uint32_t(delta * delta);
    }
    return d;
}

}  // namespace

std::vector<ColourCount> CountColours(const uint8_t* rgba, size_t pixels, int alphaMin) {
    // An open-addressing table keyed by the 24-bit colour (a free slot holds
    // a value no colour has), then only the distinct colours are sorted.
    // Runs of one colour, which rendered pictures are made of, skip the table.
    constexpr uint32_t kFree = UINT32_MAX;
    int bits = 12;
    std::vector<ColourCount> table(size_t(1) << bits, {kFree, 0});
    size_t used = 0;
    // Fibonacci hashing: the product's high bits mix every bit of the colour.
    auto slot = [&](uint32_t value) {
        const size_t mask = table.size() - 1;
        size_t at = (value * 2654435761u) >> (32 - bits);
        while (table[at].rgb != kFree && table[at].rgb != value) at = (at + 1) & mask;
        return at;
    };
    auto add = [&](uint32_t value, uint32_t count) {
        size_t at = slot(value);
        if (table[at].rgb == kFree) {
            if (2 * (used + 1) > table.size()) {  // kept at most half full
                std::vector<ColourCount> old(table.size() * 2, {kFree, 0});
                old.swap(table);
                ++bits;
                for (const ColourCount& entry : old)
                    if (entry.rgb != kFree) table[slot(entry.rgb)] = entry;
                at = slot(value);
            }
            table[at].rgb = value;
            ++used;
        }
        table[at].count += count;
    };
    uint32_t run = kFree, length = 0;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        if (rgba[3] < alphaMin) continue;
        const uint32_t value = uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
        if (value == run) {
            ++length;
            continue;
        }
        if (length) add(run, length);
        run = value;
        length = 1;
    }
    if (length) add(run, length);
    std::vector<ColourCount> colours;
    colours.reserve(used);
    for (const ColourCount& slot : table)
        if (slot.rgb != kFree) colours.push_back(slot);
    std::sort(colours.begin(), colours.end(), [](const ColourCount& a, const ColourCount& b) { return a.rgb < b.rgb; });
    return colours;
}

Palette QuantizeColours(const std::vector<ColourCount>& colours, int maxColours) {
    Palette palette;
    maxColours = std::clamp(maxColours, 1, 256);
    if (colours.empty()) return palette;
    if (colours.size() <= size_t(maxColours)) {
        for (const ColourCount& c : colours)
            palette.rgb[palette.count++] = {uint8_t(c.rgb >> 16), uint8_t(c.rgb >> 8), uint8_t(c.rgb)};
        return palette;
    }
    // Median cut by squared error on a working copy (splits reorder it).
    std::vector<ColourCount> work = colours;
    std::vector<Box> boxes = {MakeBox(work, 0, work.size())};
    while (boxes.size() < size_t(maxColours)) {
        size_t worst = 0;
        for (size_t i = 1; i < boxes.size(); ++i)
            if (boxes[i].error > boxes[worst].error) worst = i;
        Box low, high;
        if (boxes[worst].error <= 0 || !SplitBox(work, boxes[worst], low, high)) break;
        boxes[worst] = low;
        boxes.push_back(high);
    }
    for (const Box& box : boxes) palette.rgb[palette.count++] = Mean(box.moments);

    // k-means: each entry moves to the mean of the colours nearest to it.
    std::vector<uint8_t> nearest, before;
    for (int round = 0; round < kRefineRounds; ++round) {
        MapColours(colours, palette, nearest);
        if (nearest == before) break;
        std::vector<Moments> members(size_t(palette.count));
        for (size_t i = 0; i < colours.size(); ++i) members[nearest[i]].Add(colours[i].rgb, colours[i].count);
        for (int e = 0; e < palette.count; ++e)
            if (members[size_t(e)].count > 0) palette.rgb[size_t(e)] = Mean(members[size_t(e)]);
        before.swap(nearest);
    }
    return palette;
}

uint64_t MapColours(const std::vector<ColourCount>& colours, const Palette& palette, std::vector<uint8_t>& nearest) {
    nearest.assign(colours.size(), 0);
    if (palette.count == 0) return colours.empty() ? 0 : UINT64_MAX;
    // Entries in order of red: the search walks out from the colour's red
    // both ways and stops on a side once the red difference alone is too far.
    std::vector<std::pair<int, int>> byRed;  // red, entry
    for (int e = 0; e < palette.count; ++e) byRed.push_back({palette.rgb[size_t(e)][0], e});
    std::sort(byRed.begin(), byRed.end());
    uint64_t error = 0;
    for (size_t i = 0; i < colours.size(); ++i) {
        const int red = Channel(colours[i].rgb, 0);
        const auto from = std::lower_bound(byRed.begin(), byRed.end(), std::pair<int, int>{red, -1});
        const size_t start = size_t(from - byRed.begin());
        uint32_t best = UINT32_MAX;
        int bestEntry = 0;
        auto consider = [&](size_t k) {
            const uint32_t d = Distance(colours[i].rgb, palette.rgb[size_t(byRed[k].second)]);
            if (d < best || (d == best && byRed[k].second < bestEntry)) {
                best = d;
                bestEntry = byRed[k].second;
            }
        };
        for (size_t k = start; k < byRed.size(); ++k) {
            const int dr = byRed[k].first - red;
            if (uint32_t(dr * dr) > best) break;
            consider(k);
        }
        for (size_t k = start; k-- > 0;) {
            const int dr = red - byRed[k].first;
            if (uint32_t(dr * dr) > best) break;
            consider(k);
        }
        nearest[i] = uint8_t(bestEntry);
        error += uint64_t(best) * colours[i].count;
    }
    return error;
}

size_t FindColour(const std::vector<ColourCount>& colours, uint32_t rgb) {
    return size_t(std::lower_bound(colours.begin(), colours.end(), rgb,
                                   [](const ColourCount& c, uint32_t value) { return c.rgb < value; }) -
                  colours.begin());
}
