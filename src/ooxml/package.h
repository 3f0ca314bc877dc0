#pragma once
// An Open Packaging Conventions package (the zip container of an .xlsx):
// its parts, content types and relationships. Parts that nobody writes are
// copied into a saved package with their original compressed bytes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ooxml/content_types.h"
#include "ooxml/deflate.h"
#include "ooxml/relationships.h"

namespace kbx::ooxml {

class ZipReader;

// Limits that keep hostile packages from exhausting memory or time.
struct PackageLimits {
    size_t maxEntries = 20000;
    uint64_t maxPartBytes = 256ull << 20;
    uint64_t maxTotalBytes = 1024ull << 20;
    uint64_t maxRatio = 500;
    uint64_t ratioFloorBytes = 1ull << 20;
};

class Package {
public:
    // Reads the package file into memory; raises a run-time error naming the
    // file when it is missing or not a valid package.
    static std::unique_ptr<Package> open(const std::string& path, const PackageLimits& limits = {});
    // An empty package with a content types part.
    static std::unique_ptr<Package> create();
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    // The file the package was read from, for messages.
    const std::string& fileName() const { return fileName_; }

    bool hasPart(const std::string& name) const;
    std::string readPart(const std::string& name) const;
    // Hands the part's bytes to `sink` piece by piece, so that a large part
    // is never held whole (the size-per-part limit does not apply; the total
    // and the compression-ratio limits do).
    void readPartInPieces(const std::string& name, const std::function<void(std::string_view)>& sink) const;
    PieceReader pieceReader(const std::string& name) const {
        return [this, name](const PieceSink& sink) { readPartInPieces(name, sink); };
    }
    // Adds or replaces a part; only such parts are compressed anew on save.
    void writePart(const std::string& name, std::string data);
    // Adds or replaces a part with bytes deflated already; they are written
    // into the saved package as they are.
    void writeDeflatedPart(const std::string& name, DeflatedPart part);
    void removePart(const std::string& name);
    std::vector<std::string> partNames() const;
    // A part name "<prefix><n><suffix>" not used yet (n from 1).
    std::string uniquePartName(const std::string& prefix, const std::string& suffix) const;

    std::string contentType(const std::string& part) const { return contentTypes_.typeOf(part); }
    void setOverride(const std::string& part, const std::string& type) { contentTypes_.setOverride(part, type); }
    void ensureDefault(const std::string& extension, const std::string& type) {
        contentTypes_.ensureDefault(extension, type);
    }

    // Relationships of a part ("" for the package itself).
    Relationships relationships(const std::string& sourcePart) const;
    void setRelationships(const std::string& sourcePart, const Relationships& rels);
    // The part's relationships to change in place; they reach the package
    // (serialised once) when it is saved or their part is read.
    Relationships& editRelationships(const std::string& sourcePart);
    // The part a relative target of `sourcePart` names; raises when it
    // leaves the package.
    std::string resolveTarget(const std::string& sourcePart, const std::string& target) const;
    // The part a relationship of `sourcePart` points at: "" for an external
    // one and for one whose target is not in the package.
    std::string existingTarget(const std::string& sourcePart, const Relationship& relationship) const;

    // Writes the package to `path` through a temporary file in the same
    // directory, synced and renamed over the target. Errors name
    // `nameInErrors` when given (the file `path` is made for).
    void save(const std::string& path, const std::string& nameInErrors = {});

private:
    Package();
    struct Entry {
        std::string name;
        int64_t sourceIndex = -1;
        std::optional<std::string> data;
        std::optional<DeflatedPart> deflated;
        bool removed = false;
    };
    void loadEntries();
    void readSourceEntry(const Entry& entry, bool wholePart, const std::function<void(std::string_view)>& sink) const;
    Entry* findEntry(const std::string& name);
    const Entry* findEntry(const std::string& name) const;
    Entry& entryForWrite(const std::string& name);
    const Relationships& cachedRelationships(const std::string& sourcePart) const;
    void flushRelationships();
    // Writes the archive to `path`; errors name `target`, the file being saved.
    void writeArchive(const std::string& path, const std::string& target) const;

    std::string fileName_;
    PackageLimits limits_;
    std::unique_ptr<ZipReader> source_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;
    mutable uint64_t bytesRead_ = 0;
    ContentTypes contentTypes_;
    // Parsed relationship parts, by relationship part name; the dirty ones
    // are serialised on save or when their part is read.
    mutable std::unordered_map<std::string, Relationships> relationships_;
    mutable std::set<std::string> dirtyRelationships_;
    // Per name pattern of uniquePartName: every number below it is taken
    // (forgotten when a part is removed).
    mutable std::unordered_map<std::string, int> nextPartNumber_;
};

}  // namespace kbx::ooxml
