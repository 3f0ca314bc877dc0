#pragma once
// Raw deflate streams (the compression of zip entries): parts compressed in
// memory as they are produced, and read back.

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kbx::ooxml {

// Text handed over in pieces, and something that hands a text's pieces to one.
using PieceSink = std::function<void(std::string_view)>;
using PieceReader = std::function<void(const PieceSink&)>;

// A part's bytes as a zip entry stores them: deflated, with the size and
// CRC-32 of the uncompressed bytes.
struct DeflatedPart {
    std::string bytes;
    uint64_t size = 0;
    uint32_t crc = 0;
};

// Deflates text handed to it piece by piece (fastest level: a written sheet
// is about a quarter larger than at the default level, and saved in about
// half the time).
class Deflater {
public:
    Deflater();
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void write(std::string_view text);
    DeflatedPart finish();

private:
    void run(int flush);

    z_stream stream_{};
    DeflatedPart part_;
    bool finished_ = false;
};

// Inflates a deflated part, handing the bytes to `sink` piece by piece.
void inflatePart(const DeflatedPart& part, const std::function<void(std::string_view)>& sink);

// Collects text and hands it on in pieces of about `size` bytes, so that a
// writer can append small strings without a call per string.
class PieceBuffer {
public:
    PieceBuffer(std::function<void(std::string_view)> sink, size_t size = 1 << 16) : sink_(std::move(sink)), size_(size) {
        text_.reserve(size + 4096);
    }
    std::string& text() { return text_; }
    // Hands the text on when it has reached the piece size.
    void maybeFlush() {
        if (text_.size() >= size_) flush();
    }
    void flush() {
        if (!text_.empty()) sink_(text_);
        text_.clear();
    }

private:
    std::function<void(std::string_view)> sink_;
    size_t size_;
    std::string text_;
};

}  // namespace kbx::ooxml
