#include "render/Screen.h"

#include <fcntl.h>

#include <cerrno>
#include <string>
#include <unistd.h>

// Filled before the program's first statement: constant initialisation only.
constinit ScreenState screen;

void LogLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text);
    line.push_back('\n');

    const int fd = screen.logFile > 0 ? screen.logFile : STDOUT_FILENO;
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a closed console loses the line, nothing more
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void SilenceLog() {
    const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    // Without /dev/null the lines go on to standard output as before.
    if (fd > 0) {
        if (screen.logFile > 0) close(screen.logFile);
        screen.logFile = fd;
    }
}
