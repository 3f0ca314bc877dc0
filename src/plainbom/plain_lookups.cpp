#include "plainbom/plain_lookups.h"

#include "fillcommon/placeholder_cell.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::plainbom {

namespace {

constexpr int32_t kKeyAlreadyHeld = 457;

FieldIndexCache& fieldIndexCache() {
    static FieldIndexCache cache;
    return cache;
}

// Adds the offsets of the record window; a duplicate name or a window that
// runs past `names` stops the fill with an error, leaving what was added. A
// Null name names no field and is left out.
void fillCache(FieldIndexCache& cache, const Variant& names, int32_t start, int32_t span) {
    for (int64_t i = start; i < static_cast<int64_t>(start) + span; ++i) {
        const auto index = static_cast<int32_t>(i);
        if (const std::optional<std::string> name = fillcommon::elementText(names, index))
            cache.Add(*name, index - start);
    }
}

// The lookup through the cache as it stands; nullopt sends the caller to a rebuild.
std::optional<int32_t> findThroughCache(const Variant& names, const std::string& name, int32_t start, int32_t span) {
    FieldIndexCache& cache = fieldIndexCache();
    if (cache.empty()) fillCache(cache, names, start, span);
    if (!KeyExists(cache, name)) return std::nullopt;
    const int32_t index = start + cache.Item(name);
    if (toText(names.at(index)) != name) return std::nullopt;
    return index;
}

}  // namespace

void FieldIndexCache::Add(const std::string& key, int32_t offset) {
    if (!offsets_.emplace(upperCase(key), offset).second)
        raise(kKeyAlreadyHeld, "This key is already associated with an element of this collection");
}

int32_t FieldIndexCache::Item(const std::string& key) const {
    auto found = offsets_.find(upperCase(key));
    if (found == offsets_.end()) raise(err::InvalidCall);
    return found->second;
}

bool KeyExists(const FieldIndexCache& coll, const std::string& key) {
    try {
        coll.Item(key);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

int32_t FindField(const Variant& names, const std::string& name, int32_t start, int32_t span) {
    try {
        if (std::optional<int32_t> index = findThroughCache(names, name, start, span)) return *index;
    } catch (const RuntimeError&) {
        // The cache does not fit this record: rebuild it below.
    }
    FieldIndexCache& cache = fieldIndexCache();
    cache = FieldIndexCache();
    try {
        fillCache(cache, names, start, span);
        if (KeyExists(cache, name)) return start + cache.Item(name);
    } catch (const RuntimeError&) {
        // A window with a duplicate name or past the end answers -1.
    }
    return -1;
}

int32_t FindName(const Variant& names, const std::string& name) {
    const std::string wanted = upperCase(name);
    const int32_t upper = names.upperBound();
    for (int32_t i = 0; i <= upper; ++i) {
        const std::optional<std::string> text = fillcommon::elementText(names, i);
        if (text && upperCase(*text) == wanted) return i;
    }
    return -1;
}

int32_t PosNrAt(const Variant& names, const Variant& vals, int32_t start) {
    const int32_t upper = names.upperBound();
    for (int64_t i = start; i <= upper; ++i) {
        const auto index = static_cast<int32_t>(i);
        const std::optional<std::string> text = fillcommon::elementText(names, index);
        if (text && upperCase(*text) == "POSNR") return toLong(vals.at(index));
    }
    return -1;
}

}  // namespace kbx::plainbom
