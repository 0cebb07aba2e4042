// Redirects the log channel into a temporary file for one test and gives
// back what was written.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "render/Screen.h"

class LogCapture {
  public:
    LogCapture() : file_(std::tmpfile()), saved_(screen.logFile) { screen.logFile = fileno(file_); }
    ~LogCapture() {
        screen.logFile = saved_;
        std::fclose(file_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything written so far, exactly.
    std::string text() const {
        std::string all(size_t(lseek(fileno(file_), 0, SEEK_END)), '\0');
        const ssize_t n = pread(fileno(file_), all.data(), all.size(), 0);
        all.resize(n > 0 ? size_t(n) : 0);
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
    int saved_;
};
