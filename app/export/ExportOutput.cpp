#include "app/export/ExportOutput.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Problem(const std::string& path, const char* what) {
    return path + ": " + what + (errno ? std::string(": ") + std::strerror(errno) : std::string());
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

std::string ExportFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExportStemOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

ExportOutputs::~ExportOutputs() { Abandon(); }

std::FILE* ExportOutputs::Open(const std::string& path, std::string& error) {
    for (const std::string& input : protect_) {
        if (SameFile(path, input)) {
            errno = 0;
            error = Problem(path, "is an input of this export");
            return nullptr;
        }
    }
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        errno = 0;
        error = Problem(path, "names no file");
        return nullptr;
    }
    std::string temp = ExportFolderOf(path) + "." + name + ".XXXXXX";
    errno = 0;
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = Problem(path, "cannot create a file in its folder");
        return nullptr;
    }
    // mkstemp gives 0600; output files are ordinary ones.
    fchmod(fd, 0644);
    std::FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        error = Problem(path, "cannot write");
        close(fd);
        unlink(temp.c_str());
        return nullptr;
    }
    files_.push_back({path, temp, stream});
    return stream;
}

bool ExportOutputs::Write(std::FILE* file, const void* data, size_t size, std::string& error) {
    if (size == 0 || std::fwrite(data, 1, size, file) == size) return true;
    for (const File& f : files_) {
        if (f.stream == file) error = Problem(f.path, "write failed");
    }
    return false;
}

bool ExportOutputs::Commit(std::string& error) {
    for (File& f : files_) {
        errno = 0;
        const bool failed = std::ferror(f.stream) != 0;
        const bool closed = std::fclose(f.stream) == 0;
        f.stream = nullptr;
        if (failed || !closed) {
            error = Problem(f.path, "write failed");
            Abandon();
            return false;
        }
    }
    for (size_t i = 0; i < files_.size(); ++i) {
        for (const std::string& input : protect_) {
            if (SameFile(files_[i].path, input)) {
                errno = 0;
                error = Problem(files_[i].path, "is an input of this export");
                Abandon();
                return false;
            }
        }
    }
    // Files already at the final names are kept under a second name until
    // every rename has worked, so a failure can put them back.
    std::vector<std::string> backups(files_.size());
    auto undo = [&](size_t renamed) {
        for (size_t k = 0; k < renamed; ++k) {
            if (!backups[k].empty()) {
                std::rename(backups[k].c_str(), files_[k].path.c_str());
            } else {
                unlink(files_[k].path.c_str());
            }
        }
        for (size_t k = renamed; k < files_.size(); ++k) {
            if (!backups[k].empty()) unlink(backups[k].c_str());
        }
        files_.erase(files_.begin(), files_.begin() + static_cast<ptrdiff_t>(renamed));
        Abandon();
    };
    for (size_t i = 0; i < files_.size(); ++i) {
        struct stat info;
        if (lstat(files_[i].path.c_str(), &info) != 0) continue;
        errno = 0;
        std::string backup = files_[i].temp + ".old";
        if (S_ISDIR(info.st_mode) || link(files_[i].path.c_str(), backup.c_str()) != 0) {
            error = Problem(files_[i].path, S_ISDIR(info.st_mode) ? "is a folder" : "cannot be replaced");
            undo(0);
            return false;
        }
        backups[i] = backup;
    }
    for (size_t i = 0; i < files_.size(); ++i) {
        errno = 0;
        if (std::rename(files_[i].temp.c_str(), files_[i].path.c_str()) != 0) {
            error = Problem(files_[i].path, "cannot be replaced");
            undo(i);
            return false;
        }
    }
    for (const std::string& backup : backups) {
        if (!backup.empty()) unlink(backup.c_str());
    }
    files_.clear();
    return true;
}

void ExportOutputs::Abandon() {
    for (File& f : files_) {
        if (f.stream) std::fclose(f.stream);
        unlink(f.temp.c_str());
    }
    files_.clear();
}
