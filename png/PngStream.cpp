#include "png/PngStream.h"

#include <cerrno>
#include <cstring>

namespace {

// Compressed bytes held before they go out as an IDAT chunk.
constexpr size_t kChunkBytes = size_t{1} << 20;

// Hands `bytes` to the sink and empties it; on refusal the error names
// `what` and, when the sink left one, the system's reason.
bool Emit(PngStreamWriter& w, std::vector<uint8_t>& bytes, const char* what, std::string& error) {
    errno = 0;
    if (w.sink(bytes.data(), bytes.size())) {
        bytes.clear();
        return true;
    }
    const int reason = errno;
    error = std::string("PNG writer: cannot write ") + what + (reason ? std::string(": ") + std::strerror(reason) : "");
    w.failed = true;
    PngDeflateRelease(w.deflater);
    return false;
}

// Sends the compressed bytes gathered so far as one IDAT chunk.
bool EmitImageData(PngStreamWriter& w, std::string& error) {
    if (w.chunk.empty()) return true;
    std::vector<uint8_t> out;
    out.reserve(w.chunk.size() + 12);
    const size_t at = PngBeginChunk(out, "IDAT");
    out.insert(out.end(), w.chunk.begin(), w.chunk.end());
    PngEndChunk(out, at);  // at most kChunkBytes plus one row's output: far below a chunk's limit
    w.chunk.clear();
    return Emit(w, out, "the image data", error);
}

bool Fail(PngStreamWriter& w, std::string& error, const std::string& why) {
    error = "PNG writer: " + why;
    w.failed = true;
    PngDeflateRelease(w.deflater);
    return false;
}

}  // namespace

PngStreamWriter::~PngStreamWriter() { PngDeflateRelease(deflater); }

bool PngStreamBegin(PngStreamWriter& w, int width, int height, int channels, PngCompression compression, PngSink sink,
                    std::string& error) {
    PngDeflateRelease(w.deflater);
    w.width = width, w.height = height, w.channels = channels;
    w.rowsAdded = 0;
    w.chunk.clear();
    w.failed = true;
    error.clear();
    if (width <= 0 || height <= 0 || (channels != 3 && channels != 4) || !sink ||
        !PngDeflateBegin(w.deflater, width, channels, compression)) {
        error = "PNG writer: cannot encode a " + std::to_string(width) + "x" + std::to_string(height) + " image of " +
                std::to_string(channels) + " channels";
        return false;
    }
    w.sink = std::move(sink);
    w.failed = false;
    std::vector<uint8_t> head;
    PngPutHeader(head, width, height, channels);
    return Emit(w, head, "the header", error);
}

bool PngStreamAddRows(PngStreamWriter& w, const uint8_t* rows, int count, size_t stride, std::string& error) {
    error.clear();
    if (w.failed) return Fail(w, error, "rows added after a failure");
    if (!rows || count < 0 || count > w.height - w.rowsAdded) {
        return Fail(w, error,
                    std::to_string(count) + " rows added to " + std::to_string(w.rowsAdded) + " of " +
                        std::to_string(w.height));
    }
    // A row at a time, so the held output stays near kChunkBytes.
    for (int y = 0; y < count; ++y) {
        if (!PngDeflateRows(w.deflater, rows + stride * static_cast<size_t>(y), 1, stride, w.chunk)) {
            return Fail(w, error, "cannot compress row " + std::to_string(w.rowsAdded + 1));
        }
        ++w.rowsAdded;
        if (w.chunk.size() >= kChunkBytes && !EmitImageData(w, error)) return false;
    }
    return true;
}

bool PngStreamFinish(PngStreamWriter& w, std::string& error) {
    error.clear();
    if (w.failed) return Fail(w, error, "finished after a failure");
    if (w.rowsAdded != w.height) {
        return Fail(w, error, std::to_string(w.rowsAdded) + " rows came of " + std::to_string(w.height));
    }
    if (!PngDeflateFinish(w.deflater, w.chunk)) return Fail(w, error, "cannot compress the end");
    if (!EmitImageData(w, error)) return false;
    std::vector<uint8_t> end;
    PngEndChunk(end, PngBeginChunk(end, "IEND"));
    w.failed = true;  // nothing may follow IEND
    return Emit(w, end, "the end", error);
}
