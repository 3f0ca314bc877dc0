#pragma once
// Lookups of the plain export: names in name arrays, fields of the current
// record through the process-wide field index cache, and position numbers.

#include <cstdint>
#include <map>
#include <string>

#include "value/variant.h"

namespace kbx::plainbom {

// A keyed collection of field offsets. Keys are compared without regard to
// letter case and each key can be held once.
class FieldIndexCache {
public:
    bool empty() const { return offsets_.empty(); }
    // Adds an offset under a key; a key already held raises error 457.
    void Add(const std::string& key, int32_t offset);
    // The offset under a key; a missing key raises error 5.
    int32_t Item(const std::string& key) const;

private:
    std::map<std::string, int32_t> offsets_;
};

// Index of the first element equal to `name` when both are upper-cased; -1 if none.
int32_t FindName(const Variant& names, const std::string& name);

// Whether `coll` holds an item under `key`.
bool KeyExists(const FieldIndexCache& coll, const std::string& key);

// Index in `names` (start .. start + span - 1) of the field `name`, or -1.
// Never raises.
int32_t FindField(const Variant& names, const std::string& name, int32_t start, int32_t span);

// The value under the first "posnr" name at or after `start`, as a 32-bit
// integer; -1 when no such name follows. Conversion errors are raised.
int32_t PosNrAt(const Variant& names, const Variant& vals, int32_t start);

}  // namespace kbx::plainbom
