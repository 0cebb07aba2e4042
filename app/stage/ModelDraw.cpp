#include "app/stage/ModelDraw.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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
// the material has no specular or emission. The palette's row 0 is the
// colour, row 1 the look (LookTexels). With SHINY defined it also hands the
// fragment stage what the highlight needs.
constexpr const char* kVertexShader = R"(
attribute vec2 info;  // x: face + 8 * occlusion level; y: palette entry
uniform sampler2D palette;
uniform vec3 normals[6];
uniform float brightness[4];
uniform float unlit;  // 1: the emissive part, drawn in its glow colour
#ifdef SHINY
varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec2 shine;  // strength, exponent
#endif
void main() {
    float face = mod(info.x, 8.0);
    float level = floor(info.x / 8.0);
    float entry = (info.y + 0.5) / 256.0;
    vec4 color = texture2DLod(palette, vec2(entry, 0.25), 0.0);
    vec3 normal = gl_NormalMatrix * normals[int(face)];
    vec4 position = gl_ModelViewMatrix * gl_Vertex;
    if (unlit > 0.5) {
        gl_FrontColor = vec4(texture2DLod(palette, vec2(entry, 0.75), 0.0).rgb, color.a);
    } else {
        color.rgb = color.rgb * brightness[int(level)];
        vec3 toLight = normalize(gl_LightSource[0].position.xyz - position.xyz);
        float diffuse = max(dot(normal, toLight), 0.0);
        vec3 lit = gl_LightModel.ambient.rgb * color.rgb + gl_LightSource[0].ambient.rgb * color.rgb +
                   diffuse * gl_LightSource[0].diffuse.rgb * color.rgb;
        gl_FrontColor = vec4(lit, color.a);
    }
    gl_FrontSecondaryColor = vec4(0.0);
#ifdef SHINY
    vec4 look = texture2DLod(palette, vec2(entry, 0.75), 0.0);
    eyePosition = position.xyz;
    eyeNormal = normal;
    shine = vec2(look.r, exp2(1.0 + 6.0 * look.g));
#endif
    gl_Position = ftransform();
}
)";

// The metal part's highlight: Blinn-Phong with a local viewer, as the
// lists' fixed pipeline has it (GL_LIGHT_MODEL_LOCAL_VIEWER), per fragment.
constexpr const char* kShinyFragmentShader = R"(
varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec2 shine;
void main() {
    vec3 n = normalize(eyeNormal);
    vec3 toLight = normalize(gl_LightSource[0].position.xyz - eyePosition);
    vec3 halfway = normalize(toLight - normalize(eyePosition));
    float highlight = dot(n, toLight) > 0.0 ? pow(max(dot(n, halfway), 0.0), shine.y) : 0.0;
    gl_FragColor = vec4(gl_Color.rgb + shine.x * highlight * gl_LightSource[0].specular.rgb, gl_Color.a);
}
)";

// The triangles of quad q: (4q, 4q+1, 4q+2) and (4q, 4q+2, 4q+3).
constexpr int kQuadCorners[6] = {0, 1, 2, 0, 2, 3};

template <typename Proc>
bool Fetch(GLProc (*lookup)(const char*), const char* core, const char* arb, Proc& field) {
    GLProc proc = lookup(core);
    if (proc == nullptr && arb != nullptr) proc = lookup(arb);
    field = reinterpret_cast<Proc>(proc);
    return field != nullptr;
}

// What both paths draw colour index k + 1 with, 256 x 2 RGBA texels. Row
// 0: the colour; alpha the opacity of a translucent entry, else kLitAlpha.
// Row 1: an emissive entry's glow colour and alpha 1; a metal entry's
// highlight strength and 1 - roughness; else nothing.
struct LookTexels {
    std::vector<float> texels;

    explicit LookTexels(const VoxelModel& model) : texels(256 * 2 * 4, 0.0f) {
        for (size_t k = 0; k < 256; ++k) {
            const VoxelLook look = k < model.looks.size() ? model.looks[k] : VoxelLook{};
            uint8_t rgba[4];
            std::memcpy(rgba, &model.palette[k], 4);
            float* color = &texels[4 * k];
            float* row1 = &texels[4 * (256 + k)];
            for (int c = 0; c < 3; ++c) color[c] = rgba[c] / 255.0f;
            color[3] = look.surface == VoxelSurface::Translucent ? look.opacity : kLitAlpha;
            if (look.surface == VoxelSurface::Emissive) {
                for (int c = 0; c < 3; ++c) row1[c] = std::min(1.0f, color[c] * (1.0f + kGlowGain * look.emission));
                row1[3] = 1.0f;
            } else if (look.surface == VoxelSurface::Metal) {
                row1[0] = look.metal;
                row1[1] = 1.0f - look.rough;
            }
        }
    }
    const float* Color(uint8_t entry) const { return &texels[4 * entry]; }
    const float* Look(uint8_t entry) const { return &texels[4 * (256 + entry)]; }
    // The highlight's exponent, as the shader computes it.
    float Exponent(uint8_t entry) const { return std::exp2(1.0f + 6.0f * Look(entry)[1]); }
};

// Clears GL's error flags; true when none was set.
bool ClearErrors() {
    bool clean = true;
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) clean = false;
    return clean;
}

uint32_t MakePalette(const ModelRenderer& r, const LookTexels& looks) {
    std::vector<uint8_t> bytes;
    if (!r.floatPalette) {
        for (float f : looks.texels) bytes.push_back(static_cast<uint8_t>(std::lround(f * 255.0f)));
    }
    GLuint texture = 0;
    r.gl.activeTexture(GL_TEXTURE1);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (r.floatPalette) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 256, 2, 0, GL_RGBA, GL_FLOAT, looks.texels.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    r.gl.activeTexture(GL_TEXTURE0);
    return texture;
}

// A part's quads of a chunk as a display list, the triangles as the index
// pattern of the buffers has them. Lit and metal quads: the normal once a
// quad, each corner's colour darkened by its level; metal quads set their
// highlight first and the list ends with none. Emissive quads: their glow
// colour, lighting off. Coverage: positions alone.
uint32_t CompileList(const ModelMeshChunk& chunk, MeshPart part, const LookTexels& looks) {
    static const float kNoSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const uint32_t list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    if (part == MeshPart::Emissive) glDisable(GL_LIGHTING);
    if (part == MeshPart::Metal) glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    int shinyEntry = -1;
    bool begun = false;
    for (size_t q = 0; q < chunk.vertices.size(); q += 4) {
        const uint8_t entry = chunk.vertices[q].color;
        if (part == MeshPart::Metal && entry != shinyEntry) {
            // The highlight is material state, which glBegin .. glEnd may not change.
            if (begun) glEnd();
            begun = false;
            shinyEntry = entry;
            const float strength = looks.Look(entry)[0];
            const float specular[4] = {strength, strength, strength, 1.0f};
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, looks.Exponent(entry));
        }
        if (!begun) glBegin(GL_TRIANGLES);
        begun = true;
        glNormal3fv(&cubeNormals[chunk.face].x);
        for (int k : kQuadCorners) {
            const ModelVertex& v = chunk.vertices[q + k];
            if (part == MeshPart::Emissive) {
                const float* glow = looks.Look(v.color);
                glColor4f(glow[0], glow[1], glow[2], kLitAlpha);
            } else if (part != MeshPart::Coverage) {
                const float* c = looks.Color(v.color);
                const float bright = occlusionBrightness[v.faceLevel >> 3 & 3];
                glColor4f(c[0] * bright, c[1] * bright, c[2] * bright, kLitAlpha);
            }
            glVertex3sv(v.position);
        }
    }
    if (begun) glEnd();
    if (part == MeshPart::Metal) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, kNoSpecular);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_FALSE);
    }
    if (part == MeshPart::Emissive) glEnable(GL_LIGHTING);
    glEndList();
    return list;
}

// Keeps a chunk's translucent quads in memory, in model units.
void AddClearFaces(const ModelMeshChunk& chunk, const LookTexels& looks, ModelClearFaces& faces) {
    const Vector3& n = cubeNormals[chunk.face];
    for (size_t q = 0; q < chunk.vertices.size(); q += 4) {
        Vector3 centre;
        for (size_t k = 0; k < 4; ++k) {
            const ModelVertex& v = chunk.vertices[q + k];
            ClearVertex c;
            for (int a = 0; a < 3; ++a) {
                c.position[a] = static_cast<float>(static_cast<double>(chunk.origin[a] + v.position[a]) - 0.5);
            }
            const float* color = looks.Color(v.color);
            const float bright = occlusionBrightness[v.faceLevel >> 3 & 3];
            for (int a = 0; a < 3; ++a) c.rgba[a] = static_cast<uint8_t>(std::lround(color[a] * bright * 255.0f));
            c.rgba[3] = static_cast<uint8_t>(std::lround(color[3] * 255.0f));
            // Signed bytes map 127 to 1 and -128 to -1.
            const float axes[3] = {n.x, n.y, n.z};
            for (int a = 0; a < 3; ++a) c.normal[a] = static_cast<int8_t>(axes[a] > 0 ? 127 : axes[a] < 0 ? -128 : 0);
            c.faceLevel = v.faceLevel;
            c.color = v.color;
            faces.vertices.push_back(c);
            centre = centre + Vector3(c.position[0], c.position[1], c.position[2]) * 0.25f;
        }
        faces.centres.push_back(centre);
        faces.faces.push_back(static_cast<uint8_t>(chunk.face));
    }
}

ModelDrawChunk Upload(const ModelRenderer& r, const ModelMeshChunk& chunk, MeshPart part, const LookTexels& looks) {
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
        drawn.name = CompileList(chunk, part, looks);
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

// Compiles one shader of the program from the version line, `defines` and `body`; 0 when it fails.
GLuint CompileShader(const ModelGLCalls& gl, GLenum type, const char* defines, const char* body) {
    const GLuint shader = gl.createShader(type);
    const char* parts[] = {"#version 110\n", defines, body};
    gl.shaderSource(shader, 3, parts, nullptr);
    gl.compileShader(shader);
    GLint compiled = 0;
    gl.getShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled) return shader;
    gl.deleteShader(shader);
    return 0;
}

// The vertex program, with the metal part's fragment stage when `shiny`.
// Returns the program and its `unlit` uniform, or 0 when it cannot be built.
GLuint BuildProgram(const ModelGLCalls& gl, bool shiny, int32_t& unlit) {
    const GLuint vertex = CompileShader(gl, GL_VERTEX_SHADER, shiny ? "#define SHINY 1\n" : "", kVertexShader);
    const GLuint fragment = shiny ? CompileShader(gl, GL_FRAGMENT_SHADER, "", kShinyFragmentShader) : 0;
    if (vertex == 0 || (shiny && fragment == 0)) {
        if (vertex != 0) gl.deleteShader(vertex);
        if (fragment != 0) gl.deleteShader(fragment);
        return 0;
    }
    const GLuint program = gl.createProgram();
    gl.attachShader(program, vertex);
    if (shiny) gl.attachShader(program, fragment);
    gl.bindAttribLocation(program, kInfoAttribute, "info");
    gl.linkProgram(program);
    gl.deleteShader(vertex);  // freed with the program
    if (shiny) gl.deleteShader(fragment);
    GLint linked = 0;
    gl.getProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        gl.deleteProgram(program);
        return 0;
    }
    gl.useProgram(program);
    gl.uniform1i(gl.getUniformLocation(program, "palette"), 1);
    gl.uniform3fv(gl.getUniformLocation(program, "normals"), 6, &cubeNormals[0].x);
    gl.uniform1fv(gl.getUniformLocation(program, "brightness"), 4, occlusionBrightness);
    unlit = gl.getUniformLocation(program, "unlit");
    const float zero = 0.0f;
    gl.uniform1fv(unlit, 1, &zero);
    gl.useProgram(0);
    return program;
}

// Draws the translucent faces' triangles `corners` from memory: through
// the vertex program (bound by the caller) or, in the lists' path, with
// their colours and normals through the fixed pipeline.
void DrawClearCorners(const ModelRenderer& r, const ModelClearFaces& faces, const std::vector<uint32_t>& corners,
                      bool withColors) {
    if (corners.empty()) return;
    const ClearVertex* v = faces.vertices.data();
    const GLsizei stride = sizeof(ClearVertex);
    glVertexPointer(3, GL_FLOAT, stride, v->position);
    if (withColors) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, stride, v->rgba);
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_BYTE, stride, v->normal);
    } else {
        r.gl.vertexAttribPointer(kInfoAttribute, 2, GL_UNSIGNED_BYTE, GL_FALSE, stride, &v->faceLevel);
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(corners.size()), GL_UNSIGNED_INT, corners.data());
    if (withColors) {
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
}

// The triangles of the quads that face `point` (model units), farthest
// first when `backToFront`, else in quad order.
void OrderClearFaces(const ModelClearFaces& faces, const Vector3& point, bool backToFront,
                     std::vector<uint32_t>& corners) {
    std::vector<std::pair<float, uint32_t>> facing;  // (squared distance, quad)
    for (size_t q = 0; q < faces.centres.size(); ++q) {
        const Vector3 toPoint = point - faces.centres[q];
        if (dot(toPoint, cubeNormals[faces.faces[q]]) <= 0.0f) continue;
        facing.emplace_back(backToFront ? dot(toPoint, toPoint) : 0.0f, static_cast<uint32_t>(q));
    }
    if (backToFront) {
        std::sort(facing.begin(), facing.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
    }
    corners.clear();
    corners.reserve(facing.size() * 6);
    for (const auto& [distance, q] : facing) {
        for (int k : kQuadCorners) corners.push_back(4 * q + static_cast<uint32_t>(k));
    }
}

// The order of the faces facing `point`, found again only when the point moved.
const std::vector<uint32_t>& Ordered(const ModelClearFaces& faces, ModelClearFaces::Order& order, const Vector3& point,
                                     bool backToFront) {
    const Vector3& p = order.point;
    if (!order.valid || p.x != point.x || p.y != point.y || p.z != point.z) {
        OrderClearFaces(faces, point, backToFront, order.corners);
        order.point = point;
        order.valid = true;
    }
    return order.corners;
}

// The translucent faces facing the eye, back to front, blended over what is
// drawn: colour by the face's opacity; the picture's alpha gathers coverage
// (the picture's own alpha plus the rest of the face's). Depth is tested,
// not written, so no face hides another.
void DrawTranslucent(const ModelRenderer& r, ModelMeshGL& mesh, const Vector3& eye) {
    const std::vector<uint32_t>& corners = Ordered(mesh.translucent, mesh.translucent.eye, eye, true);
    if (corners.empty()) return;
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    if (r.blendFuncSeparate != nullptr) {
        r.blendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glDepthMask(GL_FALSE);
    DrawClearCorners(r, mesh.translucent, corners, !r.vertexBuffers);
    glPopAttrib();
}

// The translucent faces' shadow: those facing the light, lit by the shadow
// pass's black light, so the ground's grey under the global ambient as the
// opaque shadow, at each face's opacity (colour tracking takes the faces'
// alpha into the diffuse material, whose alpha lighting hands on).
void DrawTranslucentShadow(const ModelRenderer& r, ModelMeshGL& mesh, const Vector3& light) {
    const std::vector<uint32_t>& corners = Ordered(mesh.translucent, mesh.translucent.light, light, false);
    if (corners.empty()) return;
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    DrawClearCorners(r, mesh.translucent, corners, true);
    glPopAttrib();
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
    if (!allowBuffers || !LoadModelGLCalls(r.gl, GetGLProc)) {
        r.blendFuncSeparate = reinterpret_cast<PFNGLBLENDFUNCSEPARATEPROC>(GetGLProc("glBlendFuncSeparate"));
        return false;
    }
    GLint vertexTextures = 0;
    glGetIntegerv(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS, &vertexTextures);
    ClearErrors();
    if (vertexTextures >= 1) r.program = BuildProgram(r.gl, false, r.unlit);
    if (r.program == 0) {
        CloseModelRenderer(r);
        r.blendFuncSeparate = reinterpret_cast<PFNGLBLENDFUNCSEPARATEPROC>(GetGLProc("glBlendFuncSeparate"));
        return false;
    }
    // Without a fragment stage the metal part is drawn with no highlight.
    int32_t shinyUnlit = -1;
    r.shinyProgram = BuildProgram(r.gl, true, shinyUnlit);
    r.blendFuncSeparate = reinterpret_cast<PFNGLBLENDFUNCSEPARATEPROC>(GetGLProc("glBlendFuncSeparate"));
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
    if (r.shinyProgram != 0) r.gl.deleteProgram(r.shinyProgram);
    if (r.indexBuffer != 0) r.gl.deleteBuffers(1, &r.indexBuffer);
    r = ModelRenderer{};
}

void UploadModelMesh(const ModelRenderer& r, const VoxelModel& model, bool occlusion, ModelMeshGL& mesh) {
    DeleteModelMesh(r, mesh);
    const LookTexels looks(model);
    mesh.counts = BuildModelMesh(model, occlusion, [&](MeshPart part, const ModelMeshChunk& chunk) {
        switch (part) {
            case MeshPart::Lit: mesh.lit.push_back(Upload(r, chunk, part, looks)); break;
            case MeshPart::Emissive: mesh.emissive.push_back(Upload(r, chunk, part, looks)); break;
            case MeshPart::Metal: mesh.metal.push_back(Upload(r, chunk, part, looks)); break;
            case MeshPart::Coverage: mesh.shadow.push_back(Upload(r, chunk, part, looks)); break;
            case MeshPart::Translucent: AddClearFaces(chunk, looks, mesh.translucent); break;
        }
    });
    // The coverage part earns its memory only when it saves a good share of
    // the shadow pass's vertices. The lists' emissive quads turn lighting
    // off, which the shadow pass cannot have: they keep it.
    const bool needed = !r.vertexBuffers && !mesh.emissive.empty();
    if (!needed && mesh.counts.coverageQuads * 4 > mesh.counts.litQuads * 3) DeleteChunks(r, mesh.shadow);
    if (r.vertexBuffers) mesh.palette = MakePalette(r, looks);
}

void DrawModelLit(const ModelRenderer& r, ModelMeshGL& mesh, const Vector3& eye) {
    if (!r.vertexBuffers) {
        for (const std::vector<ModelDrawChunk>* part : {&mesh.lit, &mesh.emissive, &mesh.metal}) {
            ForFacingChunks(*part, eye, [](const ModelDrawChunk& c) { glCallList(c.name); });
        }
        DrawTranslucent(r, mesh, eye);
        return;
    }
    const float one = 1.0f, zero = 0.0f;
    r.gl.useProgram(r.program);
    r.gl.activeTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, mesh.palette);
    r.gl.activeTexture(GL_TEXTURE0);
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    r.gl.enableVertexAttribArray(kInfoAttribute);
    const auto draw = [&r](const ModelDrawChunk& c) { DrawBufferChunk(r, c, true); };
    ForFacingChunks(mesh.lit, eye, draw);
    if (!mesh.emissive.empty()) {
        r.gl.uniform1fv(r.unlit, 1, &one);
        ForFacingChunks(mesh.emissive, eye, draw);
        r.gl.uniform1fv(r.unlit, 1, &zero);
    }
    if (!mesh.metal.empty()) {
        if (r.shinyProgram != 0) r.gl.useProgram(r.shinyProgram);
        ForFacingChunks(mesh.metal, eye, draw);
        r.gl.useProgram(r.program);
    }
    UnbindBuffers(r);
    DrawTranslucent(r, mesh, eye);
    r.gl.disableVertexAttribArray(kInfoAttribute);
    r.gl.activeTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    r.gl.activeTexture(GL_TEXTURE0);
    r.gl.useProgram(0);
}

void DrawModelShadow(const ModelRenderer& r, ModelMeshGL& mesh, const Vector3& light) {
    DrawTranslucentShadow(r, mesh, light);
    const bool covered = !mesh.shadow.empty();
    const auto parts = covered ? std::vector{&mesh.shadow} : std::vector{&mesh.lit, &mesh.emissive, &mesh.metal};
    if (!r.vertexBuffers) {
        // Lit and metal lists set colours, normals and highlights too, which
        // the shadow pass's black light and untracked colour leave without
        // effect (emissive ones keep the coverage, UploadModelMesh).
        for (const std::vector<ModelDrawChunk>* part : parts) {
            ForFacingChunks(*part, light, [](const ModelDrawChunk& c) { glCallList(c.name); });
        }
        return;
    }
    r.gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    for (const std::vector<ModelDrawChunk>* part : parts) {
        ForFacingChunks(*part, light, [&r](const ModelDrawChunk& c) { DrawBufferChunk(r, c, false); });
    }
    UnbindBuffers(r);
}

void DeleteModelMesh(const ModelRenderer& r, ModelMeshGL& mesh) {
    for (std::vector<ModelDrawChunk>* part : {&mesh.lit, &mesh.emissive, &mesh.metal, &mesh.shadow}) {
        DeleteChunks(r, *part);
    }
    if (mesh.palette != 0) glDeleteTextures(1, &mesh.palette);
    mesh = ModelMeshGL{};
}
