// A set of output files that appear together or not at all: each is written
// under a temporary name made with mkstemp in its own folder (never through
// a name that exists already, so never through a link), and all are renamed
// into place by Commit. Destroying the set without Commit removes the
// temporary files. Used by the writers; no GL, no logging.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ExportOutputs {
  public:
    ExportOutputs() = default;
    ExportOutputs(const ExportOutputs&) = delete;
    ExportOutputs& operator=(const ExportOutputs&) = delete;
    ~ExportOutputs();

    // Paths of existing files that must not be replaced (the inputs).
    void Protect(const std::vector<std::string>& paths) { protect_ = paths; }

    // Opens a temporary file for `path`; returns its stream or nullptr with
    // error "PATH: problem".
    std::FILE* Open(const std::string& path, std::string& error);

    // Writes bytes to a stream from Open; false (with the error) on failure.
    bool Write(std::FILE* file, const void* data, size_t size, std::string& error);

    // Closes every file and renames each into place. On failure puts back
    // the files that were at those names, removes the new ones and returns
    // false with the error.
    bool Commit(std::string& error);

  private:
    struct File {
        std::string path, temp;
        std::FILE* stream = nullptr;
    };
    void Abandon();
    std::vector<File> files_;
    std::vector<std::string> protect_;
};

// The folder part of a path ("" for a bare name) and the name without its
// extension ("out" for "a/b/out.gltf").
std::string ExportFolderOf(const std::string& path);
std::string ExportStemOf(const std::string& path);
