#include "ooxml/package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "files/atomic_file.h"
#include "files/input_file.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

constexpr const char* kContentTypesPart = "[Content_Types].xml";
constexpr const char* kContentTypesNs = "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr const char* kRelationshipsNs = "http://schemas.openxmlformats.org/package/2006/relationships";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string zipErrorText(zip_error_t* error) { return zip_error_strerror(error); }

// Rejects names that could point outside the package or are ambiguous.
bool isSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string segment = name.substr(start, end - start);
        if (segment == ".." || segment == ".") return false;
        start = end + 1;
    }
    return name.find('\0') == std::string::npos;
}

std::string percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string directoryOf(const std::string& part) {
    const size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash);
}

}  // namespace

const Relationship* Relationships::find(const std::string& id) const {
    for (const Relationship& r : items) {
        if (r.id == id) return &r;
    }
    return nullptr;
}

const Relationship* Relationships::findByType(const std::string& type) const {
    for (const Relationship& r : items) {
        if (r.type == type) return &r;
    }
    return nullptr;
}

std::string Relationships::add(const std::string& type, const std::string& target) {
    if (idsCounted_ != items.size()) {
        ids_.clear();
        for (const Relationship& r : items) ids_.insert(r.id);
        idsCounted_ = items.size();
    }
    for (size_t n = items.size() + 1;; ++n) {
        std::string id = "rId" + std::to_string(n);
        if (ids_.insert(id).second) {
            items.push_back({id, type, target, false});
            ++idsCounted_;
            return id;
        }
    }
}

Package::~Package() {
    if (source_ != nullptr) zip_discard(source_);
}

std::unique_ptr<Package> Package::create() {
    std::unique_ptr<Package> package(new Package());
    package->fileName_ = "(new workbook)";
    pugi::xml_node decl = package->contentTypes_.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    package->contentTypes_.append_child("Types").append_attribute("xmlns") = kContentTypesNs;
    package->contentTypesDirty_ = true;
    package->indexContentTypes();
    return package;
}

std::unique_ptr<Package> Package::open(const std::string& path, const PackageLimits& limits) {
    std::unique_ptr<Package> package(new Package());
    package->fileName_ = path;
    package->limits_ = limits;
    package->sourceBytes_ = files::readRegularFile(path, limits.maxTotalBytes, "a workbook");
    const size_t size = package->sourceBytes_.size();

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src = zip_source_buffer_create(package->sourceBytes_.data(), size, 0, &error);
    if (src == nullptr) raiseBadFile(path, zipErrorText(&error));
    package->source_ = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (package->source_ == nullptr && zip_error_code_zip(&error) == ZIP_ER_INCONS) {
        // Some writers leave local headers that differ from the central
        // directory in harmless ways (time stamps); the central directory is
        // what is read, and every entry is still checked while it is inflated.
        zip_error_fini(&error);
        zip_error_init(&error);
        package->source_ = zip_open_from_source(src, ZIP_RDONLY, &error);
    }
    if (package->source_ == nullptr) {
        zip_source_free(src);
        const bool duplicate = zip_error_code_zip(&error) == ZIP_ER_EXISTS;
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        if (duplicate) raiseBadFile(path, "an entry name appears more than once");
        raiseBadFile(path, "it is not a valid zip package (" + text + ")");
    }
    zip_error_fini(&error);
    package->loadEntries();
    package->loadContentTypes();
    return package;
}

void Package::loadEntries() {
    const zip_int64_t count = zip_get_num_entries(source_, 0);
    if (count < 0 || static_cast<uint64_t>(count) > limits_.maxEntries) {
        raiseBadFile(fileName_, "the package holds too many entries (" + std::to_string(count) + ")");
    }
    std::set<std::string> seen;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(source_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        if (raw == nullptr) raiseBadFile(fileName_, "an entry has no name");
        const std::string name = raw;
        if (!isValidUtf8(name)) raiseBadFile(fileName_, "an entry name is not valid UTF-8");
        if (!isSafeEntryName(name)) raiseBadFile(fileName_, "the entry name '" + name + "' is not allowed");
        if (!seen.insert(lower(name)).second) {
            raiseBadFile(fileName_, "the entry '" + name + "' appears more than once (names differ only in case)");
        }
        index_[name] = entries_.size();
        entries_.push_back({name, i, std::nullopt, std::nullopt, false});
    }
}

void Package::loadContentTypes() {
    if (!hasPart(kContentTypesPart)) raiseBadFile(fileName_, "the package has no [Content_Types].xml");
    parseXml(contentTypes_, readPart(kContentTypesPart), fileName_, kContentTypesPart);
    indexContentTypes();
}

void Package::indexContentTypes() {
    overrides_.clear();
    overridesLower_.clear();
    defaults_.clear();
    for (pugi::xml_node node : contentTypes_.document_element().children()) {
        if (localName(node) == "Override") {
            const std::string name = node.attribute("PartName").value();
            overrides_.emplace(name, node);
            overridesLower_.emplace(lower(name), node);
        } else if (localName(node) == "Default") {
            // The last Default of an extension is the one that counts.
            defaults_[lower(node.attribute("Extension").value())] = node;
        }
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
    if (dirtyRelationships_.count(name)) return serializedRelationships(relationships_.at(name));
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
        sink(serializedRelationships(relationships_.at(name)));
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
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(source_, static_cast<zip_uint64_t>(entry.sourceIndex), 0, &st) != 0) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' cannot be read");
    }
    const uint64_t declared = st.size;
    if ((wholePart && declared > limits_.maxPartBytes) || bytesRead_ + declared > limits_.maxTotalBytes) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' inflates to more than the allowed size");
    }
    if (declared > limits_.ratioFloorBytes && declared / std::max<uint64_t>(st.comp_size, 1) > limits_.maxRatio) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' has a suspicious compression ratio");
    }
    zip_file_t* file = zip_fopen_index(source_, static_cast<zip_uint64_t>(entry.sourceIndex), 0);
    if (file == nullptr) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' cannot be opened (" + zip_strerror(source_) + ")");
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
    std::string buffer(65536, '\0');
    uint64_t total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0) raiseBadFile(fileName_, "the entry '" + entry.name + "' is damaged (" + zip_file_strerror(file) + ")");
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (total > declared) {
            raiseBadFile(fileName_, "the entry '" + entry.name + "' inflates to more than its declared size");
        }
        sink(std::string_view(buffer.data(), static_cast<size_t>(n)));
    }
    bytesRead_ += total;
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
    const std::string overrideName = "/" + name;
    if (!overrides_.count(overrideName)) return;
    pugi::xml_node types = contentTypes_.document_element();
    for (pugi::xml_node node = types.first_child(); node;) {
        pugi::xml_node next = node.next_sibling();
        if (localName(node) == "Override" && overrideName == node.attribute("PartName").value()) {
            types.remove_child(node);
            contentTypesDirty_ = true;
        }
        node = next;
    }
    indexContentTypes();
}

std::vector<std::string> Package::partNames() const {
    std::vector<std::string> names;
    for (const Entry& e : entries_) {
        if (!e.removed && !e.name.empty() && e.name.back() != '/') names.push_back(e.name);
    }
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

std::string Package::contentType(const std::string& part) const {
    if (const auto it = overridesLower_.find(lower("/" + part)); it != overridesLower_.end()) {
        return it->second.attribute("ContentType").value();
    }
    const size_t dot = part.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : lower(part.substr(dot + 1));
    const auto it = defaults_.find(extension);
    return it == defaults_.end() ? std::string() : std::string(it->second.attribute("ContentType").value());
}

void Package::setOverride(const std::string& part, const std::string& type) {
    const std::string partName = "/" + part;
    if (const auto it = overrides_.find(partName); it != overrides_.end()) {
        pugi::xml_node node = it->second;
        if (type != node.attribute("ContentType").value()) {
            node.attribute("ContentType").set_value(type.c_str());
            contentTypesDirty_ = true;
        }
        return;
    }
    pugi::xml_node types = contentTypes_.document_element();
    pugi::xml_node node = types.append_child((prefixOf(types) + "Override").c_str());
    node.append_attribute("PartName") = partName.c_str();
    node.append_attribute("ContentType") = type.c_str();
    overrides_.emplace(partName, node);
    overridesLower_.emplace(lower(partName), node);
    contentTypesDirty_ = true;
}

void Package::ensureDefault(const std::string& extension, const std::string& type) {
    if (defaults_.count(lower(extension))) return;
    pugi::xml_node types = contentTypes_.document_element();
    pugi::xml_node node = types.prepend_child((prefixOf(types) + "Default").c_str());
    node.append_attribute("Extension") = extension.c_str();
    node.append_attribute("ContentType") = type.c_str();
    defaults_.emplace(lower(extension), node);
    contentTypesDirty_ = true;
}

std::string Package::relationshipsPartName(const std::string& sourcePart) {
    const size_t slash = sourcePart.rfind('/');
    if (slash == std::string::npos) return "_rels/" + sourcePart + ".rels";
    return sourcePart.substr(0, slash) + "/_rels/" + sourcePart.substr(slash + 1) + ".rels";
}

const Relationships& Package::cachedRelationships(const std::string& sourcePart) const {
    const std::string name = relationshipsPartName(sourcePart);
    if (const auto it = relationships_.find(name); it != relationships_.end()) return it->second;
    Relationships rels;
    if (hasPart(name)) {
        pugi::xml_document doc;
        parseXml(doc, readPart(name), fileName_, name);
        for (pugi::xml_node node : doc.document_element().children()) {
            if (localName(node) != "Relationship") continue;
            Relationship r;
            r.id = node.attribute("Id").value();
            r.type = node.attribute("Type").value();
            r.target = node.attribute("Target").value();
            r.external = std::string_view(node.attribute("TargetMode").value()) == "External";
            if (!r.external) resolveTarget(sourcePart, r.target);
            rels.items.push_back(std::move(r));
        }
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
    ensureDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
    Relationships& rels = const_cast<Relationships&>(cachedRelationships(sourcePart));
    dirtyRelationships_.insert(name);
    return rels;
}

std::string Package::serializedRelationships(const Relationships& rels) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node root = doc.append_child("Relationships");
    root.append_attribute("xmlns") = kRelationshipsNs;
    for (const Relationship& r : rels.items) {
        pugi::xml_node node = root.append_child("Relationship");
        node.append_attribute("Id") = r.id.c_str();
        node.append_attribute("Type") = r.type.c_str();
        node.append_attribute("Target") = r.target.c_str();
        if (r.external) node.append_attribute("TargetMode") = "External";
    }
    return serializeXml(doc);
}

void Package::flushRelationships() {
    const std::set<std::string> dirty = std::move(dirtyRelationships_);
    dirtyRelationships_.clear();
    for (const std::string& name : dirty) {
        Relationships rels = std::move(relationships_.at(name));
        writePart(name, serializedRelationships(rels));
        relationships_[name] = std::move(rels);
    }
}

std::string Package::resolveTarget(const std::string& sourcePart, const std::string& target) const {
    const std::string decoded = percentDecode(target);
    std::vector<std::string> segments;
    std::string path = decoded;
    if (!decoded.empty() && decoded.front() == '/') {
        path = decoded.substr(1);
    } else {
        const std::string dir = directoryOf(sourcePart);
        path = dir.empty() ? decoded : dir + "/" + decoded;
    }
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (segments.empty()) {
                raiseBadFile(fileName_, "the relationship target '" + target + "' of '" + sourcePart +
                                            "' points outside the package");
            }
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& s : segments) result += (result.empty() ? "" : "/") + s;
    return result;
}

std::string Package::relativeTarget(const std::string& sourcePart, const std::string& targetPart) {
    const std::string dir = directoryOf(sourcePart);
    if (dir.empty()) return targetPart;
    if (targetPart.rfind(dir + "/", 0) == 0) return targetPart.substr(dir.size() + 1);
    return "/" + targetPart;
}

namespace {

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

zip_source_t* deflatedPartSource(zip_t* archive, const DeflatedPart& part) {
    auto* state = new DeflatedSourceState{&part, 0};
    zip_source_t* source = zip_source_function(archive, deflatedSource, state);
    if (source == nullptr) delete state;
    return source;
}

}  // namespace

void Package::writeArchive(const std::string& path, const std::string& target) {
    int errorCode = 0;
    zip_t* out = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &errorCode);
    if (out == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, errorCode);
        const std::string text = zipErrorText(&error);
        zip_error_fini(&error);
        raise(err::PathFileAccessError, "Cannot write '" + target + "': " + text);
    }
    const auto fail = [&](const std::string& what) {
        const std::string text = zip_strerror(out);
        zip_discard(out);
        raise(err::PathFileAccessError, "Cannot write '" + target + "': " + what + " (" + text + ")");
    };
    for (const Entry& entry : entries_) {
        if (entry.removed) continue;
        zip_source_t* src = nullptr;
        time_t mtime = 0;
        if (entry.data) {
            src = zip_source_buffer(out, entry.data->data(), entry.data->size(), 0);
        } else if (entry.deflated) {
            src = deflatedPartSource(out, *entry.deflated);
        } else {
            src = zip_source_zip(out, source_, static_cast<zip_uint64_t>(entry.sourceIndex), ZIP_FL_COMPRESSED, 0, -1);
            zip_stat_t st;
            if (zip_stat_index(source_, static_cast<zip_uint64_t>(entry.sourceIndex), 0, &st) == 0 &&
                (st.valid & ZIP_STAT_MTIME)) {
                mtime = st.mtime;
            }
        }
        if (src == nullptr) fail("entry '" + entry.name + "'");
        const zip_int64_t index = zip_file_add(out, entry.name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(src);
            fail("entry '" + entry.name + "'");
        }
        if (entry.data) {
            // The fastest deflate level: a written sheet is about a quarter
            // larger than at the default level, and saved in about half the time.
            zip_set_file_compression(out, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
        } else if (mtime != 0 && !entry.deflated) {
            zip_file_set_mtime(out, static_cast<zip_uint64_t>(index), mtime, 0);
        }
    }
    if (zip_close(out) != 0) fail("closing the archive");
}

void Package::save(const std::string& path, const std::string& nameInErrors) {
    flushRelationships();
    if (contentTypesDirty_ || !hasPart(kContentTypesPart)) {
        writePart(kContentTypesPart, serializeXml(contentTypes_));
        contentTypesDirty_ = false;
    }
    // [Content_Types].xml first, as readers expect.
    std::stable_partition(entries_.begin(), entries_.end(), [](const Entry& e) { return e.name == kContentTypesPart; });
    index_.clear();
    for (size_t i = 0; i < entries_.size(); ++i) index_[entries_[i].name] = i;

    const std::string& shown = nameInErrors.empty() ? path : nameInErrors;
    files::replaceFile(
        path, [&](const std::string& temporary) { writeArchive(temporary, shown); }, shown);
}

}  // namespace kbx::ooxml
