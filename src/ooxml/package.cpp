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
    for (int n = static_cast<int>(items.size()) + 1;; ++n) {
        const std::string id = "rId" + std::to_string(n);
        if (find(id) == nullptr) {
            items.push_back({id, type, target, false});
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
        entries_.push_back({name, i, std::nullopt, false});
    }
}

void Package::loadContentTypes() {
    if (!hasPart(kContentTypesPart)) raiseBadFile(fileName_, "the package has no [Content_Types].xml");
    parseXml(contentTypes_, readPart(kContentTypesPart), fileName_, kContentTypesPart);
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
    if (entry->data) return *entry->data;
    return readSourceEntry(*entry);
}

std::string Package::readSourceEntry(const Entry& entry) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(source_, static_cast<zip_uint64_t>(entry.sourceIndex), 0, &st) != 0) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' cannot be read");
    }
    const uint64_t declared = st.size;
    if (declared > limits_.maxPartBytes || bytesRead_ + declared > limits_.maxTotalBytes) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' inflates to more than the allowed size");
    }
    if (declared > limits_.ratioFloorBytes && declared / std::max<uint64_t>(st.comp_size, 1) > limits_.maxRatio) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' has a suspicious compression ratio");
    }
    zip_file_t* file = zip_fopen_index(source_, static_cast<zip_uint64_t>(entry.sourceIndex), 0);
    if (file == nullptr) {
        raiseBadFile(fileName_, "the entry '" + entry.name + "' cannot be opened (" + zip_strerror(source_) + ")");
    }
    std::string data;
    data.reserve(static_cast<size_t>(declared));
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            const std::string text = zip_file_strerror(file);
            zip_fclose(file);
            raiseBadFile(fileName_, "the entry '" + entry.name + "' is damaged (" + text + ")");
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
        if (data.size() > declared) {
            zip_fclose(file);
            raiseBadFile(fileName_, "the entry '" + entry.name + "' inflates to more than its declared size");
        }
    }
    zip_fclose(file);
    bytesRead_ += data.size();
    return data;
}

void Package::writePart(const std::string& name, std::string data) {
    if (Entry* entry = findEntry(name)) {
        entry->data = std::move(data);
        return;
    }
    const auto it = index_.find(name);
    if (it != index_.end()) {
        entries_[it->second] = {name, -1, std::move(data), false};
        return;
    }
    index_[name] = entries_.size();
    entries_.push_back({name, -1, std::move(data), false});
}

void Package::removePart(const std::string& name) {
    if (Entry* entry = findEntry(name)) {
        entry->removed = true;
        entry->data.reset();
    }
    const std::string overrideName = "/" + name;
    pugi::xml_node types = contentTypes_.document_element();
    for (pugi::xml_node node = types.first_child(); node;) {
        pugi::xml_node next = node.next_sibling();
        if (localName(node) == "Override" && overrideName == node.attribute("PartName").value()) {
            types.remove_child(node);
            contentTypesDirty_ = true;
        }
        node = next;
    }
}

std::vector<std::string> Package::partNames() const {
    std::vector<std::string> names;
    for (const Entry& e : entries_) {
        if (!e.removed && !e.name.empty() && e.name.back() != '/') names.push_back(e.name);
    }
    return names;
}

std::string Package::uniquePartName(const std::string& prefix, const std::string& suffix) const {
    for (int n = 1;; ++n) {
        const std::string name = prefix + std::to_string(n) + suffix;
        if (!hasPart(name)) return name;
    }
}

std::string Package::contentType(const std::string& part) const {
    const std::string partName = lower("/" + part);
    const size_t dot = part.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : lower(part.substr(dot + 1));
    std::string byDefault;
    for (pugi::xml_node node : contentTypes_.document_element().children()) {
        if (localName(node) == "Override" && lower(node.attribute("PartName").value()) == partName) {
            return node.attribute("ContentType").value();
        }
        if (localName(node) == "Default" && lower(node.attribute("Extension").value()) == extension) {
            byDefault = node.attribute("ContentType").value();
        }
    }
    return byDefault;
}

void Package::setOverride(const std::string& part, const std::string& type) {
    const std::string partName = "/" + part;
    pugi::xml_node types = contentTypes_.document_element();
    for (pugi::xml_node node : types.children()) {
        if (localName(node) == "Override" && partName == node.attribute("PartName").value()) {
            if (type != node.attribute("ContentType").value()) {
                node.attribute("ContentType").set_value(type.c_str());
                contentTypesDirty_ = true;
            }
            return;
        }
    }
    pugi::xml_node node = types.append_child((prefixOf(types) + "Override").c_str());
    node.append_attribute("PartName") = partName.c_str();
    node.append_attribute("ContentType") = type.c_str();
    contentTypesDirty_ = true;
}

void Package::ensureDefault(const std::string& extension, const std::string& type) {
    pugi::xml_node types = contentTypes_.document_element();
    for (pugi::xml_node node : types.children()) {
        if (localName(node) == "Default" && lower(node.attribute("Extension").value()) == lower(extension)) return;
    }
    pugi::xml_node node = types.prepend_child((prefixOf(types) + "Default").c_str());
    node.append_attribute("Extension") = extension.c_str();
    node.append_attribute("ContentType") = type.c_str();
    contentTypesDirty_ = true;
}

std::string Package::relationshipsPartName(const std::string& sourcePart) {
    const size_t slash = sourcePart.rfind('/');
    if (slash == std::string::npos) return "_rels/" + sourcePart + ".rels";
    return sourcePart.substr(0, slash) + "/_rels/" + sourcePart.substr(slash + 1) + ".rels";
}

Relationships Package::relationships(const std::string& sourcePart) const {
    Relationships rels;
    const std::string name = relationshipsPartName(sourcePart);
    if (!hasPart(name)) return rels;
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
    return rels;
}

void Package::setRelationships(const std::string& sourcePart, const Relationships& rels) {
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
    const std::string name = relationshipsPartName(sourcePart);
    writePart(name, serializeXml(doc));
    ensureDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
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
        } else if (mtime != 0) {
            zip_file_set_mtime(out, static_cast<zip_uint64_t>(index), mtime, 0);
        }
    }
    if (zip_close(out) != 0) fail("closing the archive");
}

void Package::save(const std::string& path, const std::string& nameInErrors) {
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
