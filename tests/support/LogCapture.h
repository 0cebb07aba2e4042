// Redirects the log channel into a temporary file for one test and gives
// back the lines written.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "render/Screen.h"

class LogCapture {
  public:
    LogCapture() : file_(std::tmpfile()), saved_(screen.logFile) {
        screen.logFile = fileno(file_);
    }
    ~LogCapture() {
        screen.logFile = saved_;
        std::fclose(file_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything written so far, exactly.
    std::string text() const {
        std::string all;
        std::rewind(file_);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) all.append(buf, n);
        std::fseek(file_, 0, SEEK_END);
        return all;
    }
    // The lines written so far, without their line ends.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        const std::string all = text();
        size_t start = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i] == '\n') {
                out.push_back(all.substr(start, i - start));
                start = i + 1;
            }
        }
        if (start < all.size()) out.push_back(all.substr(start));
        return out;
    }

  private:
    FILE* file_;
    int saved_;
};
