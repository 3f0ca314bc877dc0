#include "ooxml/package.h"

#include <algorithm>
#include <set>

#include "files/atomic_file.h"
#include "files/input_file.h"
#include "ooxml/part_names.h"
#include "ooxml/xml_util.h"
#include "ooxml/zip_archive.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

Package::Package() = default;
Package::~Package() = default;

std::unique_ptr<Package> Package::create() {
    std::unique_ptr<Package> package(new Package());
    package->fileName_ = "(new workbook)";
    package->contentTypes_.createEmpty();
    return package;
}

std::unique_ptr<Package> Package::open(const std::string& path, const PackageLimits& limits) {
    std::unique_ptr<Package> package(new Package());
    package->fileName_ = path;
    package->limits_ = limits;
    package->source_ =
        std::make_unique<ZipReader>(files::readRegularFile(path, limits.maxTotalBytes, "a workbook"), path);
    package->loadEntries();
    if (!package->hasPart(ContentTypes::kPartName))
        raiseBadFile(path, "the package has no [Content_Types].xml");
    package->contentTypes_.load(package->readPart(ContentTypes::kPartName), path);
    return package;
}

void Package::loadEntries() {
    const size_t count = source_->entryCount();
    if (count > limits_.maxEntries)
        raiseBadFile(fileName_, "the package holds too many entries (" + std::to_string(count) + ")");
    std::set<std::string> seen;
    for (size_t i = 0; i < count; ++i) {
        const std::string name = source_->entryName(i);
        if (!isValidUtf8(name)) raiseBadFile(fileName_, "an entry name is not valid UTF-8");
        if (!isSafeEntryName(name)) raiseBadFile(fileName_, "the entry name '" + name + "' is not allowed");
        if (!seen.insert(asciiLowerCase(name)).second)
            raiseBadFile(fileName_, "the entry '" + name + "' appears more than once (names differ only in case)");
        index_[name] = entries_.size();
        entries_.push_back({name, static_cast<int64_t>(i), std::nullopt, std::nullopt, false});
    }
}

Package::Entry* Package::findEntry(const std::string& name) {
    const auto it = index_.find(name);
    if (it == index_.end() || entries_[it->second].removed) return nullptr;
    return &entries_[it->second];
}

const Package::Entry* Package::findEntry(const std::string& name) const {
    return const_cast<Package*>(this)->findEntry(name);
}

bool Package::hasPart(const std::string& name) const { return findEntry(name) != nullptr; }

std::string Package::readPart(const std::string& name) const {
    const Entry* entry = findEntry(name);
    if (entry == nullptr) raiseBadFile(fileName_, "the part '" + name + "' is missing");
    if (dirtyRelationships_.count(name)) return relationships_.at(name).serialize();
    if (entry->data) return *entry->data;
    std::string data;
    const auto append = [&data](std::string_view piece) { data.append(piece); };
    if (entry->deflated) {
        data.reserve(entry->deflated->size);
        inflatePart(*entry->deflated, append);
        return data;
    }
    readSourceEntry(*entry, true, append);
    return data;
}

void Package::readPartInPieces(const std::string& name, const std::function<void(std::string_view)>& sink) const {
    const Entry* entry = findEntry(name);
    if (entry == nullptr) raiseBadFile(fileName_, "the part '" + name + "' is missing");
    if (dirtyRelationships_.count(name)) {
        sink(relationships_.at(name).serialize());
    } else if (entry->data) {
        sink(*entry->data);
    } else if (entry->deflated) {
        inflatePart(*entry->deflated, sink);
    } else {
        readSourceEntry(*entry, false, sink);
    }
}

void Package::readSourceEntry(const Entry& entry, bool wholePart,
                              const std::function<void(std::string_view)>& sink) const {
    const auto index = static_cast<size_t>(entry.sourceIndex);
    const ZipReader::EntrySize size = source_->entrySize(index);
    if ((wholePart && size.size > limits_.maxPartBytes) || bytesRead_ + size.size > limits_.maxTotalBytes)
        raiseBadFile(fileName_, "the entry '" + entry.name + "' inflates to more than the allowed size");
    if (size.size > limits_.ratioFloorBytes && size.size / std::max<uint64_t>(size.compressedSize, 1) > limits_.maxRatio)
        raiseBadFile(fileName_, "the entry '" + entry.name + "' has a suspicious compression ratio");
    bytesRead_ += source_->inflate(index, sink);
}

Package::Entry& Package::entryForWrite(const std::string& name) {
    relationships_.erase(name);
    dirtyRelationships_.erase(name);
    if (Entry* entry = findEntry(name)) return *entry;
    const auto it = index_.find(name);
    if (it != index_.end()) {
        entries_[it->second] = {name, -1, std::nullopt, std::nullopt, false};
        return entries_[it->second];
    }
    index_[name] = entries_.size();
    entries_.push_back({name, -1, std::nullopt, std::nullopt, false});
    return entries_.back();
}

void Package::writePart(const std::string& name, std::string data) {
    Entry& entry = entryForWrite(name);
    entry.deflated.reset();
    entry.data = std::move(data);
}

void Package::writeDeflatedPart(const std::string& name, DeflatedPart part) {
    Entry& entry = entryForWrite(name);
    entry.data.reset();
    entry.deflated = std::move(part);
}

void Package::removePart(const std::string& name) {
    relationships_.erase(name);
    dirtyRelationships_.erase(name);
    nextPartNumber_.clear();
    if (Entry* entry = findEntry(name)) {
        entry->removed = true;
        entry->data.reset();
        entry->deflated.reset();
    }
    contentTypes_.removeOverride(name);
}

std::vector<std::string> Package::partNames() const {
    std::vector<std::string> names;
    for (const Entry& e : entries_)
        if (!e.removed && !e.name.empty() && e.name.back() != '/') names.push_back(e.name);
    return names;
}

std::string Package::uniquePartName(const std::string& prefix, const std::string& suffix) const {
    int& next = nextPartNumber_[prefix + '\n' + suffix];
    for (int n = std::max(next, 1);; ++n) {
        std::string name = prefix + std::to_string(n) + suffix;
        if (!hasPart(name)) {
            next = n;
            return name;
        }
    }
}

const Relationships& Package::cachedRelationships(const std::string& sourcePart) const {
    const std::string name = relationshipsPartName(sourcePart);
    if (const auto it = relationships_.find(name); it != relationships_.end()) return it->second;
    Relationships rels;
    if (hasPart(name)) {
        pugi::xml_document doc;
        parseXml(doc, readPart(name), fileName_, name);
        rels = Relationships::parse(doc);
        for (const Relationship& r : rels.items)
            if (r.namesPart()) resolveTarget(sourcePart, r.target);
    }
    return relationships_.emplace(name, std::move(rels)).first->second;
}

Relationships Package::relationships(const std::string& sourcePart) const { return cachedRelationships(sourcePart); }

void Package::setRelationships(const std::string& sourcePart, const Relationships& rels) {
    editRelationships(sourcePart) = rels;
}

Relationships& Package::editRelationships(const std::string& sourcePart) {
    const std::string name = relationshipsPartName(sourcePart);
    if (!hasPart(name)) {
        // A stand-in entry until the relationships are serialised.
        entryForWrite(name).data = std::string();
        relationships_[name] = Relationships{};
    }
    ensureDefault("rels", contentType::kRelationships);
    Relationships& rels = const_cast<Relationships&>(cachedRelationships(sourcePart));
    dirtyRelationships_.insert(name);
    return rels;
}

void Package::flushRelationships() {
    const std::set<std::string> dirty = std::move(dirtyRelationships_);
    dirtyRelationships_.clear();
    for (const std::string& name : dirty) {
        Relationships rels = std::move(relationships_.at(name));
        writePart(name, rels.serialize());
        relationships_[name] = std::move(rels);
    }
}

std::string Package::resolveTarget(const std::string& sourcePart, const std::string& target) const {
    std::optional<std::string> part = resolvedTarget(sourcePart, target);
    if (!part) {
        raiseBadFile(fileName_,
                     "the relationship target '" + target + "' of '" + sourcePart + "' points outside the package");
    }
    return std::move(*part);
}

std::string Package::existingTarget(const std::string& sourcePart, const Relationship& relationship) const {
    if (!relationship.namesPart()) return {};
    std::string part = resolveTarget(sourcePart, relationship.target);
    return hasPart(part) ? part : std::string();
}

void Package::writeArchive(const std::string& path, const std::string& target) const {
    ZipWriter archive(path, target);
    for (const Entry& entry : entries_) {
        if (entry.removed) continue;
        if (entry.data) {
            archive.addBytes(entry.name, *entry.data);
        } else if (entry.deflated) {
            archive.addDeflated(entry.name, *entry.deflated);
        } else {
            archive.addCopy(entry.name, *source_, static_cast<size_t>(entry.sourceIndex));
        }
    }
    archive.close();
}

void Package::save(const std::string& path, const std::string& nameInErrors) {
    flushRelationships();
    if (contentTypes_.dirty() || !hasPart(ContentTypes::kPartName))
        writePart(ContentTypes::kPartName, contentTypes_.serialize());
    // [Content_Types].xml first, as readers expect.
    std::stable_partition(entries_.begin(), entries_.end(),
                          [](const Entry& e) { return e.name == ContentTypes::kPartName; });
    index_.clear();
    for (size_t i = 0; i < entries_.size(); ++i) index_[entries_[i].name] = i;

    const std::string& shown = nameInErrors.empty() ? path : nameInErrors;
    files::replaceFile(
        path, [&](const std::string& temporary) { writeArchive(temporary, shown); }, shown);
}

}  // namespace kbx::ooxml
