// The process's heap, prepared for a GL driver that zeroes tens of
// megabytes of framebuffers as it starts.
//
// On a virtual machine each first touch of a 4 KiB page is a costly fault,
// and a 1024 x 768 window with multisampling zeroes about 30 MB: some 7,500
// faults, a good part of the start-up. With the heap grown at once and
// marked for transparent huge pages, those buffers come from 2 MiB pages,
// a fault each. Nothing is drawn differently; where huge pages are not
// offered, or malloc is not glibc's (sanitizers, valgrind), nothing changes.
#pragma once

#include <cstddef>

// What the programs reserve: room for the window's framebuffers and what the
// driver builds beside them.
constexpr size_t kHugePageHeapBytes = size_t{96} << 20;

// Grows the heap by `bytes` now, marks that part for huge pages, and lets
// blocks up to 32 MiB come from the heap and stay there when freed, so the
// driver's buffers land in it. Call once, first thing in main().
void ReserveHugePageHeap(size_t bytes);
