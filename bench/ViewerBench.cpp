// Viewer benchmarks, run from the repository root's assets:
//   BM_StartToFirstFrame  a fresh viewer process per iteration, timed from
//                         just before fork to just after its first present
//                         (manual time; the whole start-up with 30 frames)
//   BM_LoopIteration      one frame-loop iteration without the 3 ms sleep:
//                         clocks, scene, HUD and the present; CPU time of the
//                         whole process, so llvmpipe's threads count
//   BM_DrawFrame          the same without the present, finished with glFinish
//   BM_DrawGroundOnly     DrawScene with empty frames: what the character costs
//   BM_DrawCycle          the scene at 90 fixed poses over one turn of the
//                         circle, with BM_DrawCycleGroundOnly its ground
//                         alone: the character's share, comparable between
//                         builds; BM_DrawCycleFaces the same poses from lists
//                         of other face selections (FrameMesh.h)
//   BM_MonumentStartToFirstFrame  a fresh process that opens the window, reads
//                         the generated 848,276-voxel monument (tools/Monument.h)
//                         from a file, builds its list and presents one frame;
//                         also its peak memory
//   BM_MonumentBuildList  BuildFrameList of the monument (mesh and compile)
//   BM_MonumentDrawFrame  the scene with the monument in place of the walker
// The start-up benchmarks report the child's peak resident memory (peakMB).
// Run under a display; for the llvmpipe figures:
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" build/bench/app_bench
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/stage/Assets.h"
#include "app/stage/FrameLists.h"
#include "app/stage/FrameMesh.h"
#include "app/stage/Hud.h"
#include "app/stage/Scene.h"
#include "app/walk/Walk.h"
#include "platform/Heap.h"
#include "platform/Window.h"
#include "tools/Monument.h"

namespace {

std::string selfPath;
std::string monumentPath;  // the generated monument, written once per run
std::string workDir;       // the start-up benchmarks' shader caches

// The monument read from its file and placed as a walk frame is.
void LoadMonument(VoxelModel& model) {
    const int devNull = open("/dev/null", O_WRONLY);
    const int savedStdout = dup(STDOUT_FILENO);
    dup2(devNull, STDOUT_FILENO);  // the reader's lines are not measured output
    LoadVoxelModel(monumentPath.c_str(), model);
    fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(devNull);
    close(savedStdout);
    OrientFrame(model);
    RecentreFrame(model);
}

// Child mode for the monument: window, light, ground texture, the model from
// its file, its list, one presented frame.
int MonumentFirstFrameChild() {
    InitGL(1024, 768, 32, 0, 2, 0);
    LightSource light;
    SetupSceneLight(light);
    std::vector<TextureEntry> textures;
    LoadTexture(grassTexturePath, textures, 0, textureDirectory);
    auto frames = std::make_unique<WalkFrames>();
    LoadMonument((*frames)[0]);
    BuildFrameList((*frames)[0]);
    Matrix4 still(0.0f);
    setIdentity(still);
    DrawScene(Vector3(), still, 1, light, textures, *frames);
    PresentWindow();
    glFinish();
    const double presented = SteadyClockSeconds();
    std::fprintf(stderr, "first-frame %.9f\n", presented);
    return 0;
}

// Child mode: start up as main() does, draw and present one frame, report
// the clock. Without a window (a display whose visuals have no OpenGL
// configuration: an 8-bit screen, for one) the start skips the driver
// altogether, so it says so instead of reporting a time.
int FirstFrameChild() {
    ReserveHugePageHeap(kHugePageHeapBytes);
    auto viewer = std::make_unique<WalkApp>();
    StartWalk(*viewer, SteadyClockSeconds);
    if (!HasWindow()) {
        std::fprintf(stderr, "no-window\n");
        return 3;
    }
    RunWalkFrame(*viewer, SteadyClockSeconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(frameSleepMs));
    PresentWindow();
    glFinish();
    const double presented = SteadyClockSeconds();
    std::fprintf(stderr, "first-frame %.9f\n", presented);
    ShutDownWalk(*viewer);
    return 0;
}

// Runs one child (`mode` is its argument), with Mesa's shader cache in
// `shaderCache` when one is given; returns seconds from fork to its first
// present, or a negative value when it failed, its peak memory and what it
// wrote to stderr.
double TimeOneStart(const char* mode, const std::string& shaderCache, double& peakMegabytes, std::string& output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const double started = SteadyClockSeconds();
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);  // the start-up log is not measured output
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        if (!shaderCache.empty()) setenv("MESA_SHADER_CACHE_DIR", shaderCache.c_str(), 1);
        execl(selfPath.c_str(), selfPath.c_str(), mode, monumentPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    output.clear();
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    const size_t at = output.find("first-frame ");
    if (at == std::string::npos) return -1;
    return std::strtod(output.c_str() + at + 12, nullptr) - started;
}

// Where Mesa keeps compiled shaders for a run: the user's own cache (the
// machine as it is), a fresh empty one for every start (the first run on a
// fresh machine), or one of the benchmark's own, filled by an untimed start
// first (every later run).
enum ShaderCache { kUsersCache, kFreshCache, kWarmCache };

void TimeStarts(benchmark::State& state, const char* mode, ShaderCache cache = kUsersCache) {
    double peak = 0;
    std::string warm, output;
    if (cache == kWarmCache) {
        warm = workDir + "/shader-cache-warm";
        double ignored = 0;
        TimeOneStart(mode, warm, ignored, output);
    }
    int fresh = 0;
    for (auto _ : state) {
        double megabytes = 0;
        const std::string dir = cache == kFreshCache  ? workDir + "/shader-cache-" + std::to_string(fresh++)
                                : cache == kWarmCache ? warm
                                                      : std::string();
        const double seconds = TimeOneStart(mode, dir, megabytes, output);
        if (seconds < 0) {
            state.SkipWithError(output.find("no-window") != std::string::npos
                                    ? "the child had no window: use a display with a 24-bit screen"
                                    : "the child did not present a frame");
            return;
        }
        state.SetIterationTime(seconds);
        peak = std::max(peak, megabytes);
    }
    state.counters["peakMB"] = peak;
}

void BM_StartToFirstFrame(benchmark::State& state) {
    TimeStarts(state, "--first-frame", static_cast<ShaderCache>(state.range(0)));
}
BENCHMARK(BM_StartToFirstFrame)
    ->ArgName("cache")
    ->Arg(kUsersCache)
    ->Arg(kFreshCache)
    ->Arg(kWarmCache)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

void BM_MonumentStartToFirstFrame(benchmark::State& state) { TimeStarts(state, "--first-frame-monument"); }
BENCHMARK(BM_MonumentStartToFirstFrame)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// One viewer for the loop benchmarks, started on first use and kept until
// the process ends (its window and context with it).
WalkApp& SharedWalk() {
    static WalkApp* viewer = [] {
        auto* v = new WalkApp();
        const int devNull = open("/dev/null", O_WRONLY);
        const int savedStdout = dup(STDOUT_FILENO);
        dup2(devNull, STDOUT_FILENO);  // keep the start-up log out of the report
        StartWalk(*v, SteadyClockSeconds);
        // Lists are otherwise compiled by the loop's first pass over the cycle.
        for (VoxelModel& frame : v->walkFrames) PrepareFrameList(frame);
        fflush(stdout);
        dup2(savedStdout, STDOUT_FILENO);
        close(devNull);
        close(savedStdout);
        return v;
    }();
    return *viewer;
}

void BM_LoopIteration(benchmark::State& state) {
    WalkApp& viewer = SharedWalk();
    for (auto _ : state) {
        RunWalkFrame(viewer, SteadyClockSeconds);
        PresentWindow();
    }
    glFinish();
}
BENCHMARK(BM_LoopIteration)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_DrawFrame(benchmark::State& state) {
    WalkApp& viewer = SharedWalk();
    for (auto _ : state) {
        RunWalkFrame(viewer, SteadyClockSeconds);
        glFinish();
    }
}
BENCHMARK(BM_DrawFrame)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

// The scene without the character and its shadow: ground, camera and light
// only, to tell the cost of the two list calls from the rest.
void BM_DrawGroundOnly(benchmark::State& state) {
    WalkApp& viewer = SharedWalk();
    static const WalkFrames noFrames{};
    const WalkerState& walker = viewer.walker;
    for (auto _ : state) {
        DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, viewer.light, viewer.textureTable,
                  noFrames);
        glFinish();
    }
}
BENCHMARK(BM_DrawGroundOnly)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

// The walk over one whole turn of the circle on a scripted clock at 30
// steps a second, every fourth step kept: 90 poses in which each frame is
// seen from several sides and distances, the same in every build. The
// real-clock benchmarks above draw whatever part of the circle their run
// happens to cover, and the character's size on screen changes along it.
const std::vector<WalkerState>& CyclePoses() {
    static const std::vector<WalkerState> poses = [] {
        std::vector<WalkerState> kept;
        WalkerState walker;
        double now = 0.0;
        const Clock clock = [&now] { return now; };
        ResetWalker(walker, now);
        for (int step = 0; step < 360; ++step) {
            now += 1.0 / 30.0;
            AdvanceClocks(walker, clock);
            BuildWalkerTransform(walker);
            if (step % 4 == 0) kept.push_back(walker);
            StepWalker(walker);
        }
        return kept;
    }();
    return poses;
}

void DrawCycle(benchmark::State& state, const WalkFrames& frames) {
    WalkApp& viewer = SharedWalk();
    const std::vector<WalkerState>& poses = CyclePoses();
    size_t next = 0;
    for (auto _ : state) {
        const WalkerState& walker = poses[next++ % poses.size()];
        DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, viewer.light, viewer.textureTable,
                  frames);
        glFinish();
    }
}

// Iterations are ten turns of the poses, so every run draws each pose alike.
void TenTurns(benchmark::internal::Benchmark* b) {
    b->Iterations(900)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
}

void BM_DrawCycle(benchmark::State& state) { DrawCycle(state, SharedWalk().walkFrames); }
BENCHMARK(BM_DrawCycle)->Apply(TenTurns);

void BM_DrawCycleGroundOnly(benchmark::State& state) {
    static const WalkFrames noFrames{};
    DrawCycle(state, noFrames);
}
BENCHMARK(BM_DrawCycleGroundOnly)->Apply(TenTurns);

// The cycle drawn from lists of other face selections (FrameMesh.h): the
// first argument for the lit pass, the second for the shadow.
void BM_DrawCycleFaces(benchmark::State& state) {
    WalkApp& viewer = SharedWalk();
    auto frames = std::make_unique<WalkFrames>();
    FrameMesh mesh;
    double quads = 0;
    for (int n = 0; n < walkFrameCount; ++n) {
        // Compiled as BuildFrameList compiles, so {0, 1} costs what the program's lists do.
        const auto compile = [&](int64_t selection, bool shaded) {
            BuildFrameMesh(viewer.walkFrames[n], static_cast<FaceSelection>(selection), mesh);
            quads += static_cast<double>(mesh.vertices.size() / 4);
            return CompileQuadList(mesh, shaded);
        };
        (*frames)[n].displayList = compile(state.range(0), true);
        (*frames)[n].shadowList = compile(state.range(1), false);
    }
    DrawCycle(state, *frames);
    state.counters["quads"] = quads / walkFrameCount;
    DeleteWalkFrameLists(*frames);
}
BENCHMARK(BM_DrawCycleFaces)
    ->ArgNames({"lit", "shadow"})  // 0 all faces, 1 visible, 2 merged
    ->Args({0, 1})                 // the shipped lists
    ->Args({0, 0})                 // all faces in both passes, as before
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({2, 2})
    ->Apply(TenTurns);

// The monument as frame 1 of a frame array of its own, kept for the run.
WalkFrames& MonumentFrames() {
    static WalkFrames* frames = [] {
        auto* f = new WalkFrames();
        SharedWalk();
        LoadMonument((*f)[0]);
        BuildFrameList((*f)[0]);
        return f;
    }();
    return *frames;
}

void BM_MonumentBuildList(benchmark::State& state) {
    SharedWalk();
    VoxelModel& model = MonumentFrames()[0];
    for (auto _ : state) {
        VoxelModel copy;
        copy.voxels = model.voxels;
        copy.palette = model.palette;
        BuildFrameList(copy);
        glFinish();
        state.PauseTiming();
        glDeleteLists(copy.displayList, 1);
        if (copy.shadowList != 0) glDeleteLists(copy.shadowList, 1);
        state.ResumeTiming();
    }
    state.counters["voxels"] = static_cast<double>(model.voxels.size());
}
BENCHMARK(BM_MonumentBuildList)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MonumentDrawFrame(benchmark::State& state) {
    WalkApp& viewer = SharedWalk();
    const WalkFrames& frames = MonumentFrames();
    Matrix4 still(0.0f);
    setIdentity(still);
    for (auto _ : state) {
        DrawScene(Vector3(), still, 1, viewer.light, viewer.textureTable, frames);
        glFinish();
    }
}
BENCHMARK(BM_MonumentDrawFrame)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    selfPath = argv[0];
    if (chdir(VOXWALK_SOURCE_DIR) != 0) return 1;  // assets are relative
    if (argc == 3 && std::strcmp(argv[1], "--first-frame") == 0) return FirstFrameChild();
    if (argc == 3 && std::strcmp(argv[1], "--first-frame-monument") == 0) {
        monumentPath = argv[2];
        return MonumentFirstFrameChild();
    }
    char resolved[4096];
    const ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (length > 0) selfPath.assign(resolved, static_cast<size_t>(length));
    // The monument is made here, not stored: written once for the child
    // processes to read and removed at the end.
    char path[] = "/tmp/voxwalk-monument-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 1;
    const std::vector<uint8_t> bytes = MonumentVoxFile();
    const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    monumentPath = path;
    char work[] = "/tmp/voxwalk-bench-XXXXXX";
    if (written && mkdtemp(work) != nullptr) {
        workDir = work;
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        std::filesystem::remove_all(workDir);
    }
    unlink(path);
    return written && !workDir.empty() ? 0 : 1;
}
