// The format writers behind ExportVoxels, each taking what the dispatcher
// prepared. Internal to the export library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/export/Export.h"
#include "app/export/ExportPlan.h"
#include "app/export/Output.h"

// glTF 2.0 of a plan: `binary` writes one .glb, else .gltf + .bin + palette
// PNGs beside it.
bool WriteGltf(const ExportInput& input, const ExportPlan& plan, const ExportOptions& options, const std::string& path,
               bool binary, OutputSet& outputs, std::string& error);

// One composed frame (cells in world coordinates, editor axes) as .obj with
// .mtl and palette PNG, or as binary .ply.
bool WriteObj(const VoxMesh& mesh, const std::array<uint32_t, 256>& palette, const ExportOptions& options,
              const std::string& path, OutputSet& outputs, std::string& error);
bool WritePly(const VoxMesh& mesh, const std::array<uint32_t, 256>& palette, const ExportOptions& options,
              const std::string& path, OutputSet& outputs, std::string& error);

// The palette as a 256 x 1 RGB PNG file's bytes (entry n at x = n - 1).
std::vector<uint8_t> ExportPalettePng(const std::array<uint32_t, 256>& palette);

// A file name as a relative URI: bytes outside the unreserved set percent-encoded.
std::string ExportUriOf(const std::string& name);
