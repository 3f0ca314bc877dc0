// Text functions. Positions and lengths count characters (code points).

#include <cmath>

#include "formula/functions.h"
#include "formula/numeric.h"
#include "formula/text_support.h"
#include "value/number_format.h"
#include "value/text_case.h"

namespace kbx::formula {

namespace {

constexpr size_t kMaxText = 32767;

Value textResult(std::string text) {
    if (toCharacters(text).size() > kMaxText) return ErrorCode::Value;
    return text;
}

int64_t count(const Arguments& a, size_t i, int64_t fallback) { return i < a.size() ? asInteger(a[i]) : fallback; }

Value concatenate(Context&, Arguments& a) {
    std::string out;
    for (const Value& v : a) out += asText(v);
    return textResult(std::move(out));
}

std::string itemText(const CellView& item) {
    switch (item.kind) {
        case CellView::Kind::Text: return std::string(item.text);
        case CellView::Kind::Number: return numberText(item.number);
        case CellView::Kind::Boolean: return item.number != 0 ? "TRUE" : "FALSE";
        case CellView::Kind::Error: fail(item.error);
        case CellView::Kind::Blank: break;
    }
    return {};
}

Value join(Context& c, Arguments& a, size_t first, const std::string& delimiter, bool ignoreEmpty) {
    std::string out;
    bool any = false;
    for (size_t i = first; i < a.size(); ++i) {
        forEachItem(c, a[i], [&](const CellView& item, bool) {
            std::string text = itemText(item);
            if (ignoreEmpty && text.empty()) return;
            if (any) out += delimiter;
            out += text;
            any = true;
        });
    }
    return textResult(std::move(out));
}
Value concat(Context& c, Arguments& a) { return join(c, a, 0, "", false); }
Value textJoin(Context& c, Arguments& a) {
    const Value delimiter = scalarOf(c, a[0]);
    return join(c, a, 2, asText(delimiter), asBoolean(scalarOf(c, a[1])));
}

Value left(Context&, Arguments& a) {
    const std::u32string text = toCharacters(asText(a[0]));
    const int64_t n = count(a, 1, 1);
    if (n < 0) return ErrorCode::Value;
    return toUtf8(std::u32string_view(text).substr(0, size_t(std::min<int64_t>(n, int64_t(text.size())))));
}
Value right(Context&, Arguments& a) {
    const std::u32string text = toCharacters(asText(a[0]));
    const int64_t n = count(a, 1, 1);
    if (n < 0) return ErrorCode::Value;
    const size_t k = size_t(std::min<int64_t>(n, int64_t(text.size())));
    return toUtf8(std::u32string_view(text).substr(text.size() - k));
}
Value mid(Context&, Arguments& a) {
    const std::u32string text = toCharacters(asText(a[0]));
    const int64_t start = asInteger(a[1]), n = asInteger(a[2]);
    if (start < 1 || n < 0) return ErrorCode::Value;
    if (size_t(start) > text.size()) return std::string();
    return toUtf8(std::u32string_view(text).substr(size_t(start - 1), size_t(n)));
}
Value len(Context&, Arguments& a) { return double(toCharacters(asText(a[0])).size()); }
Value lower(Context&, Arguments& a) { return lowerCase(asText(a[0])); }
Value upper(Context&, Arguments& a) { return upperCase(asText(a[0])); }

bool isLetter(char32_t c) {
    const std::string s = toUtf8(std::u32string(1, c));
    return lowerCase(s) != upperCase(s);
}

Value proper(Context&, Arguments& a) {
    std::u32string text = toCharacters(asText(a[0]));
    bool afterLetter = false;
    for (char32_t& c : text) {
        const std::string one = toUtf8(std::u32string(1, c));
        const std::string changed = afterLetter ? lowerCase(one) : upperCase(one);
        const std::u32string back = toCharacters(changed);
        if (back.size() == 1) c = back[0];
        afterLetter = isLetter(c);
    }
    return toUtf8(text);
}

Value trim(Context&, Arguments& a) {
    const std::string text = asText(a[0]);
    std::string out;
    for (const char c : text) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

Value clean(Context&, Arguments& a) {
    std::string out;
    for (const char c : asText(a[0])) {
        if (static_cast<unsigned char>(c) >= 32) out += c;
    }
    return out;
}

Value substitute(Context&, Arguments& a) {
    const std::string text = asText(a[0]), from = asText(a[1]), to = asText(a[2]);
    const int64_t instance = count(a, 3, 0);
    if (a.size() > 3 && instance < 1) return ErrorCode::Value;
    if (from.empty()) return text;
    std::string out;
    int64_t seen = 0;
    size_t at = 0;
    for (size_t found = text.find(from); found != std::string::npos; found = text.find(from, at)) {
        out.append(text, at, found - at);
        ++seen;
        out += (instance == 0 || seen == instance) ? to : from;
        at = found + from.size();
    }
    out.append(text, at);
    return textResult(std::move(out));
}

Value replace(Context&, Arguments& a) {
    std::u32string text = toCharacters(asText(a[0]));
    const int64_t start = asInteger(a[1]), n = asInteger(a[2]);
    if (start < 1 || n < 0) return ErrorCode::Value;
    const size_t from = std::min(size_t(start - 1), text.size());
    text.replace(from, std::min(size_t(n), text.size() - from), toCharacters(asText(a[3])));
    return textResult(toUtf8(text));
}

Value rept(Context&, Arguments& a) {
    const std::string text = asText(a[0]);
    const int64_t n = asInteger(a[1]);
    if (n < 0 || double(n) * double(text.size()) > double(kMaxText) * 4) return ErrorCode::Value;
    std::string out;
    for (int64_t i = 0; i < n; ++i) out += text;
    return textResult(std::move(out));
}

Value findOrSearch(Arguments& a, bool search) {
    std::u32string needle = toCharacters(asText(a[0]));
    std::u32string haystack = toCharacters(asText(a[1]));
    const int64_t start = count(a, 2, 1);
    if (start < 1 || size_t(start) > haystack.size() + 1) return ErrorCode::Value;
    size_t found = 0;
    if (search) {
        found = wildcardSearch(foldCase(needle), foldCase(haystack), size_t(start - 1));
    } else {
        found = haystack.find(needle, size_t(start - 1));
    }
    return found == std::u32string::npos ? Value(ErrorCode::Value) : Value(double(found + 1));
}
Value find(Context&, Arguments& a) { return findOrSearch(a, false); }
Value search(Context&, Arguments& a) { return findOrSearch(a, true); }
Value exact(Context&, Arguments& a) { return asText(a[0]) == asText(a[1]); }

Value text(Context& c, Arguments& a) {
    const std::string format = asText(a[1]);
    if (a[0].isText() && !parseNumberText(a[0].text(), c.date1904())) return a[0].text();
    return textResult(formatNumber(asNumber(a[0]), format, c.date1904()));
}

Value value(Context& c, Arguments& a) {
    if (a[0].isNumber()) return a[0];
    if (a[0].isBlank()) return 0.0;
    const auto n = parseNumberText(asText(a[0]), c.date1904());
    return n ? Value(*n) : Value(ErrorCode::Value);
}

// FIXED and DOLLAR: rounded to the decimals, thousands grouped.
std::string grouped(double x, int64_t decimals, bool commas) {
    const double rounded = roundDecimal(x, int(std::clamp<int64_t>(decimals, -127, 127)), RoundMode::HalfAwayFromZero);
    std::string code = commas ? "#,##0" : "0";
    if (decimals > 0) code += "." + std::string(size_t(std::min<int64_t>(decimals, 127)), '0');
    return formatNumber(std::fabs(rounded), code);
}
Value fixed(Context&, Arguments& a) {
    const double x = asNumber(a[0]);
    const int64_t decimals = a.size() > 1 && !a[1].isBlank() ? asInteger(a[1]) : 2;
    const bool commas = !(a.size() > 2 && asBoolean(a[2]));
    const std::string body = grouped(x, decimals, commas);
    const bool negative = x < 0 && body.find_first_not_of("0.,") != std::string::npos;
    return (negative ? "-" : "") + body;
}
Value dollar(Context&, Arguments& a) {
    const double x = asNumber(a[0]);
    const int64_t decimals = a.size() > 1 && !a[1].isBlank() ? asInteger(a[1]) : 2;
    const std::string body = "$" + grouped(x, decimals, true);
    const bool negative = x < 0 && body.find_first_not_of("$0.,") != std::string::npos;
    return negative ? "(" + body + ")" : body;
}

// CHAR and CODE use the Windows-1252 code page; its 0x80 … 0x9F differ from Latin-1.
constexpr char32_t kCp1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                  0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
Value charFn(Context&, Arguments& a) {
    const int64_t n = asInteger(a[0]);
    if (n < 1 || n > 255) return ErrorCode::Value;
    const char32_t c = n >= 0x80 && n <= 0x9F ? kCp1252[n - 0x80] : char32_t(n);
    return toUtf8(std::u32string(1, c));
}
Value code(Context&, Arguments& a) {
    const std::u32string text = toCharacters(asText(a[0]));
    if (text.empty()) return ErrorCode::Value;
    const char32_t c = text[0];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return double(c);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252[i] == c) return double(0x80 + i);
    }
    return 63.0;
}
Value unichar(Context&, Arguments& a) {
    const int64_t n = asInteger(a[0]);
    if (n < 1 || n > 0x10FFFF) return ErrorCode::Value;
    if (n >= 0xD800 && n <= 0xDFFF) return ErrorCode::NA;
    return toUtf8(std::u32string(1, char32_t(n)));
}
Value unicode(Context&, Arguments& a) {
    const std::u32string text = toCharacters(asText(a[0]));
    return text.empty() ? Value(ErrorCode::Value) : Value(double(text[0]));
}

const FunctionInfo kFunctions[] = {
    {"CONCATENATE", 1, 255, "V", 0, concatenate},
    {"CONCAT", 1, 255, "R", 0, concat},
    {"TEXTJOIN", 3, 255, "R", 0, textJoin},
    {"LEFT", 1, 2, "V", 0, left},
    {"RIGHT", 1, 2, "V", 0, right},
    {"MID", 3, 3, "V", 0, mid},
    {"LEN", 1, 1, "V", 0, len},
    {"LOWER", 1, 1, "V", 0, lower},
    {"UPPER", 1, 1, "V", 0, upper},
    {"PROPER", 1, 1, "V", 0, proper},
    {"TRIM", 1, 1, "V", 0, trim},
    {"CLEAN", 1, 1, "V", 0, clean},
    {"SUBSTITUTE", 3, 4, "V", 0, substitute},
    {"REPLACE", 4, 4, "V", 0, replace},
    {"REPT", 2, 2, "V", 0, rept},
    {"FIND", 2, 3, "V", 0, find},
    {"SEARCH", 2, 3, "V", 0, search},
    {"EXACT", 2, 2, "V", 0, exact},
    {"TEXT", 2, 2, "V", 0, text},
    {"VALUE", 1, 1, "V", 0, value},
    {"FIXED", 1, 3, "V", 0, fixed},
    {"DOLLAR", 1, 2, "V", 0, dollar},
    {"CHAR", 1, 1, "V", 0, charFn},
    {"CODE", 1, 1, "V", 0, code},
    {"UNICHAR", 1, 1, "V", 0, unichar},
    {"UNICODE", 1, 1, "V", 0, unicode},
};

}  // namespace

std::span<const FunctionInfo> textFunctions() { return kFunctions; }

}  // namespace kbx::formula
