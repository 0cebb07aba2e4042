// voxwalk: with no arguments, a voxel character walking in a circle over
// grass until Escape, its log on standard output (the walk); with arguments,
// the user's model in a window or in a picture (the model viewer).
#include "app/stage/FrameLoop.h"
#include "app/view/View.h"
#include "app/walk/Walk.h"
#include "platform/Heap.h"

int main(int argc, char** argv) {
    ReserveHugePageHeap(kHugePageHeapBytes);
    const int status = argc <= 1 ? kRunWalk : RunView(argc, argv);
    return status == kRunWalk ? RunWalk(SteadyClockSeconds) : status;
}
