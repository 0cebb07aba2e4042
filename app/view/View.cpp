#include "app/view/View.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/stage/FrameLoop.h"
#include "app/view/Animate.h"
#include "app/view/CommandLine.h"
#include "app/view/ExportCommand.h"
#include "app/view/ModelScene.h"
#include "app/view/ModelWindow.h"
#include "app/view/Snapshot.h"

namespace {

// Writes `text` to standard output; a failed write (a full disk, a closed
// pipe) is an error, not a success.
int PrintText(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        Report(std::string("standard output: ") + std::strerror(errno));
        return kExitInput;
    }
    return 0;
}

}  // namespace

int RunView(int argc, const char* const* argv) {
    Options options;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, error)) {
        return ReportUsage(error);
    }
    switch (options.mode) {
        case RunMode::Help: return PrintText(UsageText());
        case RunMode::Version: return PrintText(VersionText());
        case RunMode::View: return RunModelWindow(options, SteadyClockSeconds);
        case RunMode::Snapshot: return RunSnapshot(options);
        case RunMode::Export: return RunExport(options);
        case RunMode::Animate: return RunAnimate(options);
        case RunMode::Sheet: return RunSheet(options);
        case RunMode::Walk: break;
    }
    return kRunWalk;
}
