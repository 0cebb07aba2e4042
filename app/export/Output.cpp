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

// The path a chain of symlinks ends at, whether or not that file exists.
bool FinalTarget(const std::string& given, std::string& target, std::string& error) {
    target = given;
    for (int links = 0;; ++links) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        if (links == kMaxLinks) {
            error = given + ": " + std::strerror(ELOOP);
            return false;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = readlink(target.c_str(), link.data(), link.size());
        if (n < 0) {
            error = given + ": " + std::strerror(errno);
            return false;
        }
        link.resize(static_cast<size_t>(n));
        target = link.front() == '/' ? link : Folder(target) + "/" + link;
    }
}

mode_t CurrentUmask() {
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

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
            struct stat read {};
            if (stat(input.c_str(), &read) == 0 && read.st_dev == target.st_dev && read.st_ino == target.st_ino) {
                error = given + (input == given ? ": is a file being read" : ": is '" + input + "', which is being read") +
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

bool BeginOutput(const OutputFile& output, PendingOutput& pending, std::string& error) {
    pending = PendingOutput{output, -1, ""};
    if (output.toStandardOutput) {
        pending.fd = STDOUT_FILENO;
        return true;
    }
    // Short, so any name the file system takes for the output works.
    std::string name = Folder(output.target) + "/.vw-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = output.given + ": " + std::strerror(errno);
        return false;
    }
    struct stat existing {};
    const mode_t mode =
        stat(output.target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~CurrentUmask();
    fchmod(fd, mode);
    pending.fd = fd;
    pending.temporary = name;
    return true;
}

bool WriteOutput(PendingOutput& pending, const void* bytes, size_t size, std::string& error) {
    if (pending.fd >= 0 && WriteAll(pending.fd, static_cast<const uint8_t*>(bytes), size)) return true;
    error = pending.output.given + ": " + std::strerror(pending.fd >= 0 ? errno : EBADF);
    return false;
}

bool CommitOutputs(std::span<PendingOutput> pending, std::string& error) {
    bool ok = true;
    for (PendingOutput& p : pending) {
        if (p.output.toStandardOutput || p.fd < 0) continue;
        if (close(p.fd) != 0 && ok) {
            error = p.output.given + ": " + std::strerror(errno);
            ok = false;
        }
        p.fd = -1;
    }
    for (PendingOutput& p : pending) {
        if (!ok) break;
        if (p.output.toStandardOutput) continue;
        if (rename(p.temporary.c_str(), p.output.target.c_str()) != 0) {
            error = p.output.given + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        p.temporary.clear();
    }
    for (PendingOutput& p : pending) {
        if (!ok) AbandonOutput(p);
    }
    return ok;
}

void AbandonOutput(PendingOutput& pending) {
    if (pending.fd >= 0 && !pending.output.toStandardOutput) close(pending.fd);
    pending.fd = -1;
    if (!pending.temporary.empty()) unlink(pending.temporary.c_str());
    pending.temporary.clear();
}

bool WriteWholeOutput(const OutputFile& output, const std::vector<uint8_t>& bytes, std::string& error) {
    PendingOutput pending;
    if (!BeginOutput(output, pending, error)) return false;
    if (!WriteOutput(pending, bytes.data(), bytes.size(), error)) {
        AbandonOutput(pending);
        return false;
    }
    return CommitOutputs(std::span(&pending, 1), error);
}
