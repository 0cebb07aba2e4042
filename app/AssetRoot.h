// Where the viewer's assets are: in the working directory, as the walk has
// always read them, or else in the data folder the program was installed with.
#pragma once

#include <string>

// The font sheet whose presence marks a folder as holding the assets.
constexpr const char* assetMarkerPath = "assets/textures/fonts/font1.png";

// The prefix for every asset path: "" (the working directory) when
// assetMarkerPath exists there; otherwise the installed data folder of the
// running program, with a trailing "/", when the marker exists there; "" again
// when neither has it, so a missing asset is reported under its usual path.
std::string AssetRoot();

// AssetRoot for a program at `executable` (an absolute path): the installed
// data folder is VOXWALK_BIN_TO_DATA (default "../share/voxwalk") from the
// executable's folder, so an install under any prefix finds its own assets.
std::string AssetRootFor(const std::string& executable);
