// voxwalk: a voxel character walking in a circle over grass until Escape.
// No options, no configuration; assets are read from ./assets.
#include "app/Viewer.h"

int main() { return RunViewer(SteadyClockSeconds); }
