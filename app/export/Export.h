// Writing voxel scenes as mesh files: glTF 2.0 (.glb, or .gltf with .bin
// and palette .png beside it), Wavefront .obj (with .mtl and palette .png)
// and binary .ply. No GL.
//
// Use: load the input (one .vox file as a VoxelScene, or a folder of frames
// as one VoxelScene per file), fill ExportOptions, call ExportVoxels with
// the output path; the format comes from its extension. Everything one
// export writes appears together or not at all: each file is written under
// a temporary name in the output folder and renamed at the end, and the
// temporary files are removed on failure.
//
// glTF keeps the scene: the editor's node tree with its names, one mesh per
// model shared by every shape that shows it, pivots and exact rotations
// (a mirror is a negative scale), and the keyframes as one animation at 30
// frames a second that shows exactly the composed cells of each frame.
// Shape keys, model-per-frame files and folders of frames switch meshes by
// visibility (scale 0 or 1, STEP). Axes: +Y up, the editor's (x, y, z) is
// glTF's (x, z, -y); one voxel is `scale` metres (a scale on the root node).
// Materials (MATL, MATT) become glTF materials, a primitive each: emissive
// strength, transmission and IOR, metalness and roughness (ExportGltf.cpp).
// OBJ and PLY hold one frame, composed into one mesh in world cells: OBJ
// with +Y up like glTF, PLY in the editor's axes (z up), both times scale;
// they keep colours only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "voxel/VoxMesh.h"
#include "voxel/VoxScene.h"

enum class ExportFormat : uint8_t { Glb, Gltf, Obj, Ply, Vox };

enum class ExportColors : uint8_t {
    Palette,  // texture coordinates into the palette as a 256 x 1 PNG
    Vertex,   // a colour per vertex (glTF COLOR_0 in linear space, PLY and OBJ sRGB bytes)
};

struct ExportOptions {
    double scale = 1.0;  // metres per voxel, > 0
    VoxMeshMode mesh = VoxMeshMode::Greedy;
    ExportColors colors = ExportColors::Palette;
    bool hidden = false;  // keep hidden nodes and hidden layers
    // The frame of the one-frame formats (OBJ, PLY): `frame`, or when
    // `time` >= 0 the frame shown at that many seconds (30 a second).
    int32_t frame = 0;
    double time = -1;
};

inline constexpr double kExportFramesPerSecond = 30.0;

// The input: one scene (a .vox file), or several, each one frame of a
// folder of frames (its frame 0). `paths` (optional) are the files they
// came from: an export never replaces one of them.
struct ExportInput {
    std::vector<VoxelScene> scenes;
    std::vector<std::string> paths;
    std::string name;  // names the root node; may be empty
};

// The format of an output path by its extension (case-insensitive); false
// when it is none of .glb .gltf .obj .ply .vox.
bool ExportFormatFromPath(const std::string& path, ExportFormat& format);

// Writes `input` to `path` (and the files beside it that the format needs).
// Returns false with one line in `error` ("PATH: problem") when the input,
// the options or the writing fail; nothing is then left behind.
bool ExportVoxels(const ExportInput& input, const ExportOptions& options, const std::string& path, std::string& error);

// Number of frames of the input: the scene's frames, or one per scene of a folder.
int32_t ExportFrameCount(const ExportInput& input);
