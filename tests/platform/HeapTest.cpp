// The huge-page heap: after the reservation a framebuffer-sized block comes
// from the heap, inside the part marked for huge pages (smaps' THPeligible),
// and freeing it keeps it there for the next.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Heap.h"

namespace {

// The mapping of /proc/self/smaps that holds `address`: its name ("" for an
// anonymous one) and whether the kernel may back it with huge pages.
bool MappingOf(const void* address, std::string& name, bool& hugeEligible) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        uintptr_t low = 0, high = 0;
        char dash = 0;
        std::istringstream fields(line);
        if (fields >> std::hex >> low >> dash >> high && dash == '-') {
            if (inside) return true;
            inside = a >= low && a < high;
            std::string permissions, offset, device, inode;
            name.clear();
            fields >> permissions >> offset >> device >> inode >> name;
        } else if (inside && line.rfind("THPeligible:", 0) == 0) {
            hugeEligible = line.find('1') != std::string::npos;
        }
    }
    return inside;
}

TEST(Heap, AFramebufferSizedBlockComesFromTheHugePagePartOfTheHeap) {
    std::ifstream thp("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(thp, modes);
    if (modes.empty() || modes.find("[never]") != std::string::npos) GTEST_SKIP() << "no transparent huge pages";
    // Under a sanitizer or valgrind malloc is not glibc's, and the heap is left alone.
    if (mallopt(M_MMAP_THRESHOLD, 128 << 10) != 1) GTEST_SKIP() << "malloc is not glibc's";
    ReserveHugePageHeap(size_t{64} << 20);
    // A 1024 x 768 buffer at four samples; its first huge page may begin
    // before the marked part, which starts at a whole huge page.
    char* block = static_cast<char*>(std::malloc(size_t{12} << 20));
    std::string name;
    bool huge = false;
    ASSERT_TRUE(MappingOf(block + (size_t{6} << 20), name, huge));
    EXPECT_EQ(name, "[heap]");
    EXPECT_TRUE(huge);
    std::free(block);
    void* again = std::malloc(size_t{12} << 20);
    EXPECT_TRUE(MappingOf(again, name, huge) && name == "[heap]") << "freed blocks stay in the heap";
    std::free(again);
}

}  // namespace
