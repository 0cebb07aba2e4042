// Drawing the model viewer's meshes (ModelMesh.h) inside the stage's two
// passes: from vertex buffers through a small shader program where the
// context offers them (GL 2.0, or the ARB vertex-buffer and shader
// extensions; llvmpipe through GLX and EGL does), else from display lists
// of the same quads under the same rules.
//
// The shader works per vertex as fixed-function lighting does for the
// lists, reading GL's own light 0 and light model, so both paths give one
// picture (tests/app/ModelPictureTest.cpp compares them). A vertex's
// colour comes from a 256 x 1 palette texture by its colour index and is
// darkened by its occlusion level. Materials per colour index (emissive,
// metal, glass) belong in a second row of that texture, read by the same
// index; nothing in the vertex has to change for them.
//
// The shadow pass draws the coverage part, when merging shrank it enough
// to be worth its memory, else the lit part's positions; both passes skip
// the chunks whose faces all turn away from the light or the eye.
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

// What a context draws meshes with.
struct ModelRenderer {
    bool vertexBuffers = false;  // the vertex-buffer path; false: display lists
    uint32_t program = 0;        // the vertex shader's program
    uint32_t indexBuffer = 0;    // kChunkQuads quads' index pattern, shared by every chunk
    bool floatPalette = false;   // palette textures hold floats (else bytes)
    ModelGLCalls gl;
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

// A frame's mesh on the GL side.
struct ModelMeshGL {
    std::vector<ModelDrawChunk> lit;
    std::vector<ModelDrawChunk> shadow;  // the coverage part; empty: the shadow draws `lit`
    uint32_t palette = 0;                // the palette texture (vertex buffers only)
    ModelMeshCounts counts;
};

// Builds `model`'s mesh (BuildModelMesh) into buffers or lists as the
// renderer draws, replacing what `mesh` held. Only one chunk is held in
// memory on the way.
void UploadModelMesh(const ModelRenderer& renderer, const VoxelModel& model, bool occlusion, ModelMeshGL& mesh);

// The lit pass's part: the lit chunks that face the eye, `eye` given in the
// model's units (the coordinates its voxels' cells are in). Leaves no
// program, buffer or vertex pointer of its own bound.
void DrawModelLit(const ModelRenderer& renderer, const ModelMeshGL& mesh, const Vector3& eye);

// The shadow pass's part: the positions of the chunks that face the light,
// `light` in the model's units. The fixed pipeline shades them.
void DrawModelShadow(const ModelRenderer& renderer, const ModelMeshGL& mesh, const Vector3& light);

// Deletes the mesh's buffers, lists and texture; the record is emptied.
void DeleteModelMesh(const ModelRenderer& renderer, ModelMeshGL& mesh);
