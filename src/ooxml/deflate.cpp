#include "ooxml/deflate.h"

#include <algorithm>
#include <stdexcept>

#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

constexpr size_t kOutputStep = 1 << 16;

}  // namespace

Deflater::Deflater() {
    if (deflateInit2(&stream_, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
}

Deflater::~Deflater() { deflateEnd(&stream_); }

void Deflater::run(int flush) {
    unsigned char output[kOutputStep];
    for (;;) {
        stream_.next_out = output;
        stream_.avail_out = static_cast<uInt>(sizeof output);
        const int status = deflate(&stream_, flush);
        part_.bytes.append(reinterpret_cast<const char*>(output), sizeof output - stream_.avail_out);
        if (status == Z_STREAM_END) return;
        if (status != Z_OK && status != Z_BUF_ERROR) raiseSpreadsheet("A part cannot be compressed.");
        if (stream_.avail_out != 0 && stream_.avail_in == 0 && flush == Z_NO_FLUSH) return;
    }
}

void Deflater::write(std::string_view text) {
    if (text.empty()) return;
    part_.size += text.size();
    part_.crc = static_cast<uint32_t>(crc32_z(part_.crc, reinterpret_cast<const Bytef*>(text.data()), text.size()));
    // zlib counts input in unsigned int: feed very long texts in parts.
    while (!text.empty()) {
        const size_t piece = std::min<size_t>(text.size(), 1u << 30);
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        stream_.avail_in = static_cast<uInt>(piece);
        run(Z_NO_FLUSH);
        text.remove_prefix(piece);
    }
}

DeflatedPart Deflater::finish() {
    if (!finished_) {
        stream_.avail_in = 0;
        run(Z_FINISH);
        finished_ = true;
    }
    part_.bytes.shrink_to_fit();
    return std::move(part_);
}

void inflatePart(const DeflatedPart& part, const std::function<void(std::string_view)>& sink) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    std::string buffer(kOutputStep, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.bytes.data()));
    stream.avail_in = static_cast<uInt>(part.bytes.size());
    uint64_t produced = 0;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        const size_t n = buffer.size() - stream.avail_out;
        produced += n;
        if (n > 0) sink(std::string_view(buffer.data(), n));
        if (status == Z_STREAM_END) break;
        if (status != Z_OK) {
            inflateEnd(&stream);
            raiseSpreadsheet("A part kept in memory is damaged.");
        }
    }
    inflateEnd(&stream);
    if (produced != part.size) raiseSpreadsheet("A part kept in memory is damaged.");
}

}  // namespace kbx::ooxml
