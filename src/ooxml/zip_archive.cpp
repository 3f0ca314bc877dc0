#include "ooxml/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <cstring>

#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

struct ZipReader::Archive {
    zip_t* zip = nullptr;
    ~Archive() {
        if (zip != nullptr) zip_discard(zip);
    }
};

struct ZipWriter::Archive {
    zip_t* zip = nullptr;
    ~Archive() {
        if (zip != nullptr) zip_discard(zip);
    }
};

namespace {

std::string zipErrorText(zip_error_t* error) { return zip_error_strerror(error); }

zip_t* openArchive(zip_source_t* source, const std::string& file) {
    zip_error_t error;
    zip_error_init(&error);
    zip_t* zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (zip == nullptr && zip_error_code_zip(&error) == ZIP_ER_INCONS) {
        // Some writers leave local headers that differ from the central
        // directory in harmless ways (time stamps); the central directory is
        // what is read, and every entry is still checked while it is inflated.
        zip_error_fini(&error);
        zip_error_init(&error);
        zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    }
    if (zip == nullptr) {
        zip_source_free(source);
        const bool duplicate = zip_error_code_zip(&error) == ZIP_ER_EXISTS;
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        if (duplicate) raiseBadFile(file, "an entry name appears more than once");
        raiseBadFile(file, "it is not a valid zip package (" + text + ")");
    }
    zip_error_fini(&error);
    return zip;
}

struct DeflatedSourceState {
    const DeflatedPart* part;
    size_t position;
};

// A zip source that hands libzip a part deflated already, with its size and
// CRC, so that the bytes are stored as they are.
zip_int64_t deflatedSource(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* state = static_cast<DeflatedSourceState*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN: state->position = 0; return 0;
        case ZIP_SOURCE_READ: {
            const size_t n = std::min<size_t>(length, state->part->bytes.size() - state->position);
            std::memcpy(data, state->part->bytes.data() + state->position, n);
            state->position += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = state->part->size;
            st->comp_size = state->part->bytes.size();
            st->crc = state->part->crc;
            st->comp_method = ZIP_CM_DEFLATE;
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR: std::memset(data, 0, 2 * sizeof(int)); return 2 * sizeof(int);
        case ZIP_SOURCE_FREE: delete state; return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default: return -1;
    }
}

}  // namespace

ZipReader::ZipReader(std::string bytes, const std::string& file)
    : bytes_(std::move(bytes)), file_(file), archive_(std::make_unique<Archive>()) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
    if (source == nullptr) raiseBadFile(file, zipErrorText(&error));
    archive_->zip = openArchive(source, file);
}

ZipReader::~ZipReader() = default;

size_t ZipReader::entryCount() const {
    const zip_int64_t count = zip_get_num_entries(archive_->zip, 0);
    return count < 0 ? 0 : static_cast<size_t>(count);
}

std::string ZipReader::entryName(size_t index) const {
    const char* name = zip_get_name(archive_->zip, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_GUESS);
    if (name == nullptr) raiseBadFile(file_, "an entry has no name");
    return name;
}

ZipReader::EntrySize ZipReader::entrySize(size_t index) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_->zip, static_cast<zip_uint64_t>(index), 0, &st) != 0)
        raiseBadFile(file_, "the entry '" + entryName(index) + "' cannot be read");
    return {st.size, st.comp_size};
}

uint64_t ZipReader::inflate(size_t index, const std::function<void(std::string_view)>& sink) const {
    const uint64_t declared = entrySize(index).size;
    zip_file_t* file = zip_fopen_index(archive_->zip, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) {
        raiseBadFile(file_,
                     "the entry '" + entryName(index) + "' cannot be opened (" + zip_strerror(archive_->zip) + ")");
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
    std::string buffer(65536, '\0');
    uint64_t total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0)
            raiseBadFile(file_, "the entry '" + entryName(index) + "' is damaged (" + zip_file_strerror(file) + ")");
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (total > declared)
            raiseBadFile(file_, "the entry '" + entryName(index) + "' inflates to more than its declared size");
        sink(std::string_view(buffer.data(), static_cast<size_t>(n)));
    }
    return total;
}

ZipWriter::ZipWriter(const std::string& path, const std::string& shownName)
    : shownName_(shownName), archive_(std::make_unique<Archive>()) {
    int errorCode = 0;
    archive_->zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &errorCode);
    if (archive_->zip == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, errorCode);
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        raise(err::PathFileAccessError, "Cannot write '" + shownName + "': " + text);
    }
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::fail(const std::string& what) {
    const std::string text = zip_strerror(archive_->zip);
    raise(err::PathFileAccessError, "Cannot write '" + shownName_ + "': " + what + " (" + text + ")");
}

namespace {

zip_int64_t addSource(zip_t* zip, const std::string& name, zip_source_t* source) {
    if (source == nullptr) return -1;
    const zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) zip_source_free(source);
    return index;
}

}  // namespace

void ZipWriter::addBytes(const std::string& name, const std::string& bytes) {
    const zip_int64_t index = addSource(archive_->zip, name, zip_source_buffer(archive_->zip, bytes.data(), bytes.size(), 0));
    if (index < 0) fail("entry '" + name + "'");
    // The fastest deflate level: a written sheet is about a quarter larger
    // than at the default level, and saved in about half the time.
    zip_set_file_compression(archive_->zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
}

void ZipWriter::addDeflated(const std::string& name, const DeflatedPart& part) {
    auto* state = new DeflatedSourceState{&part, 0};
    zip_source_t* source = zip_source_function(archive_->zip, deflatedSource, state);
    if (source == nullptr) delete state;
    if (addSource(archive_->zip, name, source) < 0) fail("entry '" + name + "'");
}

void ZipWriter::addCopy(const std::string& name, const ZipReader& source, size_t index) {
    zip_t* from = source.archive_->zip;
    const auto entry = static_cast<zip_uint64_t>(index);
    const zip_int64_t added =
        addSource(archive_->zip, name, zip_source_zip(archive_->zip, from, entry, ZIP_FL_COMPRESSED, 0, -1));
    if (added < 0) fail("entry '" + name + "'");
    zip_stat_t st;
    if (zip_stat_index(from, entry, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME) && st.mtime != 0)
        zip_file_set_mtime(archive_->zip, static_cast<zip_uint64_t>(added), st.mtime, 0);
}

void ZipWriter::close() {
    if (zip_close(archive_->zip) != 0) fail("closing the archive");
    archive_->zip = nullptr;
}

}  // namespace kbx::ooxml
