// tinygltf's implementation, compiled once for the export library and its
// tests. Images are neither decoded nor encoded: the palette PNG is made by
// png/PngWrite and stored as bytes.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
