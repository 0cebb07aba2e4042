// What both programs draw with besides the model: light 0, the font sheet and
// the grass, and where those files are found.
//
// The walk reads its assets from the working directory, as it always has, or
// else from the data folder the program was installed with. The model viewer
// and its pictures look in one more place: a program that still sits in its
// build folder finds the source tree's assets, so a build works from any
// folder. Paths are relative to the asset root ("" = working directory).
#pragma once

#include <string>

#include "render/GLSetup.h"

constexpr const char* fontSheetPath = "assets/textures/fonts/font1.png";
constexpr const char* grassTexturePath = "assets/textures/grass.png";
constexpr const char* textureDirectory = "assets/textures/";
// The file whose presence marks a folder as holding the assets.
constexpr const char* assetMarkerPath = fontSheetPath;

// Light 0 of the scene: grey ambient 0.25, diffuse 0.65, specular 0.95, a
// positional light at (300, 1500, 300), high above the walker's circle.
void SetupSceneLight(LightSource& light);

// Where to look for the assets after the working directory, which always
// comes first. Each ends in "/", or is "" when there is no such place.
struct AssetPlaces {
    std::string installed;   // the install's data folder
    std::string sourceTree;  // the source tree's root, for a program inside its build folder
};

// The places for a program at `executable` (an absolute path): the installed
// data folder is VOXWALK_BIN_TO_DATA (default "../share/voxwalk") from the
// executable's folder; the source tree counts only while the executable lies
// inside the build folder it was configured with. Pure but for the path work.
AssetPlaces AssetPlacesFor(const std::string& executable);

// The places of the running program (/proc/self/exe).
AssetPlaces RunningAssetPlaces();

// The first of the working directory and the installed folder that holds
// assetMarkerPath, else "" (so a missing asset is reported under its usual
// path). The walk's lookup.
std::string AssetRoot(const AssetPlaces& places);
std::string AssetRoot();

// The same with the source tree as a third place: the model viewer's lookup.
// `found` tells whether any place held the marker.
std::string ModelAssetRoot(const AssetPlaces& places, bool& found);
