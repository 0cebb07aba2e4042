#include "log/Log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

constinit int32_t logDescriptor = 0;

void LogLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text);
    line.push_back('\n');

    const int fd = logDescriptor > 0 ? logDescriptor : STDOUT_FILENO;
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
        if (logDescriptor > 0) close(logDescriptor);
        logDescriptor = fd;
    }
}
