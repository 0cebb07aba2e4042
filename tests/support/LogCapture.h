// Redirects the log channel, or a descriptor, into a temporary file for one
// scope and gives back what was written.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include "log/Log.h"

class LogCapture {
  public:
    // The log channel by default; else descriptor `fd` (1: standard output,
    // which InitGL's log channel copies; 2: standard error).
    explicit LogCapture(int fd = -1) : file_(std::tmpfile()), fd_(fd), saved_(fd < 0 ? logDescriptor : dup(fd)) {
        if (fd < 0)
            logDescriptor = fileno(file_);
        else
            dup2(fileno(file_), fd);
    }
    ~LogCapture() {
        if (fd_ < 0)
            logDescriptor = saved_;
        else {
            dup2(saved_, fd_);
            close(saved_);
        }
        std::fclose(file_);
    }

    // Everything written so far, exactly.
    std::string text() const {
        std::string all(size_t(lseek(fileno(file_), 0, SEEK_END)), '\0');
        all.resize(size_t(std::max<ssize_t>(pread(fileno(file_), all.data(), all.size(), 0), 0)));
        return all;
    }
    // The lines written so far, without their line ends.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(text());
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

  private:
    FILE* file_;
    int fd_, saved_;
};
