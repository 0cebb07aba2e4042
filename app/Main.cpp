// voxwalk: with no arguments, a voxel character walking in a circle over
// grass until Escape, its log on standard output; with a PATH, the user's
// model in the same scene; with --snapshot, one picture of it.
#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "app/ModelViewer.h"
#include "app/Viewer.h"

int main(int argc, char** argv) {
    if (argc <= 1) return RunViewer(SteadyClockSeconds);

    Options options;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, error)) {
        std::fprintf(stderr, "voxwalk: %s\nTry 'voxwalk --help' for more information.\n",
                     error.c_str());
        return kExitUsage;
    }
    switch (options.mode) {
        case RunMode::Help: std::fputs(UsageText().c_str(), stdout); return 0;
        case RunMode::Version: std::fputs(VersionText().c_str(), stdout); return 0;
        case RunMode::View: return RunModelViewer(options, SteadyClockSeconds);
        case RunMode::Snapshot: return RunSnapshot(options);
        case RunMode::Walk: break;
    }
    return RunViewer(SteadyClockSeconds);
}
