#include "value/cell_reference.h"

#include <cctype>
#include <vector>

namespace kbx {

namespace {

const std::vector<std::string>& columnNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all(kMaxColumns + 2);
        for (int32_t c = 1; c <= kMaxColumns; ++c) {
            std::string name;
            for (int32_t n = c; n > 0; n = (n - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
            all[static_cast<size_t>(c)] = name;
        }
        return all;
    }();
    return names;
}

}  // namespace

const std::string& columnNameRef(int32_t column) {
    const auto& names = columnNames();
    return names[column < 1 || column > kMaxColumns ? 0 : static_cast<size_t>(column)];
}

std::string columnName(int32_t column) { return columnNameRef(column); }

int32_t columnOfLetters(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) return 0;
    int32_t column = 0;
    for (const char c : letters) {
        if (!std::isalpha(static_cast<unsigned char>(c))) return 0;
        column = column * 26 + (std::toupper(static_cast<unsigned char>(c)) - 'A' + 1);
    }
    return column <= kMaxColumns ? column : 0;
}

int32_t rowOfDigits(std::string_view digits) {
    if (digits.empty() || digits.size() > 7 || digits[0] == '0') return 0;
    int32_t row = 0;
    for (const char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        row = row * 10 + (c - '0');
    }
    return row <= kMaxRows ? row : 0;
}

bool parseCellReference(std::string_view ref, int32_t& row, int32_t& column) {
    size_t i = 0;
    int64_t col = 0;
    while (i < ref.size() && i < 4 && std::isalpha(static_cast<unsigned char>(ref[i]))) {
        col = col * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
        ++i;
    }
    if (i == 0 || i == ref.size() || i == 4) return false;
    int64_t r = 0;
    for (size_t k = i; k < ref.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(ref[k])) || k - i >= 8) return false;
        r = r * 10 + (ref[k] - '0');
    }
    if (col < 1 || col > kMaxColumns || r < 1 || r > kMaxRows) return false;
    row = static_cast<int32_t>(r);
    column = static_cast<int32_t>(col);
    return true;
}

}  // namespace kbx
