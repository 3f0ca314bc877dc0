#include "value/number_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string_view>
#include <vector>

#include "value/civil_date.h"
#include "value/variant.h"

namespace kbx {

namespace {

struct BuiltinFormat {
    int id;
    const char* code;
};

constexpr std::array<BuiltinFormat, 28> kBuiltinFormats = {{
    {0, "General"},          {1, "0"},
    {2, "0.00"},             {3, "#,##0"},
    {4, "#,##0.00"},         {9, "0%"},
    {10, "0.00%"},           {11, "0.00E+00"},
    {12, "# ?/?"},           {13, "# ?\?/??"},
    {14, "m/d/yyyy"},        {15, "d-mmm-yy"},
    {16, "d-mmm"},           {17, "mmm-yy"},
    {18, "h:mm AM/PM"},      {19, "h:mm:ss AM/PM"},
    {20, "h:mm"},            {21, "h:mm:ss"},
    {22, "m/d/yyyy h:mm"},   {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"}, {39, "#,##0.00;(#,##0.00)"},
    {40, "#,##0.00;[Red](#,##0.00)"}, {45, "mm:ss"},
    {46, "[h]:mm:ss"},       {47, "mmss.0"},
    {48, "##0.0E+0"},        {49, "@"},
}};

constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

// Splits a code into sections at ";" outside quotes and brackets.
std::vector<std::string> splitSections(const std::string& code) {
    std::vector<std::string> sections(1);
    bool quoted = false;
    bool bracket = false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '\\' && !quoted && i + 1 < code.size()) {
            sections.back() += code.substr(i, 2);
            ++i;
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '[') bracket = true;
        if (!quoted && c == ']') bracket = false;
        if (c == ';' && !quoted && !bracket) {
            sections.emplace_back();
        } else {
            sections.back() += c;
        }
    }
    return sections;
}

// A format code cut into literal text and the characters that carry meaning.
struct Token {
    enum Kind { Literal, Symbol, Bracket } kind;
    std::string text;
};

std::vector<Token> tokenize(const std::string& section) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        if (c == '"') {
            const size_t end = section.find('"', i + 1);
            const size_t stop = end == std::string::npos ? section.size() : end;
            tokens.push_back({Token::Literal, section.substr(i + 1, stop - i - 1)});
            i = stop;
        } else if (c == '\\' && i + 1 < section.size()) {
            tokens.push_back({Token::Literal, section.substr(i + 1, 1)});
            ++i;
        } else if (c == '_' && i + 1 < section.size()) {
            tokens.push_back({Token::Literal, " "});
            ++i;
        } else if (c == '*' && i + 1 < section.size()) {
            ++i;
        } else if (c == '[') {
            const size_t end = section.find(']', i);
            const size_t stop = end == std::string::npos ? section.size() : end;
            tokens.push_back({Token::Bracket, section.substr(i + 1, stop - i - 1)});
            i = stop;
        } else if (std::string_view("$-+/():!^&'~{}<>=  ").find(c) != std::string_view::npos) {
            tokens.push_back({Token::Literal, std::string(1, c)});
        } else {
            tokens.push_back({Token::Symbol, std::string(1, c)});
        }
    }
    return tokens;
}

bool isDateSymbol(char c) {
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's';
}

bool sectionIsDate(const std::vector<Token>& tokens) {
    for (const Token& t : tokens) {
        if (t.kind == Token::Symbol && isDateSymbol(t.text[0])) return true;
        if (t.kind == Token::Bracket && !t.text.empty() && isDateSymbol(t.text[0])) {
            const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(t.text[0])));
            if (l == 'h' || l == 'm' || l == 's') return true;
        }
    }
    return false;
}

// The text of a bracket that shows up in the output ([$€-407] shows "€").
std::string bracketText(const std::string& bracket) {
    if (bracket.size() > 1 && bracket[0] == '$') {
        const size_t dash = bracket.find('-');
        return bracket.substr(1, (dash == std::string::npos ? bracket.size() : dash) - 1);
    }
    return {};
}

std::string twoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

std::string lowered(const std::string& text) {
    std::string out;
    for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// One piece of a date code: a run of the same letter ("yyyy", "mm") with its
// length, or literal text (letter 0). Elapsed-time brackets ([h], [mm], [ss])
// are the capital letters H, M and S; "AM/PM" and "A/P" are 'p' of length 5
// and 3; "n" stands for minutes once known.
struct DatePart {
    char letter;
    size_t count;
    std::string literal;
};

// The number of tokens an "AM/PM" (5) or "A/P" (3) starting at `i` takes, or 0.
size_t amPmLength(const std::vector<Token>& tokens, size_t i) {
    if (i + 4 >= tokens.size() + 1) return 0;
    std::string upper;
    for (size_t k = i; k < tokens.size() && k < i + 5; ++k)
        for (char ch : tokens[k].text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper.rfind("AM/PM", 0) == 0) return 5;
    if (upper.rfind("A/P", 0) == 0) return 3;
    return 0;
}

// The code's tokens grouped into date parts; `ampm` tells whether it shows AM/PM.
std::vector<DatePart> datePartsOf(const std::vector<Token>& tokens, bool& ampm) {
    std::vector<DatePart> parts;
    ampm = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Literal) {
            parts.push_back({0, 0, t.text});
        } else if (t.kind == Token::Bracket) {
            const std::string bracket = lowered(t.text);
            if (!bracket.empty() && (bracket[0] == 'h' || bracket[0] == 'm' || bracket[0] == 's'))
                parts.push_back({static_cast<char>(std::toupper(bracket[0])), bracket.size(), ""});
            else
                parts.push_back({0, 0, bracketText(t.text)});
        } else if (const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(t.text[0])));
                   l == 'a' && amPmLength(tokens, i) > 0) {
            const size_t length = amPmLength(tokens, i);
            parts.push_back({'p', length, ""});
            ampm = true;
            i += length - 1;
        } else if (isDateSymbol(l) || l == '0' || l == '.') {
            if (!parts.empty() && parts.back().letter == l && l != '.')
                ++parts.back().count;
            else
                parts.push_back({l, 1, ""});
        } else {
            parts.push_back({0, 0, t.text});
        }
    }
    return parts;
}

// "m" right after an hour or right before a second means minutes: it becomes "n".
void markMinutes(std::vector<DatePart>& parts) {
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].letter != 'm' || parts[i].count > 2) continue;
        bool minute = false;
        for (size_t k = i; k-- > 0;) {
            if (parts[k].letter == 0) continue;
            minute = parts[k].letter == 'h' || parts[k].letter == 'H';
            break;
        }
        for (size_t k = i + 1; k < parts.size() && !minute; ++k) {
            if (parts[k].letter == 0) continue;
            minute = parts[k].letter == 's';
            break;
        }
        if (minute) parts[i].letter = 'n';
    }
}

// The decimals of the seconds the code shows (".0", ".00" after the seconds).
int secondDecimalsOf(const std::vector<DatePart>& parts) {
    int decimals = 0;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].letter == '.' && parts[i + 1].letter == '0') decimals = static_cast<int>(parts[i + 1].count);
    }
    return decimals;
}

// What a date is shown from: its calendar parts and the serial they were
// taken from, rounded to the decimals of the seconds shown.
struct ShownDate {
    DateParts parts;
    double value;     // the serial as given
    double rounding;  // half of the last second's digit shown, in seconds
    bool ampm;
};

std::string monthText(int month, size_t count) {
    if (count == 1) return std::to_string(month);
    if (count == 2) return twoDigits(month);
    const std::string name = kMonths[static_cast<size_t>(month - 1)];
    if (count == 3) return name.substr(0, 3);
    if (count == 5) return name.substr(0, 1);
    return name;
}

std::string dayText(const DateParts& d, size_t count) {
    if (count == 1) return std::to_string(d.day);
    if (count == 2) return twoDigits(d.day);
    const std::string name = kDays[static_cast<size_t>(d.weekday)];
    return count == 3 ? name.substr(0, 3) : name;
}

// The text of one date part other than the decimal point.
std::string datePartText(const DatePart& p, const ShownDate& shown) {
    const DateParts& d = shown.parts;
    const auto number = [&](int value) { return p.count == 1 ? std::to_string(value) : twoDigits(value); };
    const auto elapsed = [&](double units) {
        return std::to_string(static_cast<long long>(std::floor((shown.value + shown.rounding / 86400.0) * units)));
    };
    switch (p.letter) {
        case 0: return p.literal;
        case 'y': return p.count <= 2 ? twoDigits(d.year % 100) : std::to_string(d.year);
        case 'm': return monthText(d.month, p.count);
        case 'd': return dayText(d, p.count);
        case 'h': return number(shown.ampm ? (d.hour % 12 == 0 ? 12 : d.hour % 12) : d.hour);
        case 'n': return number(d.minute);
        case 's': return number(d.second);
        case 'H': return elapsed(24.0);
        case 'M': return elapsed(1440.0);
        case 'S':
            return std::to_string(static_cast<long long>(std::floor(shown.value * 86400.0 + shown.rounding)));
        case 'p':
            if (p.count == 5) return d.hour < 12 ? "AM" : "PM";
            return d.hour < 12 ? "A" : "P";
        default: return std::string(p.count, p.letter);
    }
}

// The fraction of a second with `digits` digits after the point, cut off.
std::string secondFraction(const DateParts& d, int digits) {
    const double scaled = std::floor(d.fractionOfSecond * std::pow(10.0, digits));
    char buf[32];
    std::snprintf(buf, sizeof buf, ".%0*lld", digits, static_cast<long long>(scaled));
    return buf;
}

// Whether a serial lies on the calendar a date format shows: 0 up to 31 December 9999.
bool isShownDate(double serial, bool date1904) {
    return serial >= 0 && isValidDateSerial(date1904 ? serial + 1462 : serial);
}

// A date out of the calendar shows as a cell full of '#', as the spreadsheet program shows it.
std::string formatDate(double value, const std::vector<Token>& tokens, bool date1904) {
    ShownDate shown{};
    std::vector<DatePart> parts = datePartsOf(tokens, shown.ampm);
    markMinutes(parts);
    const int secondDecimals = secondDecimalsOf(parts);
    shown.value = value;
    shown.rounding = secondDecimals > 0 ? 0.5 * std::pow(10.0, -secondDecimals) : 0.5;
    const double serial = value + shown.rounding / 86400.0;
    if (value < 0 || !isShownDate(serial, date1904)) return std::string(11, '#');
    shown.parts = dateFromSerial(serial, date1904);
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].letter != '.') {
            out += datePartText(parts[i], shown);
        } else if (i + 1 < parts.size() && parts[i + 1].letter == '0') {
            out += secondFraction(shown.parts, static_cast<int>(parts[i + 1].count));
            ++i;
        } else {
            out += '.';
        }
    }
    return out;
}

// Fixed-point text of a number with `decimals` decimals, rounded half away
// from zero on its 15 significant digits, the way spreadsheets display
// numbers (0.125 shows as 0.13, 1.005 as 1.01).
std::string fixedHalfAwayFromZero(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string significant(1, buf[0]);
    significant.append(buf + 2, 14);
    const int integerDigits = std::atoi(std::strchr(buf, 'e') + 1) + 1;
    const int keep = integerDigits + decimals;
    std::string scaled;  // value * 10^decimals as whole digits
    bool roundUp = false;
    if (keep >= 0) {
        scaled = significant.substr(0, static_cast<size_t>(std::min(keep, 15)));
        if (keep > 15) scaled.append(static_cast<size_t>(keep - 15), '0');
        roundUp = keep < 15 && significant[static_cast<size_t>(keep)] >= '5';
    }
    if (roundUp) {
        int i = static_cast<int>(scaled.size()) - 1;
        for (; i >= 0 && scaled[static_cast<size_t>(i)] == '9'; --i) scaled[static_cast<size_t>(i)] = '0';
        if (i >= 0)
            ++scaled[static_cast<size_t>(i)];
        else
            scaled.insert(0, "1");
    }
    if (scaled.size() <= static_cast<size_t>(decimals))
        scaled.insert(0, static_cast<size_t>(decimals) + 1 - scaled.size(), '0');
    std::string integerPart = scaled.substr(0, scaled.size() - static_cast<size_t>(decimals));
    const std::string fraction = scaled.substr(integerPart.size());
    const size_t firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? "0" : integerPart.substr(firstNonZero);
    const bool isZero = scaled.find_first_not_of('0') == std::string::npos;
    const std::string sign = value < 0 && !isZero ? "-" : "";
    return sign + integerPart + (decimals > 0 ? "." + fraction : "");
}

// What a numeric section asks for: digits, decimals, grouping, percent and
// scientific notation.
struct DecimalLayout {
    int integerZeros = 0;
    int decimals = 0;
    int percents = 0;
    bool grouping = false;
    int trailingCommas = 0;   // each divides by 1,000
    int exponentDigits = -1;  // -1 without an exponent
};

DecimalLayout decimalLayoutOf(const std::vector<Token>& tokens) {
    DecimalLayout layout;
    bool seenDigit = false;
    bool afterPoint = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind != Token::Symbol) continue;
        const char c = t.text[0];
        if (layout.exponentDigits >= 0) {
            if (c == '0' || c == '#') ++layout.exponentDigits;
            continue;
        }
        if (c == '0' || c == '#' || c == '?') {
            if (afterPoint) {
                ++layout.decimals;
            } else if (c == '0') {
                ++layout.integerZeros;
            }
            if (layout.trailingCommas > 0 && !afterPoint) layout.grouping = true;
            layout.trailingCommas = 0;
            seenDigit = true;
        } else if (c == '.') {
            afterPoint = true;
        } else if (c == ',' && seenDigit) {
            ++layout.trailingCommas;
        } else if (c == '%') {
            ++layout.percents;
        } else if ((c == 'E' || c == 'e') && i + 1 < tokens.size() && tokens[i + 1].kind == Token::Literal &&
                   (tokens[i + 1].text == "+" || tokens[i + 1].text == "-")) {
            layout.exponentDigits = 0;
        }
    }
    layout.decimals = std::min(layout.decimals, 30);
    layout.exponentDigits = std::min(layout.exponentDigits, 5);
    return layout;
}

// The number's digits as the layout shows them, without the literal text around them.
std::string decimalDigits(double value, const DecimalLayout& layout) {
    const int decimals = layout.decimals;
    const double number = value * std::pow(100.0, layout.percents) / std::pow(1000.0, layout.trailingCommas);
    char buf[512];
    if (layout.exponentDigits >= 0) {
        std::snprintf(buf, sizeof buf, "%.*E", decimals, number);
        const std::string text = buf;
        const size_t e = text.find('E');
        const std::string mantissa = text.substr(0, e);
        const int exponent = std::stoi(text.substr(e + 1));
        std::snprintf(buf, sizeof buf, "E%c%0*d", exponent < 0 ? '-' : '+', std::clamp(layout.exponentDigits, 1, 5),
                      std::abs(exponent) % 1000);
        return mantissa + buf;
    }
    const std::string digits = fixedHalfAwayFromZero(number, decimals);
    std::string integerPart = digits.substr(0, digits.find('.'));
    const std::string fraction = decimals > 0 ? digits.substr(digits.find('.')) : std::string();
    if (integerPart == "0" && layout.integerZeros == 0) integerPart.clear();
    while (static_cast<int>(integerPart.size()) < layout.integerZeros) integerPart.insert(0, "0");
    if (layout.grouping) {
        for (int pos = static_cast<int>(integerPart.size()) - 3; pos > 0; pos -= 3) integerPart.insert(pos, ",");
    }
    return integerPart + fraction;
}

// Lays a number out under a numeric section: the digits where the first
// digit placeholder stands, the literal text around them.
std::string formatDecimal(double value, const std::vector<Token>& tokens) {
    const std::string digits = decimalDigits(value, decimalLayoutOf(tokens));
    std::string out;
    bool numberWritten = false;
    bool inExponent = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Literal) {
            if (inExponent && (t.text == "+" || t.text == "-")) continue;
            out += t.text;
        } else if (t.kind == Token::Bracket) {
            out += bracketText(t.text);
        } else {
            const char c = t.text[0];
            if (c == '0' || c == '#' || c == '?' || c == '.' || c == ',') {
                if (!numberWritten) {
                    out += digits;
                    numberWritten = true;
                }
            } else if (c == 'E' || c == 'e') {
                inExponent = true;
            } else if (c == '%') {
                out += '%';
            } else if (!inExponent) {
                out += t.text;
            }
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> builtinNumberFormat(int id) {
    for (const BuiltinFormat& f : kBuiltinFormats) {
        if (f.id == id) return std::string(f.code);
    }
    return std::nullopt;
}

int builtinNumberFormatId(const std::string& code) {
    for (const BuiltinFormat& f : kBuiltinFormats) {
        if (code == f.code) return f.id;
    }
    return -1;
}

bool isDateFormat(const std::string& code) {
    if (code.empty() || code == "General" || code == "@") return false;
    return sectionIsDate(tokenize(splitSections(code)[0]));
}

DateParts dateFromSerial(double serial, bool date1904) {
    DateParts d;
    // The Date range of a Variant; a spreadsheet's calendar has no days before its serial 0.
    if (!isShownDate(serial, date1904)) return d;
    double days = std::floor(serial);
    double seconds = (serial - days) * 86400.0;
    if (date1904) days += 1462;
    // Serial 60 is the 29 February 1900 the 1900 system counts; earlier days are one off.
    int64_t dayNumber = static_cast<int64_t>(days);
    if (!date1904 && dayNumber < 61) dayNumber += 1;
    const CivilDate civil = civilDateOfDay(dayNumber);
    d.year = civil.year;
    d.month = civil.month;
    d.day = civil.day;
    d.weekday = civil.weekday;
    if (!date1904 && static_cast<int64_t>(days) == 60) {
        d.year = 1900;
        d.month = 2;
        d.day = 29;
    }
    const double whole = std::floor(seconds);
    d.fractionOfSecond = seconds - whole;
    const int total = static_cast<int>(whole);
    d.hour = total / 3600;
    d.minute = total / 60 % 60;
    d.second = total % 60;
    return d;
}

std::string formatGeneral(double value) {
    if (!std::isfinite(value)) return "#NUM!";
    if (value == 0) return "0";
    const double magnitude = std::fabs(value);
    char buf[64];
    if (magnitude >= 1e11 || magnitude < 1e-9) {
        std::snprintf(buf, sizeof buf, "%.5E", value);
        std::string text = buf;
        const size_t e = text.find('E');
        std::string mantissa = text.substr(0, e);
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
        const int exponent = std::stoi(text.substr(e + 1));
        std::snprintf(buf, sizeof buf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return mantissa + buf;
    }
    const int integerDigits = magnitude < 1 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    const int decimals = std::max(0, 10 - integerDigits);
    std::string text = fixedHalfAwayFromZero(value, decimals);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

std::string formatNumber(double value, const std::string& code, bool date1904) {
    if (code.empty() || code == "General") return formatGeneral(value);
    const std::vector<std::string> sections = splitSections(code);
    size_t index = 0;
    bool dropSign = false;
    if (value < 0 && sections.size() >= 2) {
        index = 1;
        dropSign = true;
    } else if (value == 0 && sections.size() >= 3) {
        index = 2;
    }
    double shown = dropSign ? -value : value;
    const std::vector<Token> tokens = tokenize(sections[index]);
    if (sectionIsDate(tokens)) return formatDate(value, tokens, date1904);
    bool hasDigits = false;
    bool general = false;
    for (const Token& t : tokens) {
        if (t.kind != Token::Symbol) continue;
        if (t.text == "0" || t.text == "#" || t.text == "?") hasDigits = true;
        if (t.text == "G" || t.text == "g") general = true;
    }
    std::string sign;
    if (shown < 0) {
        sign = "-";
        shown = -shown;
    }
    if (!hasDigits) {
        std::string out;
        for (const Token& t : tokens) {
            if (t.kind == Token::Literal) out += t.text;
            else if (t.kind == Token::Bracket) out += bracketText(t.text);
            else if (t.text == "@" || general) {
                out += formatGeneral(shown);
                general = false;
            }
        }
        return sign + out;
    }
    std::string text = formatDecimal(shown, tokens);
    // A value that rounds to zero shows no minus sign.
    bool allZero = true;
    for (char c : text) {
        if (c >= '1' && c <= '9') allZero = false;
    }
    return (allZero ? "" : sign) + text;
}

}  // namespace kbx
