#include "app/export/Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Symlinks followed before giving up, as the kernel's own limit.
constexpr int kMaxLinks = 40;

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char* KindName(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

std::string Why(const std::string& given, int error) { return given + ": " + std::strerror(error); }

// The path a chain of symlinks ends at, whether or not that file exists.
bool FinalTarget(const std::string& given, std::string& target, std::string& error) {
    target = given;
    for (int links = 0;; ++links) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        if (links == kMaxLinks) {
            error = Why(given, ELOOP);
            return false;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = readlink(target.c_str(), link.data(), link.size());
        if (n < 0) {
            error = Why(given, errno);
            return false;
        }
        link.resize(static_cast<size_t>(n));
        target = link.front() == '/' ? link : Folder(target) + "/" + link;
    }
}

bool SameFile(const struct stat& a, const std::string& path) {
    struct stat b {};
    return stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

mode_t CurrentUmask() {
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

}  // namespace

std::string OutputFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string OutputStemOf(const std::string& path) {
    const std::string name = path.substr(OutputFolderOf(path).size());
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool PrepareOutput(const std::string& given, const std::vector<std::string>& inputs, OutputFile& output,
                   std::string& error) {
    output = OutputFile{given, given, given == "-"};
    if (output.toStandardOutput) return true;
    if (given.empty()) {
        error = "the output's name is empty";
        return false;
    }
    if (given.back() == '/') {
        error = given + ": names a folder; give a file name";
        return false;
    }
    if (!FinalTarget(given, output.target, error)) return false;
    struct stat target {};
    if (stat(output.target.c_str(), &target) == 0) {
        if (!S_ISREG(target.st_mode)) {
            error = given + ": is " + std::string(KindName(target.st_mode)) + ", not a file to replace";
            return false;
        }
        for (const std::string& input : inputs) {
            if (SameFile(target, input)) {
                error = given +
                        (input == given ? ": is a file being read" : ": is '" + input + "', which is being read") +
                        "; choose another output";
                return false;
            }
        }
    }
    const std::string folder = Folder(output.target);
    struct stat place {};
    int why = 0;
    if (stat(folder.c_str(), &place) != 0) {
        why = errno;
    } else if (!S_ISDIR(place.st_mode)) {
        why = ENOTDIR;
    } else if (access(folder.c_str(), W_OK) != 0) {
        why = errno;
    }
    if (why != 0) {
        error = given + ": cannot write in '" + folder + "': " + std::strerror(why);
        return false;
    }
    return true;
}

std::FILE* OutputSet::Open(const std::string& given, std::string& error) {
    Pending p;
    if (!PrepareOutput(given, inputs_, p.output, error)) return nullptr;
    if (p.output.toStandardOutput) {
        p.stream = stdout;
    } else {
        // Short, so any name the file system takes for the output works.
        p.temporary = Folder(p.output.target) + "/.vw-XXXXXX";
        const int fd = mkstemp(p.temporary.data());
        if (fd < 0) {
            error = Why(given, errno);
            return nullptr;
        }
        struct stat existing {};
        fchmod(fd, stat(p.output.target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~CurrentUmask());
        p.stream = fdopen(fd, "wb");
        if (p.stream == nullptr) {
            error = Why(given, errno);
            close(fd);
            unlink(p.temporary.c_str());
            return nullptr;
        }
    }
    files_.push_back(p);
    return p.stream;
}

bool OutputSet::Write(std::FILE* stream, const void* bytes, size_t size, std::string& error) {
    if (size == 0 || std::fwrite(bytes, 1, size, stream) == size) return true;
    const int why = errno;
    for (const Pending& p : files_) {
        if (p.stream == stream) error = Why(p.output.given, why != 0 ? why : EIO);
    }
    return false;
}

bool OutputSet::Commit(std::string& error) {
    for (Pending& p : files_) {
        errno = 0;
        const bool failed = std::ferror(p.stream) != 0;
        const bool closed = p.output.toStandardOutput ? std::fflush(p.stream) == 0 : std::fclose(p.stream) == 0;
        if (!p.output.toStandardOutput) p.stream = nullptr;
        if (failed || !closed) {
            error = Why(p.output.given, errno != 0 ? errno : EIO);
            Abandon();
            return false;
        }
    }
    // Files already at the final names keep a second name until every rename
    // has worked, so a failure can put them back.
    std::vector<std::string> backups(files_.size());
    const auto undo = [&](size_t renamed) {
        for (size_t k = 0; k < files_.size(); ++k) {
            if (k < renamed && !files_[k].output.toStandardOutput) {
                if (!backups[k].empty()) {
                    std::rename(backups[k].c_str(), files_[k].output.target.c_str());
                } else {
                    unlink(files_[k].output.target.c_str());
                }
                files_[k].temporary.clear();
            } else if (!backups[k].empty()) {
                unlink(backups[k].c_str());
            }
        }
        Abandon();
    };
    for (size_t i = 0; i < files_.size(); ++i) {
        const Pending& p = files_[i];
        struct stat info {};
        if (p.output.toStandardOutput || lstat(p.output.target.c_str(), &info) != 0) continue;
        backups[i] = p.temporary + ".old";
        if (link(p.output.target.c_str(), backups[i].c_str()) != 0) {
            error = Why(p.output.given, errno);
            backups[i].clear();
            undo(0);
            return false;
        }
    }
    for (size_t i = 0; i < files_.size(); ++i) {
        const Pending& p = files_[i];
        if (p.output.toStandardOutput) continue;
        if (std::rename(p.temporary.c_str(), p.output.target.c_str()) != 0) {
            error = Why(p.output.given, errno);
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

void OutputSet::Abandon() {
    for (Pending& p : files_) {
        if (p.stream != nullptr && !p.output.toStandardOutput) std::fclose(p.stream);
        if (!p.temporary.empty()) unlink(p.temporary.c_str());
    }
    files_.clear();
}

bool WriteWholeOutput(const OutputFile& output, const std::vector<uint8_t>& bytes, std::string& error) {
    OutputSet set;
    std::FILE* stream = set.Open(output.given, error);
    return stream != nullptr && set.Write(stream, bytes.data(), bytes.size(), error) && set.Commit(error);
}
