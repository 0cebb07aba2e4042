// Where the view program's files go (pictures, screenshots, exports,
// animations), written so that nothing is ever destroyed:
// - every file is written to a short temporary name in its own folder and
//   renamed into place when whole, so no half-written file is ever seen;
// - an output that is one of the files read, or that exists as anything but a
//   regular file (a folder, a device, a FIFO, a socket), is refused;
// - a symlink is written through: its final target is replaced, atomically,
//   beside the target;
// - "-" is standard output.
//
// Use: PrepareOutput for each output before any work, then either
// WriteWholeOutput, or BeginOutput / WriteOutput for each file and
// CommitOutputs once all are written (AbandonOutput on the way out of a
// failure). Errors are one line "NAME: why". No GL, no logging.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct OutputFile {
    std::string given;              // as the user wrote it, for messages
    std::string target;             // the file replaced: `given`, or its symlink's final target
    bool toStandardOutput = false;  // "-"
};

// One output being written.
struct PendingOutput {
    OutputFile output;
    int fd = -1;            // the temporary file, or standard output; -1 when closed
    std::string temporary;  // its name beside the target; "" for standard output
};

// Checks `given` and resolves it. `inputs` are the files read (a model, or
// every frame of a folder): none of them may be the output. False + one line
// when the output may not or cannot be written.
bool PrepareOutput(const std::string& given, const std::vector<std::string>& inputs, OutputFile& output,
                   std::string& error);

// Opens the temporary file (mode as the replaced file's, or 0666 less the
// umask for a new one). False + one line when it cannot be made.
bool BeginOutput(const OutputFile& output, PendingOutput& pending, std::string& error);

// Appends bytes. False + one line on a write error (a full disk, a closed pipe).
bool WriteOutput(PendingOutput& pending, const void* bytes, size_t size, std::string& error);

// Closes every temporary file and renames each into place, in order. On any
// failure every temporary still unrenamed is removed and false comes back
// with one line.
bool CommitOutputs(std::span<PendingOutput> pending, std::string& error);

// Closes and removes the temporary file; safe on a pending output already
// committed or abandoned.
void AbandonOutput(PendingOutput& pending);

// The whole file at once: Begin, Write, Commit.
bool WriteWholeOutput(const OutputFile& output, const std::vector<uint8_t>& bytes, std::string& error);
