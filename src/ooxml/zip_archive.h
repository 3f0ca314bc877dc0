#pragma once
// The zip archive under a package: entries read from a file's bytes held in
// memory, and a new archive written entry by entry. The zip library stays
// behind these two classes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ooxml/deflate.h"

namespace kbx::ooxml {

class ZipReader {
public:
    // Opens the archive held in `bytes`; raises a run-time error naming
    // `file` when it is no valid zip archive.
    ZipReader(std::string bytes, const std::string& file);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    size_t entryCount() const;
    // The entry's name as stored (UTF-8 or guessed from CP437).
    std::string entryName(size_t index) const;
    struct EntrySize {
        uint64_t size = 0;
        uint64_t compressedSize = 0;
    };
    EntrySize entrySize(size_t index) const;
    // Inflates an entry, handing its bytes to `sink` piece by piece; raises
    // when it is damaged or inflates to more than its declared size.
    // Returns the number of bytes.
    uint64_t inflate(size_t index, const std::function<void(std::string_view)>& sink) const;

private:
    friend class ZipWriter;
    struct Archive;
    std::string bytes_;
    std::string file_;
    std::unique_ptr<Archive> archive_;
};

class ZipWriter {
public:
    // Creates the archive `path`; errors name `shownName`, the file being saved.
    ZipWriter(const std::string& path, const std::string& shownName);
    // Discards an archive that was not closed.
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // The entries refer to their bytes until close(): keep them alive till then.
    // Bytes deflated at the fastest level.
    void addBytes(const std::string& name, const std::string& bytes);
    // Bytes deflated already, stored as they are.
    void addDeflated(const std::string& name, const DeflatedPart& part);
    // An entry of `source`, its compressed bytes and time stamp as they are.
    void addCopy(const std::string& name, const ZipReader& source, size_t index);
    void close();

private:
    [[noreturn]] void fail(const std::string& what);
    struct Archive;
    std::string shownName_;
    std::unique_ptr<Archive> archive_;
};

}  // namespace kbx::ooxml
