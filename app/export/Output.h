// Where the view program's files go (pictures, screenshots, exports,
// animations), written so that nothing is ever destroyed:
// - every file is written to a short temporary name in its own folder and
//   renamed into place when whole, so no half-written file is ever seen;
//   the files of one output (a .gltf with its .bin and palette) appear
//   together or not at all;
// - an output that is one of the files read, or that exists as anything but a
//   regular file (a folder, a device, a FIFO, a socket), is refused;
// - a symlink is written through: its final target is replaced, atomically,
//   beside the target;
// - "-" is standard output.
//
// Use: an OutputSet for the files of one output (Open each, Write, Commit),
// or WriteWholeOutput for one file in one piece. PrepareOutput checks a name
// before any work. Errors are one line "NAME: why". No GL, no logging.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct OutputFile {
    std::string given;              // as the user wrote it, for messages
    std::string target;             // the file replaced: `given`, or its symlink's final target
    bool toStandardOutput = false;  // "-"
};

// Checks `given` and resolves it. `inputs` are the files read (a model, or
// every frame of a folder): none of them may be the output. False + one line
// when the output may not or cannot be written.
bool PrepareOutput(const std::string& given, const std::vector<std::string>& inputs, OutputFile& output,
                   std::string& error);

// The files of one output, written together. Destroying the set without a
// successful Commit removes every temporary file.
class OutputSet {
  public:
    // `inputs`: the files read, which no output may replace.
    explicit OutputSet(std::vector<std::string> inputs = {}) : inputs_(std::move(inputs)) {}
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;
    ~OutputSet() { Abandon(); }

    // Checks `given` (PrepareOutput) and opens its temporary file, with the
    // mode of the file it replaces (0666 less the umask for a new one).
    // Returns the stream to write, or nullptr with one line of error.
    std::FILE* Open(const std::string& given, std::string& error);

    // Writes to a stream from Open. False + one line on a write error (a
    // full disk, a closed pipe).
    bool Write(std::FILE* stream, const void* bytes, size_t size, std::string& error);

    // Closes every file and renames each into place. On any failure the
    // files that were at those names are put back, the new ones removed, and
    // false comes back with one line.
    bool Commit(std::string& error);

    // Removes every temporary file; the targets are left as they were.
    void Abandon();

  private:
    struct Pending {
        OutputFile output;
        std::FILE* stream = nullptr;
        std::string temporary;  // "" for standard output
    };
    std::vector<Pending> files_;
    std::vector<std::string> inputs_;
};

// One file in one piece: Open, Write, Commit.
bool WriteWholeOutput(const OutputFile& output, const std::vector<uint8_t>& bytes, std::string& error);

// The folder part of a path, with its slash ("" for a bare name), and the
// name without its extension ("out" for "a/b/out.gltf").
std::string OutputFolderOf(const std::string& path);
std::string OutputStemOf(const std::string& path);
