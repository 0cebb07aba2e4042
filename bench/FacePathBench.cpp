// How the model viewer's faces should reach llvmpipe: the measurement that
// chose vertex buffers over instancing (app/stage/ModelDraw.h).
//   BM_FacePath/instanced:0  4 vertices of 8 bytes a quad in vertex buffers,
//                            one shared 16-bit index pattern, the shipped
//                            vertex shader's work
//   BM_FacePath/instanced:1  one 16-byte instance a quad (its low corner,
//                            extent, face, levels, colour), a 4-vertex strip
//                            built from gl_VertexID
// Both draw the lit part of ModelMesh's mesh with the same lighting, every
// direction (no culling), into a 1024 x 768 offscreen framebuffer, ended by
// glFinish. BM_BuildModelMesh/model builds the mesh alone (CPU; counters:
// faces seen, faces onto closed cavities, lit and coverage quads), the 3D
// checkerboard of 1,048,576 voxels as model 3. Models: 0 an open lattice of 262,144 voxels two cells apart
// (1,572,864 faces, none merged, all of them visible from some side), 1 the
// monument (tools/Monument.h), 2 a walk frame. No display needed:
//   build/bench/face_path_bench
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/stage/FrameMesh.h"
#include "app/stage/ModelMesh.h"
#include "log/Log.h"
#include "platform/Offscreen.h"
#include "platform/Window.h"
#include "tools/Monument.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;

template <typename Proc>
Proc Get(const char* name) {
    return reinterpret_cast<Proc>(GetGLProc(name));
}

struct Calls {
    PFNGLGENBUFFERSPROC genBuffers = Get<PFNGLGENBUFFERSPROC>("glGenBuffers");
    PFNGLBINDBUFFERPROC bindBuffer = Get<PFNGLBINDBUFFERPROC>("glBindBuffer");
    PFNGLBUFFERDATAPROC bufferData = Get<PFNGLBUFFERDATAPROC>("glBufferData");
    PFNGLDELETEBUFFERSPROC deleteBuffers = Get<PFNGLDELETEBUFFERSPROC>("glDeleteBuffers");
    PFNGLCREATESHADERPROC createShader = Get<PFNGLCREATESHADERPROC>("glCreateShader");
    PFNGLSHADERSOURCEPROC shaderSource = Get<PFNGLSHADERSOURCEPROC>("glShaderSource");
    PFNGLCOMPILESHADERPROC compileShader = Get<PFNGLCOMPILESHADERPROC>("glCompileShader");
    PFNGLCREATEPROGRAMPROC createProgram = Get<PFNGLCREATEPROGRAMPROC>("glCreateProgram");
    PFNGLATTACHSHADERPROC attachShader = Get<PFNGLATTACHSHADERPROC>("glAttachShader");
    PFNGLBINDATTRIBLOCATIONPROC bindAttribLocation = Get<PFNGLBINDATTRIBLOCATIONPROC>("glBindAttribLocation");
    PFNGLLINKPROGRAMPROC linkProgram = Get<PFNGLLINKPROGRAMPROC>("glLinkProgram");
    PFNGLGETPROGRAMIVPROC getProgramiv = Get<PFNGLGETPROGRAMIVPROC>("glGetProgramiv");
    PFNGLUSEPROGRAMPROC useProgram = Get<PFNGLUSEPROGRAMPROC>("glUseProgram");
    PFNGLDELETEPROGRAMPROC deleteProgram = Get<PFNGLDELETEPROGRAMPROC>("glDeleteProgram");
    PFNGLVERTEXATTRIBPOINTERPROC vertexAttribPointer = Get<PFNGLVERTEXATTRIBPOINTERPROC>("glVertexAttribPointer");
    PFNGLVERTEXATTRIBIPOINTERPROC vertexAttribIPointer = Get<PFNGLVERTEXATTRIBIPOINTERPROC>("glVertexAttribIPointer");
    PFNGLENABLEVERTEXATTRIBARRAYPROC enableVertexAttribArray =
        Get<PFNGLENABLEVERTEXATTRIBARRAYPROC>("glEnableVertexAttribArray");
    PFNGLVERTEXATTRIBDIVISORPROC vertexAttribDivisor = Get<PFNGLVERTEXATTRIBDIVISORPROC>("glVertexAttribDivisor");
    PFNGLDRAWARRAYSINSTANCEDPROC drawArraysInstanced = Get<PFNGLDRAWARRAYSINSTANCEDPROC>("glDrawArraysInstanced");
};

// The per-vertex lighting both variants share, as the shipped shader does it.
constexpr const char* kLighting = R"(
vec4 Lit(vec4 color, vec3 n, vec4 vertex) {
    vec3 normal = gl_NormalMatrix * n;
    vec4 position = gl_ModelViewMatrix * vertex;
    vec3 toLight = normalize(gl_LightSource[0].position.xyz - position.xyz);
    float diffuse = max(dot(normal, toLight), 0.0);
    return vec4(gl_LightModel.ambient.rgb * color.rgb + gl_LightSource[0].ambient.rgb * color.rgb +
                diffuse * gl_LightSource[0].diffuse.rgb * color.rgb, color.a);
}
const vec3 normals[6] = vec3[6](vec3(0, 0, 1), vec3(0, 1, 0), vec3(0, 0, -1), vec3(0, -1, 0), vec3(-1, 0, 0),
                                vec3(1, 0, 0));
const float brightness[4] = float[4](1.0, 0.8, 0.62, 0.45);
)";

constexpr const char* kBufferShader = R"(
attribute vec2 info;
void main() {
    float level = floor(info.x / 8.0);
    vec4 color = vec4(vec3(0.2 + info.y / 320.0), 1.0) * brightness[int(level)];
    gl_FrontColor = Lit(color, normals[int(mod(info.x, 8.0))], gl_Vertex);
    gl_Position = ftransform();
})";

// Corners of face f as cubeFaces gives them, each as 0/1 offsets per axis.
constexpr const char* kInstanceShader = R"(
in ivec3 low;
in uvec4 info;  // face, four levels, colour, turn
in uvec2 size;  // extent less one along the face's u and v axes
const ivec3 corner[8] = ivec3[8](ivec3(0, 1, 1), ivec3(0, 0, 1), ivec3(1, 0, 1), ivec3(1, 1, 1), ivec3(0, 1, 0),
                                 ivec3(0, 0, 0), ivec3(1, 0, 0), ivec3(1, 1, 0));
const int faces[24] = int[24](0, 1, 2, 3, 0, 3, 7, 4, 4, 7, 6, 5, 1, 5, 6, 2, 0, 4, 5, 1, 3, 2, 6, 7);
void main() {
    int f = int(info.x);
    // The strip 1, 2, 0, 3 shares the edge 0-2, as the index pattern does.
    int strip[4] = int[4](1, 2, 0, 3);
    int e = strip[gl_VertexID];
    int k = (e + int(info.w)) % 4;
    ivec3 c = corner[faces[f * 4 + k]];
    int n = f == 4 || f == 5 ? 0 : f == 1 || f == 3 ? 1 : 2;
    ivec3 extent = ivec3(0);
    extent[(n + 1) % 3] = int(size.x);
    extent[(n + 2) % 3] = int(size.y);
    vec4 vertex = vec4(vec3(low + c + c * extent), 1.0);
    float level = float((info.y >> uint(2 * e)) & 3u);
    vec4 color = vec4(vec3(0.2 + float(info.z) / 320.0), 1.0) * brightness[int(level)];
    gl_FrontColor = Lit(color, normals[f], vertex);
    gl_Position = gl_ModelViewProjectionMatrix * vertex;
})";

struct Drawn {
    std::vector<GLuint> buffers;
    std::vector<GLsizei> counts;
    std::vector<std::array<int64_t, 3>> origins;
    GLuint indices = 0, program = 0;
};

GLuint Program(const Calls& gl, bool instanced) {
    const std::string source = std::string(instanced ? "#version 130\n" : "#version 120\n") + kLighting +
                               (instanced ? kInstanceShader : kBufferShader);
    const char* text = source.c_str();
    const GLuint shader = gl.createShader(GL_VERTEX_SHADER);
    gl.shaderSource(shader, 1, &text, nullptr);
    gl.compileShader(shader);
    const GLuint program = gl.createProgram();
    gl.attachShader(program, shader);
    gl.bindAttribLocation(program, 1, instanced ? "low" : "info");
    if (instanced) gl.bindAttribLocation(program, 2, "info"), gl.bindAttribLocation(program, 3, "size");
    gl.linkProgram(program);
    GLint linked = 0;
    gl.getProgramiv(program, GL_LINK_STATUS, &linked);
    return linked ? program : 0;
}

// One instance: the quad's low corner, face, levels (2 bits a corner, in
// the order the mesh emitted them), colour, whether that order starts at
// the face's second corner, and extent.
struct Instance {
    int16_t low[3];
    uint8_t info[4];
    uint16_t size[2];
    uint16_t pad;
};
static_assert(sizeof(Instance) == 16);

Drawn Upload(const Calls& gl, const VoxelModel& model, bool instanced) {
    Drawn d;
    d.program = Program(gl, instanced);
    BuildModelMesh(model, true, [&](MeshPart part, const ModelMeshChunk& chunk) {
        if (part != MeshPart::Lit) return;
        GLuint buffer = 0;
        gl.genBuffers(1, &buffer);
        gl.bindBuffer(GL_ARRAY_BUFFER, buffer);
        const size_t quads = chunk.vertices.size() / 4;
        if (!instanced) {
            gl.bufferData(GL_ARRAY_BUFFER, chunk.vertices.size() * sizeof(ModelVertex), chunk.vertices.data(),
                          GL_STATIC_DRAW);
        } else {
            std::vector<Instance> instances(quads);
            for (size_t q = 0; q < quads; ++q) {
                const ModelVertex* v = &chunk.vertices[4 * q];
                Instance& in = instances[q];
                int16_t high[3];
                for (int a = 0; a < 3; ++a) {
                    in.low[a] = std::min({v[0].position[a], v[1].position[a], v[2].position[a], v[3].position[a]});
                    high[a] = std::max({v[0].position[a], v[1].position[a], v[2].position[a], v[3].position[a]});
                }
                const int n = chunk.face == 4 || chunk.face == 5 ? 0 : chunk.face == 1 || chunk.face == 3 ? 1 : 2;
                in.size[0] = static_cast<uint16_t>(std::max(high[(n + 1) % 3] - in.low[(n + 1) % 3] - 1, 0));
                in.size[1] = static_cast<uint16_t>(std::max(high[(n + 2) % 3] - in.low[(n + 2) % 3] - 1, 0));
                in.low[n] = v[0].position[n] - (chunk.face == 1 || chunk.face == 0 || chunk.face == 5 ? 1 : 0);
                in.info[0] = static_cast<uint8_t>(chunk.face);
                in.info[1] = static_cast<uint8_t>(v[0].faceLevel >> 3 | (v[1].faceLevel >> 3) << 2 |
                                                  (v[2].faceLevel >> 3) << 4 | (v[3].faceLevel >> 3) << 6);
                in.info[2] = v[0].color;
                const Vector3& second = cubeCorners[cubeFaces[chunk.face][1]];
                const float offset[3] = {second.x, second.y, second.z};
                bool turned = true;
                for (int a = 0; a < 3; ++a) {
                    if (a != n) turned = turned && v[0].position[a] == (offset[a] > 0 ? high[a] : in.low[a]);
                }
                in.info[3] = turned ? 1 : 0;
            }
            gl.bufferData(GL_ARRAY_BUFFER, instances.size() * sizeof(Instance), instances.data(), GL_STATIC_DRAW);
        }
        d.buffers.push_back(buffer);
        d.counts.push_back(static_cast<GLsizei>(quads));
        d.origins.push_back({chunk.origin[0], chunk.origin[1], chunk.origin[2]});
    });
    if (!instanced) {
        std::vector<uint16_t> pattern;
        for (int q = 0; q < kChunkQuads; ++q) {
            for (int k : {0, 1, 2, 0, 2, 3}) pattern.push_back(static_cast<uint16_t>(4 * q + k));
        }
        gl.genBuffers(1, &d.indices);
        gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, d.indices);
        gl.bufferData(GL_ELEMENT_ARRAY_BUFFER, pattern.size() * 2, pattern.data(), GL_STATIC_DRAW);
    }
    return d;
}

void Draw(const Calls& gl, const Drawn& d, bool instanced) {
    gl.useProgram(d.program);
    if (!instanced) {
        gl.bindBuffer(GL_ELEMENT_ARRAY_BUFFER, d.indices);
        glEnableClientState(GL_VERTEX_ARRAY);
        gl.enableVertexAttribArray(1);
    } else {
        for (GLuint a : {1u, 2u, 3u}) gl.enableVertexAttribArray(a), gl.vertexAttribDivisor(a, 1);
    }
    for (size_t i = 0; i < d.buffers.size(); ++i) {
        glPushMatrix();
        glTranslatef(d.origins[i][0] - 0.5f, d.origins[i][1] - 0.5f, d.origins[i][2] - 0.5f);
        gl.bindBuffer(GL_ARRAY_BUFFER, d.buffers[i]);
        if (!instanced) {
            glVertexPointer(3, GL_SHORT, 8, nullptr);
            gl.vertexAttribPointer(1, 2, GL_UNSIGNED_BYTE, GL_FALSE, 8, reinterpret_cast<void*>(6));
            glDrawElements(GL_TRIANGLES, d.counts[i] * 6, GL_UNSIGNED_SHORT, nullptr);
        } else {
            gl.vertexAttribIPointer(1, 3, GL_SHORT, sizeof(Instance), nullptr);
            gl.vertexAttribIPointer(2, 4, GL_UNSIGNED_BYTE, sizeof(Instance), reinterpret_cast<void*>(6));
            gl.vertexAttribIPointer(3, 2, GL_UNSIGNED_SHORT, sizeof(Instance), reinterpret_cast<void*>(10));
            gl.drawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, d.counts[i]);
        }
        glPopMatrix();
    }
    gl.useProgram(0);
}

VoxelModel BenchModel(int64_t which) {
    VoxelModel model;
    model.palette.fill(0xff808080u);
    if (which == 0) {
        for (int z = 0; z < 128; z += 2) {
            for (int y = 0; y < 128; y += 2) {
                for (int x = 0; x < 128; x += 2) model.voxels.push_back({x - 64, y, z - 64, uint32_t(1 + x), 0});
            }
        }
    } else if (which == 1) {
        const std::vector<uint8_t> file = MonumentVoxFile();
        LoadVoxelModelFromMemory(file.data(), file.size(), model);
    } else if (which == 2) {
        LoadVoxelModel(VOXWALK_SOURCE_DIR "/assets/voxels/ZevezuRezov/Walk/walk_00001.vox", model);
    } else {
        for (int z = 0; z < 128; ++z) {
            for (int y = 0; y < 128; ++y) {
                for (int x = 0; x < 128; ++x) {
                    if ((x + y + z) % 2 == 0) model.voxels.push_back({x, y, z, uint32_t(1 + x), 0});
                }
            }
        }
    }
    return model;
}

void BM_BuildModelMesh(benchmark::State& state) {
    SilenceLog();
    const VoxelModel model = BenchModel(state.range(0));
    ModelMeshCounts counts;
    for (auto _ : state) {
        counts = BuildModelMesh(model, true, [](MeshPart, const ModelMeshChunk& chunk) {
            benchmark::DoNotOptimize(chunk.vertices.data());
        });
    }
    state.counters["faces"] = static_cast<double>(counts.faces);
    state.counters["cavity_faces"] = static_cast<double>(counts.cavityFaces);
    state.counters["lit_quads"] = static_cast<double>(counts.litQuads);
    state.counters["coverage_quads"] = static_cast<double>(counts.coverageQuads);
}
BENCHMARK(BM_BuildModelMesh)->ArgName("model")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_FacePath(benchmark::State& state) {
    const bool instanced = state.range(0) != 0;
    SilenceLog();
    std::string error;
    if (!OpenOffscreenGL(kWidth, kHeight, error, 0)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const Calls gl;
    const VoxelModel model = BenchModel(state.range(1));
    const Drawn drawn = Upload(gl, model, instanced);
    if (drawn.program == 0) {
        state.SkipWithError("the shader did not link");
        CloseOffscreenGL();
        return;
    }
    size_t quads = 0;
    for (GLsizei n : drawn.counts) quads += static_cast<size_t>(n);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float light[4] = {300, 1500, 300, 1};
    glMatrixMode(GL_PROJECTION);
    gluPerspective(40, double(kWidth) / kHeight, 1, 3000);
    glMatrixMode(GL_MODELVIEW);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        gluLookAt(-150, 250, 150, 0, 40, 0, 0, 1, 0);
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        Draw(gl, drawn, instanced);
        glFinish();
    }
    state.counters["quads"] = static_cast<double>(quads);
    state.counters["ns_per_quad"] = benchmark::Counter(static_cast<double>(quads) * state.iterations(),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (GLuint b : drawn.buffers) gl.deleteBuffers(1, &b);
    CloseOffscreenGL();
}
BENCHMARK(BM_FacePath)
    ->ArgNames({"instanced", "model"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
