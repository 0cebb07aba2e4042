// The log channel: where lines go before and after a log is opened or silenced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/LogCapture.h"

namespace {

// Standard input swapped for a pipe's write end, so a line sent to
// descriptor 0 by mistake is seen there instead of lost.
class StdinPipe {
  public:
    StdinPipe() : saved_(dup(0)) {
        EXPECT_EQ(pipe(ends_), 0);
        dup2(ends_[1], 0);
        fcntl(ends_[0], F_SETFL, O_NONBLOCK);
    }
    ~StdinPipe() {
        dup2(saved_, 0);
        close(saved_);
        close(ends_[0]);
        close(ends_[1]);
    }
    std::string Drain() const {
        char buffer[256];
        const ssize_t n = read(ends_[0], buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }

  private:
    int saved_, ends_[2];
};

TEST(Log, StandardOutputUntilALogIsOpenedAndNothingOnceSilenced) {
    const int32_t saved = logDescriptor;
    StdinPipe stdinPipe;
    logDescriptor = 0;
    {
        LogCapture out(1);
        LogLine("first");
        EXPECT_EQ(out.text(), "first\n");
    }
    EXPECT_EQ(stdinPipe.Drain(), "");

    SilenceLog();  // keeps standard input open, since descriptor 0 is "no log"
    EXPECT_GT(logDescriptor, 2);
    EXPECT_NE(fcntl(0, F_GETFD), -1);
    {
        LogCapture out(1);
        LogLine("gone");
        EXPECT_EQ(out.text(), "");
    }
    // A log that cannot be written loses the line and returns.
    const int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC), silencedLog = logDescriptor;
    logDescriptor = readOnly;
    LogLine("lost");
    logDescriptor = silencedLog;
    close(readOnly);

    const int silenced = logDescriptor;
    SilenceLog();  // a second call replaces the descriptor rather than leaking it
    EXPECT_EQ(fcntl(silenced, F_GETFD), -1);
    close(logDescriptor);
    logDescriptor = saved;
}

}  // namespace
