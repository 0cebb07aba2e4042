#include "platform/Heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
// glibc's largest threshold for serving blocks from mmap instead of the heap.
constexpr int kMmapThreshold = 32 << 20;
// Blocks the heap is grown with: below the threshold, so they come from it.
constexpr size_t kStep = size_t{16} << 20;

}  // namespace

void ReserveHugePageHeap(size_t bytes) {
    // Blocks up to the threshold from the heap, and a heap that is not given
    // back while this much of it lies free at the top.
    if (mallopt(M_MMAP_THRESHOLD, kMmapThreshold) != 1) return;
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(bytes + (size_t{64} << 20)));
    // Grow the heap by `bytes`: blocks taken until it has grown that much,
    // then freed, so they stay as its free top.
    const uintptr_t before = reinterpret_cast<uintptr_t>(sbrk(0));
    std::vector<void*> blocks;
    while (reinterpret_cast<uintptr_t>(sbrk(0)) - before < bytes) {
        void* block = std::malloc(kStep);
        if (block == nullptr) break;
        blocks.push_back(block);
        if (blocks.size() > bytes / kStep + 4) break;  // the heap does not grow: not glibc's malloc
    }
    for (void* block : blocks) std::free(block);
    // The whole heap, as whole huge pages: the new part, and what freed
    // space lies before it.
    const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0));
    const uintptr_t start = end - mallinfo2().arena;
    const uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1), last = end & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
