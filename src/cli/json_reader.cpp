#include "cli/json_reader.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "value/utf8.h"
#include "value/variant_tag.h"

namespace kbx::cli {

namespace {

constexpr int kMaxNesting = 32;     // deeper arrays are a Type mismatch
constexpr int kMaxSyntaxDepth = 1024;  // deeper documents are not read at all

enum class Kind { Other, String, Number, Object };

struct Parsed {
    Variant value;
    Kind kind = Kind::Other;
    double number = 0;
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::map<std::string, JsonParameter> object() {
        skipSpace();
        if (peek() != '{') fail("the document is not an object");
        ++at_;
        std::map<std::string, JsonParameter> members;
        readMembers([&](std::string name) {
            pending_.reset();
            Parsed parsed = value(0, 1);
            JsonParameter& member = members[std::move(name)];
            member.value = std::move(parsed.value);
            member.error = std::move(pending_);
            pending_.reset();
        });
        skipSpace();
        if (at_ != text_.size()) fail("garbage at the end of the document");
        return members;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw JsonSyntaxError(what + " (at offset " + std::to_string(at_) + ")");
    }
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    // The members of an object whose '{' was read, up to its '}': `readValue`
    // gets each name and reads the value after it.
    template <typename ReadValue>
    void readMembers(ReadValue readValue) {
        skipSpace();
        if (peek() == '}') {
            ++at_;
            return;
        }
        for (;;) {
            skipSpace();
            std::string name = string();
            skipSpace();
            expect(':');
            readValue(std::move(name));
            skipSpace();
            if (peek() != ',') break;
            ++at_;
        }
        expect('}');
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("'") + c + "' expected");
        ++at_;
    }
    void skipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    void defer(int32_t number, const std::string& description) {
        if (!pending_) pending_.emplace(number, description);
    }

    // A value at `depth` (the parameter itself is at 0); `syntaxDepth` counts every level.
    Parsed value(int depth, int syntaxDepth) {
        if (syntaxDepth > kMaxSyntaxDepth) fail("the document is nested too deeply");
        if (depth > kMaxNesting) defer(err::TypeMismatch, "Type mismatch: arrays nested too deeply");
        skipSpace();
        Parsed parsed;
        switch (peek()) {
            case '"':
                parsed.value = Variant(string());
                parsed.kind = Kind::String;
                return parsed;
            case '[': parsed.value = array(depth, syntaxDepth); return parsed;
            case '{':
                parsed.value = tagged(syntaxDepth);
                parsed.kind = Kind::Object;
                return parsed;
            case 't': word("true"); parsed.value = Variant(true); return parsed;
            case 'f': word("false"); parsed.value = Variant(false); return parsed;
            case 'n': word("null"); parsed.value = Variant::null(); return parsed;
            default:
                parsed.number = number();
                parsed.value = variantFromJsonNumber(parsed.number);
                parsed.kind = Kind::Number;
                return parsed;
        }
    }

    void word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w) fail("illegal value");
        at_ += w.size();
    }

    double number() {
        const size_t start = at_;
        if (peek() == '-') ++at_;
        const auto digits = [&] {
            const size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ - from;
        };
        const size_t integer = digits();
        if (integer == 0 || (integer > 1 && text_[at_ - integer] == '0')) fail("illegal number");
        if (peek() == '.') {
            ++at_;
            if (digits() == 0) fail("illegal number");
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            if (digits() == 0) fail("illegal number");
        }
        double result = 0;
        const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + at_, result);
        if (ec == std::errc::result_out_of_range) {
            result = text_[start] == '-' ? -HUGE_VAL : HUGE_VAL;
        } else if (ec != std::errc() || end != text_.data() + at_) {
            fail("illegal number");
        }
        return result;
    }

    uint32_t hex4() {
        if (at_ + 4 > text_.size()) fail("illegal escape sequence");
        uint32_t code = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = text_[at_++];
            code <<= 4;
            if (h >= '0' && h <= '9') code |= static_cast<uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f') code |= static_cast<uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') code |= static_cast<uint32_t>(h - 'A' + 10);
            else fail("illegal escape sequence");
        }
        return code;
    }

    std::string string() {
        expect('"');
        std::string out;
        size_t run = at_;  // start of the bytes not copied yet
        for (;;) {
            if (at_ >= text_.size()) fail("unterminated string");
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                out.append(text_.substr(run, at_ - run));
                ++at_;
                return out;
            }
            if (c < 0x20) fail("control character in a string");
            if (c >= 0x80) {
                const std::optional<Utf8Char> decoded = decodeUtf8(text_, at_);
                if (!decoded) fail("illegal UTF-8 sequence");
                at_ += decoded->length;
                continue;
            }
            if (c != '\\') {
                ++at_;
                continue;
            }
            out.append(text_.substr(run, at_ - run));
            ++at_;
            const char e = peek();
            ++at_;
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    uint32_t code = hex4();
                    if (code >= 0xD800 && code <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
                        const size_t mark = at_;
                        at_ += 2;
                        const uint32_t low = hex4();
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            at_ = mark;
                        }
                    }
                    // A lone surrogate has no UTF-8 form: the replacement character stands in.
                    appendUtf8(out, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code);
                    break;
                }
                default: fail("illegal escape sequence");
            }
            run = at_;
        }
    }

    // Elements of the array starting at at_, counted without decoding them.
    size_t countElements() const {
        size_t count = 0;
        int depth = 0;
        bool any = false;
        for (size_t i = at_ + 1; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '"') {
                for (++i; i < text_.size() && text_[i] != '"'; ++i)
                    if (text_[i] == '\\') ++i;
                any = true;
            } else if (c == '[' || c == '{') {
                ++depth;
                any = true;
            } else if (c == ']' || c == '}') {
                if (depth-- == 0) break;
            } else if (c == ',' && depth == 0) {
                ++count;
            } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
                any = true;
            }
        }
        return any ? count + 1 : 0;
    }

    Variant array(int depth, int syntaxDepth) {
        std::vector<Variant> elements;
        elements.reserve(countElements());
        ++at_;
        skipSpace();
        if (peek() == ']') {
            ++at_;
            return Variant::array(std::move(elements));
        }
        for (;;) {
            elements.push_back(value(depth + 1, syntaxDepth + 1).value);
            skipSpace();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect(']');
            return Variant::array(std::move(elements));
        }
    }

    // {"$type": "Empty"}, {"$type": "Null"}, {"$type": "Date", "value": serial},
    // {"$type": "Currency", "value": amount}; any other object is a Type mismatch.
    Variant tagged(int syntaxDepth) {
        ++at_;
        std::map<std::string, Parsed> members;
        readMembers([&](std::string name) {
            // What the members hold matters only through $type and value.
            const std::optional<RuntimeError> outer = std::move(pending_);
            pending_.reset();
            members[std::move(name)] = value(0, syntaxDepth + 1);
            pending_ = outer;
        });
        const auto member = [&](const char* name) -> const Parsed* {
            const auto it = members.find(name);
            return it == members.end() ? nullptr : &it->second;
        };
        const Parsed* typeMember = member("$type");
        const std::string type = typeMember != nullptr && typeMember->kind == Kind::String
                                     ? typeMember->value.asString()
                                     : std::string();
        const Parsed* payload = member("value");
        try {
            return variantFromJsonTag(type, members.size(),
                                      payload != nullptr && payload->kind == Kind::Number
                                          ? std::optional<double>(payload->number)
                                          : std::nullopt);
        } catch (const RuntimeError& error) {
            defer(error.number(), error.description());
            return Variant();
        }
    }

    std::string_view text_;
    size_t at_ = 0;
    std::optional<RuntimeError> pending_;
};

}  // namespace

std::map<std::string, JsonParameter> parametersFromJson(std::string_view text) { return Reader(text).object(); }

Variant variantFromJsonNumber(double number) {
    if (std::floor(number) == number && number >= std::numeric_limits<int32_t>::min() &&
        number <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(number));
    return Variant(number);
}

Variant variantFromJsonTag(const std::string& type, size_t memberCount, std::optional<double> value) {
    const TagPayload payload = memberCount == 1 ? TagPayload::none()
                               : value          ? TagPayload::number(*value)
                                                : TagPayload::other();
    if (std::optional<Variant> tagged = variantFromTag(type, payload, CurrencyForm::Amount)) return std::move(*tagged);
    raise(err::TypeMismatch, "Type mismatch: a JSON object is not a Variant unless it is a {\"$type\": ...} tag");
}

}  // namespace kbx::cli
