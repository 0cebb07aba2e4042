// `voxwalk --export OUT MODEL`: the model as a mesh file (glTF, OBJ, PLY) or
// as a MagicaVoxel file, without a display.
#pragma once

#include "app/view/CommandLine.h"

// Exports options.path to options.output in the format of its extension.
// Returns 0, kExitUsage for an unknown format or a frame the model does not
// have, kExitInput when the model cannot be read or the output cannot be
// written (nothing is then left behind).
int RunExport(const Options& options);
