#include "app/stage/ModelDraw.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "app/stage/FrameMesh.h"

namespace {

// Every vertex of a lit quad carries this alpha, as the walk's lists do;
// blending is off, so it shows nowhere.
constexpr float kLitAlpha = 8.0f / 255.0f;
// The attribute the shader reads the face, level and colour index from
// (0 is the position's, gl_Vertex).
constexpr GLuint kInfoAttribute = 1;

// Position from gl_Vertex (so ftransform() places it exactly as the fixed
// pipeline does), the rest from `info`. Colour material as the lists have
// it: the vertex colour is the material's ambient and diffuse colour, and
// the material has no specular or emission.
constexpr const char* kVertexShader = R"(#version 110
attribute vec2 info;  // x: face + 8 * occlusion level; y: palette entry
uniform sampler2D palette;
uniform vec3 normals[6];
uniform float brightness[4];
void main() {
    float face = mod(info.x, 8.0);
    float level = floor(info.x / 8.0);
    vec4 color = texture2DLod(palette, vec2((info.y + 0.5) / 256.0, 0.5), 0.0);
    color.rgb = color.rgb * brightness[int(level)];
    vec3 normal = gl_NormalMatrix * normals[int(face)];
    vec4 position = gl_ModelViewMatrix * gl_Vertex;
    vec3 toLight = normalize(gl_LightSource[0].position.xyz - position.xyz);
    float diffuse = max(dot(normal, toLight), 0.0);
    vec3 lit = gl_LightModel.ambient.rgb * color.rgb + gl_LightSource[0].ambient.rgb * color.rgb +
               diffuse * gl_LightSource[0].diffuse.rgb * color.rgb;
    gl_FrontColor = vec4(lit, color.a);
    gl_FrontSecondaryColor = vec4(0.0);
    gl_Position = ftransform();
}
)";

template <typename Proc>
bool Fetch(GLProc (*lookup)(const char*), const char* core, const char* arb, Proc& field) {
    GLProc proc = lookup(core);
    if (proc == nullptr && arb != nullptr) proc = lookup(arb);
    field = reinterpret_cast<Proc>(proc);
    return field != nullptr;
}

// The palette as the texture holds it: entry k is colour index k + 1.
void PaletteTexels(const VoxelModel& model, bool asFloat, std::vector<float>& floats, std::vector<uint8_t>& bytes) {
    floats.assign(256 * 4, 0.0f);
    bytes.assign(256 * 4, 0);
    for (size_t k = 0; k < 256; ++k) {
        uint8_t rgba[4];
        std::memcpy(rgba, &model.palette[k], 4);
        for (int c = 0; c < 3; ++c) {
            floats[4 * k + c] = rgba[c] / 255.0f;
            bytes[4 * k + c] = rgba[c];
        }
        floats[4 * k + 3] = kLitAlpha;
        bytes[4 * k + 3] = 8;
    }
    if (asFloat) bytes.clear();
}

// Clears GL's error flags; true when none was set.
bool ClearErrors() {
    bool clean = true;
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) clean = false;
    return clean;
}

uint32_t MakePalette(const ModelRenderer& r, const VoxelModel& model) {
    std::vector<float> floats;
    std::vector<uint8_t> bytes;
    PaletteTexels(model, r.floatPalette, floats, bytes);
    GLuint texture = 0;
    r.gl.activeTexture(GL_TEXTURE1);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (r.floatPalette) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 256, 1, 0, GL_RGBA, GL_FLOAT, floats.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    r.gl.activeTexture(GL_TEXTURE0);
    return texture;
}

// The lit quads of a chunk as a display list: the normal once a quad, each
// corner's colour darkened by its level, the triangles as the index
// pattern of the buffers has them.
uint32_t CompileLitList(const ModelMeshChunk& chunk, const VoxelModel& model) {
    static constexpr int kCorners[6] = {0, 1, 2, 0, 2, 3};
    const uint32_t list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (size_t q = 0; q < chunk.vertices.size(); q += 4) {
        glNormal3fv(&cubeNormals[chunk.face].x);
        for (int k : kCorners) {
            const ModelVertex& v = chunk.vertices[q + k];
            uint8_t rgba[4];
            std::memcpy(rgba, &model.palette[v.color], 4);
            const float bright = occlusionBrightness[v.faceLevel >> 3 & 3];
            glColor4f(rgba[0] / 255.0f * bright, rgba[1] / 255.0f * bright, rgba[2] / 255.0f * bright, kLitAlpha);
            glVertex3sv(v.position);
        }
    }
    glEnd();
    glEndList();
    return list;
}

// Positions alone: the shadow pass's.
uint32_t CompileShadowList(const ModelMeshChunk& chunk) {
    static constexpr int kCorners[6] = {0, 1, 2, 0, 2, 3};
    const uint32_t list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (size_t q = 0; q < chunk.vertices.size(); q += 4) {
        for (int k : kCorners) glVertex3sv(chunk.vertices[q + k].position);
    }
    glEnd();
    glEndList();
    return list;
}

ModelDrawChunk Upload(const ModelRenderer& r, const ModelMeshChunk& chunk, MeshPart part, const VoxelModel& model) {
    ModelDrawChunk drawn;
    drawn.quads = static_cast<uint32_t>(chunk.vertices.size() / 4);
    for (int a = 0; a < 3; ++a) drawn.origin[a] = chunk.origin[a];
    drawn.face = chunk.face;
    drawn.lowPlane = chunk.lowPlane;
    drawn.highPlane = chunk.highPlane;
    if (r.vertexBuffers) {
        r.gl.genBuffers(1, &drawn.name);
        r.gl.bindBuffer(GL_ARRAY_BUFFER, drawn.name);
        r.gl.bufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(chunk.vertices.size() * sizeof(ModelVertex)),
                        chunk.vertices.data(), GL_STATIC_DRAW);
        r.gl.bindBuffer(GL_ARRAY_BUFFER, 0);
    } else {
        drawn.name = part == MeshPart::Lit ? CompileLitList(chunk, model) : CompileShadowList(chunk);
    }
    return drawn;
}

// Whether any quad of the chunk faces `point` (model units): a quad in
// plane k faces a point on the side its normal points to.
bool Faces(const ModelDrawChunk& c, const Vector3& point) {
    const float n[3] = {cubeNormals[c.face].x, cubeNormals[c.face].y, cubeNormals[c.face].z};
    const double p[3] = {point.x, point.y, point.z};
    for (int a = 0; a < 3; ++a) {
        if (n[a] == 0.0f) continue;
        // Corner k of the chunk lies at k + origin - 0.5 in model units.
        const double shift = static_cast<double>(c.origin[a]) - 0.5;
        return n[a] > 0.0f ? p[a] > c.lowPlane + shift : p[a] < c.highPlane + shift;
    }
    return true;
}

// Runs `draw` for each chunk facing `point`, with the chunk's origin
// (less half a cell: corners to model units) added to the model-view.
template <typename Draw>
void ForFacingChunks(const std::vector<ModelDrawChunk>& chunks, const Vector3& point, const Draw& draw) {
    for (const ModelDrawChunk& c : chunks) {
        if (c.quads == 0 || !Faces(c, point)) continue;
        glPushMatrix();
        glTranslatef(static_cast<float>(c.origin[0]) - 0.5f, static_cast<float>(c.origin[1]) - 0.5f,
                     static_cast<float>(c.origin[2]) - 0.5f);
        draw(c);
        glPopMatrix();
    }
}

void DrawBufferChunk(const ModelRenderer& r, const ModelDrawChunk& c, bool withInfo) {
    r.gl.bindBuffer(GL_ARRAY_BUFFER, c.name);
    glVertexPointer(3, GL_SHORT, sizeof(ModelVertex), nullptr);
    if (withInfo) {
        r.gl.vertexAttribPointer(kInfoAttribute, 2, GL_UNSIGNED_BYTE, GL_FALSE, sizeof(ModelVertex),
                                 reinterpret_cast<const void*>(offsetof(ModelVertex, faceLevel)));
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(c.quads * 6), GL_UNSIGNED_SHORT, nullptr);
}

// Leaves the vertex array as the rest of the program expects it: reading
// client memory, no buffer bound.
void UnbindBuffers(const ModelRenderer& r) {
    r.gl.bindBuffer(GL_ARRAY_BUFFER, 0);
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
}

void DeleteChunks(const ModelRenderer& r, std::vector<ModelDrawChunk>& chunks) {
    for (ModelDrawChunk& c : chunks) {
        if (c.name == 0) continue;
        if (r.vertexBuffers) {
            r.gl.deleteBuffers(1, &c.name);
        } else {
            glDeleteLists(c.name, 1);
        }
    }
    chunks.clear();
}

bool BuildProgram(ModelRenderer& r) {
    const ModelGLCalls& gl = r.gl;
    const GLuint shader = gl.createShader(GL_VERTEX_SHADER);
    gl.shaderSource(shader, 1, &kVertexShader, nullptr);
    gl.compileShader(shader);
    GLint compiled = 0;
    gl.getShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        gl.deleteShader(shader);
        return false;
    }
    r.program = gl.createProgram();
    gl.attachShader(r.program, shader);
    gl.bindAttribLocation(r.program, kInfoAttribute, "info");
    gl.linkProgram(r.program);
    gl.deleteShader(shader);  // freed with the program
    GLint linked = 0;
    gl.getProgramiv(r.program, GL_LINK_STATUS, &linked);
    if (!linked) return false;
    gl.useProgram(r.program);
    gl.uniform1i(gl.getUniformLocation(r.program, "palette"), 1);
    gl.uniform3fv(gl.getUniformLocation(r.program, "normals"), 6, &cubeNormals[0].x);
    gl.uniform1fv(gl.getUniformLocation(r.program, "brightness"), 4, occlusionBrightness);
    gl.useProgram(0);
    return true;
}

}  // namespace

static_assert(sizeof(cubeNormals) == 6 * 3 * sizeof(float), "normals are handed to GL as one array");

bool LoadModelGLCalls(ModelGLCalls& c, GLProc (*lookup)(const char* name)) {
    c = ModelGLCalls{};
    if (lookup == nullptr) return false;
    // Each fetch runs, so the record tells afterwards what was found.
    const bool found[] = {
        Fetch(lookup, "glGenBuffers", "glGenBuffersARB", c.genBuffers),
        Fetch(lookup, "glBindBuffer", "glBindBufferARB", c.bindBuffer),
        Fetch(lookup, "glBufferData", "glBufferDataARB", c.bufferData),
        Fetch(lookup, "glDeleteBuffers", "glDeleteBuffersARB", c.deleteBuffers),
        Fetch(lookup, "glCreateShader", "glCreateShaderObjectARB", c.createShader),
        Fetch(lookup, "glShaderSource", "glShaderSourceARB", c.shaderSource),
        Fetch(lookup, "glCompileShader", "glCompileShaderARB", c.compileShader),
        Fetch(lookup, "glGetShaderiv", "glGetObjectParameterivARB", c.getShaderiv),
        Fetch(lookup, "glDeleteShader", "glDeleteObjectARB", c.deleteShader),
        Fetch(lookup, "glCreateProgram", "glCreateProgramObjectARB", c.createProgram),
        Fetch(lookup, "glAttachShader", "glAttachObjectARB", c.attachShader),
        Fetch(lookup, "glBindAttribLocation", "glBindAttribLocationARB", c.bindAttribLocation),
        Fetch(lookup, "glLinkProgram", "glLinkProgramARB", c.linkProgram),
        Fetch(lookup, "glGetProgramiv", "glGetObjectParameterivARB", c.getProgramiv),
        Fetch(lookup, "glDeleteProgram", "glDeleteObjectARB", c.deleteProgram),
        Fetch(lookup, "glUseProgram", "glUseProgramObjectARB", c.useProgram),
        Fetch(lookup, "glGetUniformLocation", "glGetUniformLocationARB", c.getUniformLocation),
        Fetch(lookup, "glUniform1i", "glUniform1iARB", c.uniform1i),
        Fetch(lookup, "glUniform1fv", "glUniform1fvARB", c.uniform1fv),
        Fetch(lookup, "glUniform3fv", "glUniform3fvARB", c.uniform3fv),
        Fetch(lookup, "glVertexAttribPointer", "glVertexAttribPointerARB", c.vertexAttribPointer),
        Fetch(lookup, "glEnableVertexAttribArray", "glEnableVertexAttribArrayARB", c.enableVertexAttribArray),
        Fetch(lookup, "glDisableVertexAttribArray", "glDisableVertexAttribArrayARB", c.disableVertexAttribArray),
        Fetch(lookup, "glActiveTexture", "glActiveTextureARB", c.activeTexture),
    };
    for (bool f : found) {
        if (!f) return false;
    }
    return true;
}

bool OpenModelRenderer(ModelRenderer& r, bool allowBuffers) {
    r = ModelRenderer{};
    if (!allowBuffers || !LoadModelGLCalls(r.gl, GetGLProc)) return false;
    GLint vertexTextures = 0;
    glGetIntegerv(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS, &vertexTextures);
    ClearErrors();
    if (vertexTextures < 1 || !BuildProgram(r)) {
        CloseModelRenderer(r);
        return false;
    }
    // Float palettes where the context has them (GL 3.0, ARB_texture_float):
    // the shader then reads the very colours the lists are given.
    GLuint probe = 0;
    glGenTextures(1, &probe);
    glBindTexture(GL_TEXTURE_2D, probe);
    const float texel[4] = {0, 0, 0, 0};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, texel);
    r.floatPalette = ClearErrors();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &probe);
    // Quad q: triangles (4q, 4q+1, 4q+2) and (4q, 4q+2, 4q+3).
    std::vector<uint16_t> indices;
    indices.reserve(size_t{kChunkQuads} * 6);
    for (uint32_t q = 0; q < static_cast<uint32_t>(kChunkQuads); ++q) {
        for (uint32_t k : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(static_cast<uint16_t>(4 * q + k));
    }
    r.gl.genBuffers(1, &r.indexBuffer);
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    r.gl.bufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint16_t)), indices.data(),
                    GL_STATIC_DRAW);
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    r.vertexBuffers = true;
    return true;
}

void CloseModelRenderer(ModelRenderer& r) {
    if (r.program != 0) r.gl.deleteProgram(r.program);
    if (r.indexBuffer != 0) r.gl.deleteBuffers(1, &r.indexBuffer);
    r = ModelRenderer{};
}

void UploadModelMesh(const ModelRenderer& r, const VoxelModel& model, bool occlusion, ModelMeshGL& mesh) {
    DeleteModelMesh(r, mesh);
    mesh.counts = BuildModelMesh(model, occlusion, [&](MeshPart part, const ModelMeshChunk& chunk) {
        (part == MeshPart::Lit ? mesh.lit : mesh.shadow).push_back(Upload(r, chunk, part, model));
    });
    // The coverage part earns its memory only when it saves a good share of
    // the shadow pass's vertices.
    if (mesh.counts.coverageQuads * 4 > mesh.counts.litQuads * 3) DeleteChunks(r, mesh.shadow);
    if (r.vertexBuffers) mesh.palette = MakePalette(r, model);
}

void DrawModelLit(const ModelRenderer& r, const ModelMeshGL& mesh, const Vector3& eye) {
    if (!r.vertexBuffers) {
        ForFacingChunks(mesh.lit, eye, [](const ModelDrawChunk& c) { glCallList(c.name); });
        return;
    }
    r.gl.useProgram(r.program);
    r.gl.activeTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, mesh.palette);
    r.gl.activeTexture(GL_TEXTURE0);
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    r.gl.enableVertexAttribArray(kInfoAttribute);
    ForFacingChunks(mesh.lit, eye, [&r](const ModelDrawChunk& c) { DrawBufferChunk(r, c, true); });
    r.gl.disableVertexAttribArray(kInfoAttribute);
    UnbindBuffers(r);
    r.gl.activeTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    r.gl.activeTexture(GL_TEXTURE0);
    r.gl.useProgram(0);
}

void DrawModelShadow(const ModelRenderer& r, const ModelMeshGL& mesh, const Vector3& light) {
    const std::vector<ModelDrawChunk>& chunks = mesh.shadow.empty() ? mesh.lit : mesh.shadow;
    if (!r.vertexBuffers) {
        // Lit lists set colours and normals too, which the shadow pass's
        // black light and untracked colour leave without effect.
        ForFacingChunks(chunks, light, [](const ModelDrawChunk& c) { glCallList(c.name); });
        return;
    }
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    ForFacingChunks(chunks, light, [&r](const ModelDrawChunk& c) { DrawBufferChunk(r, c, false); });
    UnbindBuffers(r);
}

void DeleteModelMesh(const ModelRenderer& r, ModelMeshGL& mesh) {
    DeleteChunks(r, mesh.lit);
    DeleteChunks(r, mesh.shadow);
    if (mesh.palette != 0) glDeleteTextures(1, &mesh.palette);
    mesh = ModelMeshGL{};
}
