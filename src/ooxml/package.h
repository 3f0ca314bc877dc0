#pragma once
// An Open Packaging Conventions package (the zip container of an .xlsx):
// its parts, content types and relationships. Parts that nobody writes are
// copied into a saved package with their original compressed bytes.

#include <zip.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <vector>

namespace kbx::ooxml {

struct Relationship {
    std::string id;
    std::string type;
    std::string target;
    bool external = false;
};

struct Relationships {
    std::vector<Relationship> items;
    const Relationship* find(const std::string& id) const;
    const Relationship* findByType(const std::string& type) const;
    // Adds an internal relationship with a fresh id and returns the id.
    std::string add(const std::string& type, const std::string& target);
};

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
    // Adds or replaces a part; only such parts are compressed anew on save.
    void writePart(const std::string& name, std::string data);
    void removePart(const std::string& name);
    std::vector<std::string> partNames() const;
    // A part name "<prefix><n><suffix>" not used yet (n from 1).
    std::string uniquePartName(const std::string& prefix, const std::string& suffix) const;

    std::string contentType(const std::string& part) const;
    void setOverride(const std::string& part, const std::string& type);
    void ensureDefault(const std::string& extension, const std::string& type);

    // Relationships of a part ("" for the package itself).
    Relationships relationships(const std::string& sourcePart) const;
    void setRelationships(const std::string& sourcePart, const Relationships& rels);
    static std::string relationshipsPartName(const std::string& sourcePart);
    // The part a relative target of `sourcePart` names; raises when it
    // leaves the package.
    std::string resolveTarget(const std::string& sourcePart, const std::string& target) const;
    static std::string relativeTarget(const std::string& sourcePart, const std::string& targetPart);

    // Writes the package to `path` through a temporary file in the same
    // directory, synced and renamed over the target. Errors name
    // `nameInErrors` when given (the file `path` is made for).
    void save(const std::string& path, const std::string& nameInErrors = {});

private:
    Package() = default;
    struct Entry {
        std::string name;
        int64_t sourceIndex = -1;
        std::optional<std::string> data;
        bool removed = false;
    };
    void loadEntries();
    void loadContentTypes();
    std::string readSourceEntry(const Entry& entry) const;
    Entry* findEntry(const std::string& name);
    const Entry* findEntry(const std::string& name) const;
    // Writes the archive to `path`; errors name `target`, the file being saved.
    void writeArchive(const std::string& path, const std::string& target);

    std::string fileName_;
    PackageLimits limits_;
    std::string sourceBytes_;
    zip_t* source_ = nullptr;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;
    mutable uint64_t bytesRead_ = 0;
    pugi::xml_document contentTypes_;
    bool contentTypesDirty_ = false;
};

}  // namespace kbx::ooxml
