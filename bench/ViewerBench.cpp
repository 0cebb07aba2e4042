// Viewer benchmarks, run from the repository root's assets:
//   BM_StartToFirstFrame  a fresh viewer process per iteration, timed from
//                         just before fork to just after its first present
//                         (manual time; the whole start-up with 30 frames)
//   BM_LoopIteration      one frame-loop iteration without the 3 ms sleep:
//                         clocks, scene, HUD and the present; CPU time of the
//                         whole process, so llvmpipe's threads count
//   BM_DrawFrame          the same without the present, finished with glFinish
//   BM_DrawGroundOnly     DrawScene with empty frames: what the character costs
// Run under a display; for the llvmpipe figures:
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" build/bench/app_bench
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "app/Scene.h"
#include "app/Viewer.h"
#include "platform/Window.h"

namespace {

std::string selfPath;

// Child mode: start up, draw and present one frame, report the clock.
int FirstFrameChild() {
    auto viewer = std::make_unique<Viewer>();
    StartViewer(*viewer, SteadyClockSeconds);
    RunViewerFrame(*viewer, SteadyClockSeconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(frameSleepMs));
    PresentWindow();
    glFinish();
    const double presented = SteadyClockSeconds();
    std::fprintf(stderr, "first-frame %.9f\n", presented);
    ShutDownViewer(*viewer);
    return 0;
}

// Runs one child viewer; returns seconds from fork to its first present, or
// a negative value when it failed.
double TimeOneStart() {
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
        execl(selfPath.c_str(), selfPath.c_str(), "--first-frame", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const size_t at = output.find("first-frame ");
    if (at == std::string::npos) return -1;
    return std::strtod(output.c_str() + at + 12, nullptr) - started;
}

void BM_StartToFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = TimeOneStart();
        if (seconds < 0) {
            state.SkipWithError("the viewer did not present a frame");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_StartToFirstFrame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// One viewer for the loop benchmarks, started on first use and kept until
// the process ends (its window and context with it).
Viewer& SharedViewer() {
    static Viewer* viewer = [] {
        auto* v = new Viewer();
        const int devNull = open("/dev/null", O_WRONLY);
        const int savedStdout = dup(STDOUT_FILENO);
        dup2(devNull, STDOUT_FILENO);  // keep the start-up log out of the report
        StartViewer(*v, SteadyClockSeconds);
        fflush(stdout);
        dup2(savedStdout, STDOUT_FILENO);
        close(devNull);
        close(savedStdout);
        return v;
    }();
    return *viewer;
}

void BM_LoopIteration(benchmark::State& state) {
    Viewer& viewer = SharedViewer();
    for (auto _ : state) {
        RunViewerFrame(viewer, SteadyClockSeconds);
        PresentWindow();
    }
    glFinish();
}
BENCHMARK(BM_LoopIteration)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_DrawFrame(benchmark::State& state) {
    Viewer& viewer = SharedViewer();
    for (auto _ : state) {
        RunViewerFrame(viewer, SteadyClockSeconds);
        glFinish();
    }
}
BENCHMARK(BM_DrawFrame)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

// The scene without the character and its shadow: ground, camera and light
// only, to tell the cost of the two list calls from the rest.
void BM_DrawGroundOnly(benchmark::State& state) {
    Viewer& viewer = SharedViewer();
    static const WalkFrames noFrames{};
    const WalkerState& walker = viewer.walker;
    for (auto _ : state) {
        DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, viewer.light,
                  viewer.textureTable, noFrames);
        glFinish();
    }
}
BENCHMARK(BM_DrawGroundOnly)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    selfPath = argv[0];
    if (chdir(VOXWALK_SOURCE_DIR) != 0) return 1;  // assets are relative
    if (argc == 2 && std::strcmp(argv[1], "--first-frame") == 0) return FirstFrameChild();
    char resolved[4096];
    const ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (length > 0) selfPath.assign(resolved, static_cast<size_t>(length));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
