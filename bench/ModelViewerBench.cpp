// Model viewer and snapshot benchmarks, for the shipped walk cycle, the
// generated monument of about 850,000 voxels and lighthouse with glass, an
// emissive lamp and steel (tools/Monument.h), and two
// 128^3 stress models, written to a temporary folder at start-up: the 3D
// checkerboard (1,048,576 voxels, no two sharing a face, 6.3 million
// exposed faces, nearly all onto closed cavities) and an open lattice
// (262,144 voxels two cells apart: 1,572,864 faces, all open to the outside):
//   BM_FirstFrame/<model>   a fresh process per iteration, from fork to its
//                           first presented frame of `voxwalk MODEL` (manual
//                           time); counter peak_MB: the child's peak RSS
//   BM_Frame/<model>        one window frame without sleep and present,
//                           finished with glFinish: frame time and fps;
//                           CPU time of the whole process, llvmpipe's
//                           threads included, for figures on a busy machine
//   BM_Snapshot/<case>      the whole `voxwalk --snapshot` process (manual
//                           time) with its peak RSS and its CPU seconds
//                           (cpu_s, all threads: steadier on a busy
//                           machine); the thumbnail case runs the
//                           thumbnailer entry's command line
//   BM_Animate/<case>       the whole `voxwalk --animate` process (manual
//                           time), its peak RSS and the file's size
// Needs a display for the window cases; for the llvmpipe figures:
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"
//       build/bench/model_viewer_bench
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/view/ModelWindow.h"
#include "platform/Window.h"
#include "tools/Monument.h"
#include "voxel/VoxWrite.h"

namespace {

std::string selfPath, workDir, walkPath, monumentPath, checkerPath, latticePath, lighthousePath;

// One 128^3 model of the cells whose coordinates pass `keep`, coloured by position.
template <typename Keep>
std::vector<uint8_t> StressVoxFile(const Keep& keep) {
    std::vector<uint8_t> cells;
    for (int z = 0; z < 128; ++z) {
        for (int y = 0; y < 128; ++y) {
            for (int x = 0; x < 128; ++x) {
                if (!keep(x, y, z)) continue;
                cells.insert(cells.end(), {uint8_t(x), uint8_t(y), uint8_t(z), uint8_t(1 + (x + 2 * y) % 255)});
            }
        }
    }
    const int32_t count = static_cast<int32_t>(cells.size() / 4);
    return voxwrite::VoxFile(voxwrite::Join(voxwrite::Size(128, 128, 128),
                                            voxwrite::Chunk("XYZI", voxwrite::Join(voxwrite::Int32s({count}), cells))));
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& file) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}

const std::string& ModelPath(int64_t which) {
    return which == 0 ? walkPath : which == 1 ? monumentPath : lighthousePath;
}

// Runs argv as a child with stdout and stderr captured; returns the wall
// seconds from fork to exit, the child's peak RSS in MB and its CPU seconds
// (user and system, all its threads), or -1 on failure.
double RunChild(const std::vector<std::string>& args, double& peakMb, std::string& output, double* cpu = nullptr) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const double started = SteadyClockSeconds();
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double ended = SteadyClockSeconds();
    peakMb = usage.ru_maxrss / 1024.0;
    if (cpu != nullptr) {
        *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return ended - started;
}

// Child mode: start the viewer on a model, present one frame, report the clock.
int FirstFrameChild(const char* path) {
    ModelWindow session;
    if (StartModelWindow(session, path, SteadyClockSeconds) != 0) return 1;
    RunModelWindowFrame(session, SteadyClockSeconds);
    PresentWindow();
    glFinish();
    std::printf("first-frame %.9f\n", SteadyClockSeconds());
    std::fflush(stdout);
    return 0;
}

void BM_FirstFrame(benchmark::State& state) {
    double peak = 0;
    for (auto _ : state) {
        std::string output;
        const double started = SteadyClockSeconds();
        if (RunChild({selfPath, "--first-frame", ModelPath(state.range(0))}, peak, output) < 0) {
            state.SkipWithError(("the viewer failed: " + output).c_str());
            return;
        }
        const size_t at = output.find("first-frame ");
        if (at == std::string::npos) {
            state.SkipWithError("no first frame");
            return;
        }
        state.SetIterationTime(std::strtod(output.c_str() + at + 12, nullptr) - started);
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_FirstFrame)
    ->ArgName("monument")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// Snapshot cases: the walk's first frame at 256 x 256, as the thumbnailer
// asks for it and on the scene; the monument at 1024 x 768 and at 4096 x
// 4096; the checkerboard and the lattice at 512 x 512; the walk cycle's first
// frame at 512 x 512 (the process BM_Animate's walk cycle is compared with);
// the lighthouse's materials at 256 x 256 as the thumbnailer asks for it.
void BM_Snapshot(benchmark::State& state) {
    static const struct {
        const char* size;
        int model;
        bool thumbnail;
    } kCases[] = {{"256", 0, false}, {"1024x768", 1, false}, {"4096", 1, false}, {"256", 0, true},
                  {"512", 2, false}, {"512", 3, false},      {"512", 4, false},  {"256", 5, true}};
    static const char* const kNames[] = {"walk frame", "monument",   "checkerboard",
                                         "lattice",    "walk cycle", "lighthouse"};
    const auto& c = kCases[state.range(0)];
    const std::string models[] = {
        walkPath + "/walk_00001.vox", monumentPath, checkerPath, latticePath, walkPath, lighthousePath};
    const std::string out = workDir + "/snapshot.png";
    std::vector<std::string> args = {VOXWALK_BINARY, "--snapshot", out, "--size", c.size};
    // The thumbnailer entry's command line (desktop/voxwalk.thumbnailer).
    if (c.thumbnail) args.insert(args.end(), {"--background", "transparent", "--time-limit", "3"});
    args.push_back(models[c.model]);
    double peak = 0, cpu = 0, cpuSum = 0;
    for (auto _ : state) {
        std::string output;
        const double seconds = RunChild(args, peak, output, &cpu);
        cpuSum += cpu;
        if (seconds < 0) {
            state.SkipWithError(("the snapshot failed: " + output).c_str());
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["peak_MB"] = peak;
    state.counters["cpu_s"] = cpuSum / static_cast<double>(state.iterations());
    state.SetLabel(std::string(c.size) + " " + kNames[c.model] + (c.thumbnail ? ", thumbnailer" : ""));
}
BENCHMARK(BM_Snapshot)->DenseRange(0, 7)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Animation cases: a 36-step turntable of the walk's first frame at 256 x
// 256, and the 30-frame walk cycle at 512 x 512, each as APNG and as GIF.
void BM_Animate(benchmark::State& state) {
    static const struct {
        const char* out;
        const char* size;
        bool cycle;
    } kCases[] = {{"turntable.png", "256", false},
                  {"turntable.gif", "256", false},
                  {"cycle.png", "512", true},
                  {"cycle.gif", "512", true}};
    const auto& c = kCases[state.range(0)];
    const std::string out = workDir + "/" + c.out;
    double peak = 0;
    for (auto _ : state) {
        std::string output;
        const double seconds = RunChild(
            {VOXWALK_BINARY, "--animate", out, "--size", c.size, c.cycle ? walkPath : walkPath + "/walk_00001.vox"},
            peak, output);
        if (seconds < 0) {
            state.SkipWithError(("the animation failed: " + output).c_str());
            return;
        }
        state.SetIterationTime(seconds);
    }
    struct stat info {};
    stat(out.c_str(), &info);
    std::remove(out.c_str());
    state.counters["peak_MB"] = peak;
    state.counters["file_kB"] = static_cast<double>(info.st_size) / 1000.0;
    state.SetLabel(std::string(c.out) + " " + c.size);
}
BENCHMARK(BM_Animate)->DenseRange(0, 3)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Runs last: its session makes this process large, and children forked
// after it would inherit that as their peak RSS.
void BM_Frame(benchmark::State& state) {
    ModelWindow session;
    if (StartModelWindow(session, ModelPath(state.range(0)), SteadyClockSeconds) != 0) {
        state.SkipWithError("the viewer did not start");
        return;
    }
    for (auto _ : state) {
        RunModelWindowFrame(session, SteadyClockSeconds);
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    StopModelWindow(session);
    CloseWindow();
}
// Arguments: 0 the walk cycle, 1 the monument, 2 the lighthouse.
BENCHMARK(BM_Frame)->ArgName("model")->Arg(0)->Arg(1)->Arg(2)->MeasureProcessCPUTime()->UseRealTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (chdir(VOXWALK_SOURCE_DIR) != 0) return 1;  // the grass and the font
    walkPath = std::string(VOXWALK_SOURCE_DIR) + "/assets/voxels/ZevezuRezov/Walk";
    if (argc == 3 && std::strcmp(argv[1], "--first-frame") == 0) return FirstFrameChild(argv[2]);
    char resolved[4096];
    const ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (length <= 0) return 1;
    selfPath.assign(resolved, static_cast<size_t>(length));
    char pattern[] = "/tmp/voxwalk-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    workDir = pattern;
    monumentPath = workDir + "/monument.vox";
    checkerPath = workDir + "/checkerboard.vox";
    latticePath = workDir + "/lattice.vox";
    lighthousePath = workDir + "/lighthouse.vox";
    if (!WriteFile(monumentPath, MonumentVoxFile()) || !WriteFile(lighthousePath, LighthouseVoxFile()) ||
        !WriteFile(checkerPath, StressVoxFile([](int x, int y, int z) { return (x + y + z) % 2 == 0; })) ||
        !WriteFile(latticePath, StressVoxFile([](int x, int y, int z) { return (x | y | z) % 2 == 0; }))) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string& path : {monumentPath, checkerPath, latticePath, lighthousePath}) std::remove(path.c_str());
    std::remove((workDir + "/snapshot.png").c_str());
    rmdir(workDir.c_str());
    return 0;
}
