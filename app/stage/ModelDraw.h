// Drawing the model viewer's meshes (ModelMesh.h) inside the stage's two
// passes: from vertex buffers through a small shader program where the
// context offers them (GL 2.0, or the ARB vertex-buffer and shader
// extensions; llvmpipe through GLX and EGL does), else from display lists
// of the same quads under the same rules.
//
// The shader works per vertex as fixed-function lighting does for the
// lists, reading GL's own light 0 and light model, so both paths give one
// picture (tests/app/ModelPictureTest.cpp compares them). A vertex's
// colour comes from a 256 x 2 palette texture by its colour index and is
// darkened by its occlusion level; the texture's second row holds the
// entry's look (VoxelModel::looks).
//
// Looks, in both paths: emissive voxels are drawn unlit in their colour
// brightened by 1 + kGlowGain x emission, clamped to white, with no
// occlusion. Metal voxels get a highlight of the light's specular colour
// times their strength, Blinn-Phong with the exponent 2^(1 + 6 (1 -
// roughness)), 2 to 128 (the fixed pipeline's range): per fragment in a
// second program, per vertex in the lists, whose large merged faces may
// then miss it.
// Translucent voxels are drawn after everything opaque, from memory, their
// faces that face the eye sorted back to front (again only when the eye
// has moved in the model's units), blended at their opacity without
// writing depth; the picture's alpha gathers their coverage, so a cut-out
// picture keeps them see-through.
//
// The shadow pass draws the coverage part, when merging shrank it enough
// to be worth its memory, else the opaque parts' positions; both passes
// skip the chunks whose faces all turn away from the light or the eye.
// Translucent voxels cast a lighter shadow, the flat shadow's grey at their
// opacity, drawn first so that the opaque voxels' shadow covers it (where
// their faces overlap as seen from the light it is darker).
//
// Use: OpenModelRenderer once a context is current, UploadModelMesh per
// frame, DrawModelLit / DrawModelShadow inside the passes (DrawStageModel),
// DeleteModelMesh, CloseModelRenderer. The records own their GL names.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <vector>

#include "app/stage/ModelMesh.h"
#include "math/Vector.h"
#include "platform/Window.h"
#include "voxel/Vox.h"

// The entry points beyond GL 1.1 that the vertex-buffer path calls, fetched
// by their core names or else their ARB names.
struct ModelGLCalls {
    PFNGLGENBUFFERSPROC genBuffers = nullptr;
    PFNGLBINDBUFFERPROC bindBuffer = nullptr;
    PFNGLBUFFERDATAPROC bufferData = nullptr;
    PFNGLDELETEBUFFERSPROC deleteBuffers = nullptr;
    PFNGLCREATESHADERPROC createShader = nullptr;
    PFNGLSHADERSOURCEPROC shaderSource = nullptr;
    PFNGLCOMPILESHADERPROC compileShader = nullptr;
    PFNGLGETSHADERIVPROC getShaderiv = nullptr;
    PFNGLDELETESHADERPROC deleteShader = nullptr;
    PFNGLCREATEPROGRAMPROC createProgram = nullptr;
    PFNGLATTACHSHADERPROC attachShader = nullptr;
    PFNGLBINDATTRIBLOCATIONPROC bindAttribLocation = nullptr;
    PFNGLLINKPROGRAMPROC linkProgram = nullptr;
    PFNGLGETPROGRAMIVPROC getProgramiv = nullptr;
    PFNGLDELETEPROGRAMPROC deleteProgram = nullptr;
    PFNGLUSEPROGRAMPROC useProgram = nullptr;
    PFNGLGETUNIFORMLOCATIONPROC getUniformLocation = nullptr;
    PFNGLUNIFORM1IPROC uniform1i = nullptr;
    PFNGLUNIFORM1FVPROC uniform1fv = nullptr;
    PFNGLUNIFORM3FVPROC uniform3fv = nullptr;
    PFNGLVERTEXATTRIBPOINTERPROC vertexAttribPointer = nullptr;
    PFNGLENABLEVERTEXATTRIBARRAYPROC enableVertexAttribArray = nullptr;
    PFNGLDISABLEVERTEXATTRIBARRAYPROC disableVertexAttribArray = nullptr;
    PFNGLACTIVETEXTUREPROC activeTexture = nullptr;
};

// Fills `calls` through `lookup`; true when every entry point was found.
bool LoadModelGLCalls(ModelGLCalls& calls, GLProc (*lookup)(const char* name));

// An emissive colour is drawn at 1 + kGlowGain x its emission, clamped.
constexpr float kGlowGain = 0.5f;

// What a context draws meshes with.
struct ModelRenderer {
    bool vertexBuffers = false;  // the vertex-buffer path; false: display lists
    uint32_t program = 0;        // per vertex: the diffuse, emissive and translucent parts
    uint32_t shinyProgram = 0;   // per vertex and fragment: the metal part (0: `program` draws it)
    int32_t unlit = -1;          // `program`'s `unlit` uniform (the metal program's stays 0)
    uint32_t indexBuffer = 0;    // kChunkQuads quads' index pattern, shared by every chunk
    bool floatPalette = false;   // palette textures hold floats (else bytes)
    ModelGLCalls gl;
    // Either path, when the context has it: translucent faces add their
    // coverage to the picture's alpha (else alpha blends as colour does).
    PFNGLBLENDFUNCSEPARATEPROC blendFuncSeparate = nullptr;
};

// Sets up the vertex-buffer path when `allowBuffers` and the current
// context offers it, else the lists. Returns whether buffers are used.
bool OpenModelRenderer(ModelRenderer& renderer, bool allowBuffers);

// Deletes the program and the index buffer; the record is zeroed.
void CloseModelRenderer(ModelRenderer& renderer);

// One chunk on the GL side: a vertex buffer, or a display list.
struct ModelDrawChunk {
    uint32_t name = 0;
    uint32_t quads = 0;
    int64_t origin[3] = {0, 0, 0};
    int32_t face = 0;
    int32_t lowPlane = 0, highPlane = 0;
};

// A corner of a translucent face, drawn from memory by either path.
struct ClearVertex {
    float position[3] = {0, 0, 0};   // model units
    uint8_t rgba[4] = {0, 0, 0, 0};  // the lists' colour, darkened by occlusion; alpha: the opacity
    int8_t normal[3] = {0, 0, 0};
    uint8_t faceLevel = 0, color = 0;  // the shader's, as ModelVertex has them
    uint8_t unused[3] = {0, 0, 0};
};
static_assert(sizeof(ClearVertex) == 24);

// The translucent faces, kept in memory: the order they are drawn in
// changes with the eye. Quad q is corners 4q..4q+3.
struct ModelClearFaces {
    std::vector<ClearVertex> vertices;
    std::vector<Vector3> centres;  // by quad, model units
    std::vector<uint8_t> faces;    // by quad, as cubeNormals numbers them
    // Triangles (three corners each) of the quads facing a point, and the
    // point they were found for.
    struct Order {
        std::vector<uint32_t> corners;
        Vector3 point;
        bool valid = false;
    };
    Order eye;    // back to front
    Order light;  // in quad order
};

// A frame's mesh on the GL side.
struct ModelMeshGL {
    std::vector<ModelDrawChunk> lit, emissive, metal;  // the opaque parts
    std::vector<ModelDrawChunk> shadow;                // the coverage part; empty: the shadow draws the opaque parts
    ModelClearFaces translucent;
    uint32_t palette = 0;  // the palette texture (vertex buffers only)
    ModelMeshCounts counts;
};

// Builds `model`'s mesh (BuildModelMesh) into buffers or lists as the
// renderer draws, replacing what `mesh` held. Only one chunk is held in
// memory on the way.
void UploadModelMesh(const ModelRenderer& renderer, const VoxelModel& model, bool occlusion, ModelMeshGL& mesh);

// The lit pass's part: the opaque chunks that face the eye, then the
// translucent faces, `eye` given in the model's units (the coordinates its
// voxels' cells are in). Leaves no program, buffer or vertex pointer of its
// own bound, and GL's blending and depth writes as they were.
void DrawModelLit(const ModelRenderer& renderer, ModelMeshGL& mesh, const Vector3& eye);

// The shadow pass's part: the translucent faces' lighter shadow, then the
// positions of the opaque chunks that face the light, `light` in the
// model's units. The fixed pipeline shades them.
void DrawModelShadow(const ModelRenderer& renderer, ModelMeshGL& mesh, const Vector3& light);

// Deletes the mesh's buffers, lists and texture; the record is emptied.
void DeleteModelMesh(const ModelRenderer& renderer, ModelMeshGL& mesh);
