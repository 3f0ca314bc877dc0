#include "formula/parser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "formula/functions.h"
#include "value/cell_reference.h"
#include "value/text_case.h"

namespace kbx::formula {

namespace {

struct Failure {
    std::string reason;
};

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '\\' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

class Parser {
public:
    Parser(std::string_view text, int32_t row, int32_t column, bool arrayFormula)
        : text_(text), row_(row), column_(column) {
        formula_.arrayFormula = arrayFormula;
    }

    Formula parse() {
        skipSpaces();
        parseExpression();
        skipSpaces();
        if (pos_ != text_.size()) throw Failure{"unexpected text at position " + std::to_string(pos_ + 1)};
        return std::move(formula_);
    }

private:
    struct Enter {
        Parser& p;
        explicit Enter(Parser& parser) : p(parser) {
            if (++p.depth_ > kMaxNesting) throw Failure{"nested more than 64 levels deep"};
        }
        ~Enter() { --p.depth_; }
    };

    char peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
    void skipSpaces() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
    }
    // Consumes spaces and the token when the token follows; nothing otherwise
    // (a space may be the intersection operator).
    bool accept(std::string_view token) {
        const size_t before = pos_;
        skipSpaces();
        if (text_.substr(pos_, token.size()) != token) {
            pos_ = before;
            return false;
        }
        pos_ += token.size();
        return true;
    }
    void expect(char c) {
        if (!accept(std::string_view(&c, 1))) throw Failure{std::string("expected '") + c + "'"};
    }

    size_t emit(Op op, int32_t index = 0, double number = 0, uint16_t count = 0) {
        Instruction in;
        in.op = op;
        in.index = index;
        in.number = number;
        in.count = count;
        in.arrayMode = formula_.arrayFormula || arrayDepth_ > 0;
        formula_.code.push_back(in);
        return formula_.code.size() - 1;
    }
    int32_t addText(std::string text) {
        formula_.texts.push_back(std::move(text));
        return int32_t(formula_.texts.size() - 1);
    }

    void parseExpression() {
        static constexpr std::pair<std::string_view, Op> kComparisons[] = {
            {"<>", Op::NotEqual}, {"<=", Op::LessEqual}, {">=", Op::GreaterEqual},
            {"<", Op::Less},      {">", Op::Greater},    {"=", Op::Equal}};
        parseConcat();
        for (;;) {
            const auto* match = std::find_if(std::begin(kComparisons), std::end(kComparisons),
                                             [&](const auto& c) { return accept(c.first); });
            if (match == std::end(kComparisons)) return;
            parseConcat();
            emit(match->second);
        }
    }
    void parseConcat() {
        parseAdditive();
        while (accept("&")) {
            parseAdditive();
            emit(Op::Concat);
        }
    }
    void parseAdditive() {
        parseMultiplicative();
        for (;;) {
            const Op op = accept("+") ? Op::Add : accept("-") ? Op::Subtract : Op::Number;
            if (op == Op::Number) return;
            parseMultiplicative();
            emit(op);
        }
    }
    void parseMultiplicative() {
        parsePower();
        for (;;) {
            const Op op = accept("*") ? Op::Multiply : accept("/") ? Op::Divide : Op::Number;
            if (op == Op::Number) return;
            parsePower();
            emit(op);
        }
    }
    void parsePower() {
        parsePercent();
        while (accept("^")) {
            parsePercent();
            emit(Op::Power);
        }
    }
    void parsePercent() {
        parseUnary();
        while (accept("%")) emit(Op::Percent);
    }
    void parseUnary() {
        if (accept("-") || (peek() == '+' && accept("+"))) {
            const bool negate = text_[pos_ - 1] == '-';
            const Enter enter(*this);
            parseUnary();
            emit(negate ? Op::Negate : Op::Plus);
            return;
        }
        parseIntersection();
    }
    // Operands joined by spaces intersect ("A1:C3 B2:D4").
    void parseIntersection() {
        parseRange();
        for (;;) {
            const size_t before = pos_;
            if (!isSpace(peek())) return;
            skipSpaces();
            const char c = peek();
            const bool operand = std::isalnum(static_cast<unsigned char>(c)) || c == '$' || c == '\'' || c == '(' || c == '_';
            if (!operand) {
                pos_ = before;
                return;
            }
            parseRange();
            emit(Op::Intersect);
        }
    }
    void parseRange() {
        parsePrimary();
        while (accept(":")) {
            parsePrimary();
            emit(Op::Range);
        }
    }

    void parsePrimary() {
        skipSpaces();
        const char c = peek();
        if (c == '(') return parseParenthesis();
        if (c == '"') return parseString();
        if (c == '{') return parseArrayConstant();
        if (c == '#') return parseErrorLiteral();
        if (c == '\'' || c == '[') return parseQualifiedReference();
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            if (tryReference(-1)) return;
            return parseNumber();
        }
        if (c == '$' || isNameChar(c)) return parseIdentifier();
        throw Failure{pos_ < text_.size() ? "unexpected character at position " + std::to_string(pos_ + 1)
                                          : std::string("formula ends early")};
    }

    void parseParenthesis() {
        const Enter enter(*this);
        ++pos_;
        parseExpression();
        while (accept(",")) {
            parseExpression();
            emit(Op::Union);
        }
        expect(')');
    }

    std::string readQuoted(char quote) {
        std::string out;
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size()) throw Failure{"unterminated quote"};
            const char c = text_[pos_++];
            if (c == quote) {
                if (peek() != quote) return out;
                ++pos_;
            }
            out += c;
        }
    }

    void parseString() {
        std::string s = readQuoted('"');
        if (s.size() > 255) throw Failure{"text constant longer than 255 characters"};
        emit(Op::Text, addText(std::move(s)));
    }

    std::optional<ErrorCode> readError() {
        for (const char* e : {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"}) {
            const size_t n = std::strlen(e);
            if (text_.size() - pos_ >= n && equalIgnoringCase(text_.substr(pos_, n), e)) {
                pos_ += n;
                return errorFromText(e);
            }
        }
        return std::nullopt;
    }

    void parseErrorLiteral() {
        const auto e = readError();
        if (!e) throw Failure{"unknown error literal"};
        emit(Op::Error, static_cast<int32_t>(*e));
    }

    double readNumber() {
        const char* start = text_.data() + pos_;
        size_t n = 0;
        while (pos_ + n < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_ + n])) || text_[pos_ + n] == '.')) ++n;
        if (pos_ + n < text_.size() && (text_[pos_ + n] == 'e' || text_[pos_ + n] == 'E')) {
            size_t m = n + 1;
            if (pos_ + m < text_.size() && (text_[pos_ + m] == '+' || text_[pos_ + m] == '-')) ++m;
            if (pos_ + m < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + m]))) {
                n = m;
                while (pos_ + n < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + n]))) ++n;
            }
        }
        const std::string digits(start, n);
        char* end = nullptr;
        const double value = std::strtod(digits.c_str(), &end);
        if (n == 0 || end != digits.c_str() + n || !std::isfinite(value)) throw Failure{"malformed number"};
        pos_ += n;
        return value;
    }

    void parseNumber() { emit(Op::Number, 0, readNumber()); }

    void parseArrayConstant() {
        ++pos_;
        std::vector<Value> cells;
        int32_t columns = 0, rows = 1, inRow = 0;
        for (;;) {
            skipSpaces();
            cells.push_back(arrayElement());
            ++inRow;
            skipSpaces();
            const char c = peek();
            ++pos_;
            if (c == ',') continue;
            if (c != ';' && c != '}') throw Failure{"malformed array constant"};
            if (columns != 0 && inRow != columns) throw Failure{"array constant rows of different lengths"};
            columns = inRow;
            inRow = 0;
            if (c == '}') break;
            ++rows;
        }
        formula_.arrays.push_back(makeArray(rows, columns, std::move(cells)));
        emit(Op::ArrayConstant, int32_t(formula_.arrays.size() - 1));
    }

    Value arrayElement() {
        const char c = peek();
        if (c == '"') return Value(readQuoted('"'));
        if (c == '#') {
            if (auto e = readError()) return *e;
            throw Failure{"unknown error literal"};
        }
        if (c == '-' || c == '+') {
            ++pos_;
            skipSpaces();
            const double n = readNumber();
            return c == '-' ? -n : n;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') return readNumber();
        for (const char* word : {"TRUE", "FALSE"}) {
            const size_t n = std::strlen(word);
            if (equalIgnoringCase(text_.substr(pos_, n), word)) {
                pos_ += n;
                return word[0] == 'T';
            }
        }
        throw Failure{"malformed array constant"};
    }

    void parseQualifiedReference() {
        if (peek() == '[') throw Failure{"external references are not computed"};
        const std::string sheet = readQuoted('\'');
        if (peek() != '!') throw Failure{"expected '!' after a sheet name"};
        ++pos_;
        if (!tryReference(sheetIndex(sheet))) throw Failure{"expected a reference after the sheet name"};
    }

    int32_t sheetIndex(const std::string& name) {
        if (name.empty() || name.find(':') != std::string::npos) throw Failure{"references across sheets are not computed"};
        if (name.front() == '[') throw Failure{"external references are not computed"};
        auto& names = formula_.sheetNames;
        for (size_t i = 0; i < names.size(); ++i) {
            if (equalIgnoringCase(names[i], name)) return int32_t(i);
        }
        names.push_back(name);
        return int32_t(names.size() - 1);
    }

    void parseIdentifier() {
        if (tryReference(-1)) return;
        const size_t start = pos_;
        if (peek() == '$') throw Failure{"malformed reference"};
        while (pos_ < text_.size() && isNameChar(text_[pos_])) ++pos_;
        const std::string word(text_.substr(start, pos_ - start));
        if (peek() == ':' && isThreeDimensional()) throw Failure{"references across sheets are not computed"};
        if (peek() == '!') {
            ++pos_;
            if (!tryReference(sheetIndex(word))) throw Failure{"expected a reference after the sheet name"};
            return;
        }
        if (peek() == '(') return parseCall(upperCase(word));
        const std::string upper = upperCase(word);
        if (upper == "TRUE" || upper == "FALSE") {
            emit(Op::Boolean, 0, upper == "TRUE" ? 1 : 0);
            return;
        }
        if (peek() == '[') throw Failure{"structured references are not computed"};
        formula_.usesNames = true;
        emit(Op::Name, addText(word));
    }

    // "Sheet1:Sheet3!A1" spans sheets.
    bool isThreeDimensional() const {
        size_t p = pos_ + 1;
        while (p < text_.size() && isNameChar(text_[p])) ++p;
        return p < text_.size() && text_[p] == '!';
    }

    struct Part {
        int32_t value = 0;
        bool absolute = false;
        bool column = false;
    };

    // Reads "$A", "A", "$12" or "12" at pos; advances only when it reads one.
    std::optional<Part> readPart(bool column) {
        size_t p = pos_;
        Part part;
        part.column = column;
        if (p < text_.size() && text_[p] == '$') {
            part.absolute = true;
            ++p;
        }
        size_t q = p;
        while (q < text_.size() && (column ? std::isalpha(static_cast<unsigned char>(text_[q]))
                                           : std::isdigit(static_cast<unsigned char>(text_[q])))) ++q;
        part.value = column ? columnOfLetters(text_.substr(p, q - p)) : rowOfDigits(text_.substr(p, q - p));
        if (part.value == 0) return std::nullopt;
        pos_ = q;
        return part;
    }

    bool endsOperand() const { return !isNameChar(peek()) && peek() != '(' && peek() != '!'; }

    Bound bound(const Part& part) const {
        const int32_t origin = part.column ? column_ : row_;
        return part.absolute ? Bound{part.value, false} : Bound{part.value - origin, true};
    }

    // A cell "B$2", an area "A1:C3", whole columns "A:C" or whole rows "1:3".
    bool tryReference(int32_t sheet) {
        const size_t start = pos_;
        if (sheet >= 0 && peek() == '#') {
            if (readError() != ErrorCode::Ref) throw Failure{"malformed reference"};
            ReferenceOperand invalid;
            invalid.invalid = true;
            return addReference(invalid);
        }
        auto column1 = readPart(true);
        auto row1 = readPart(false);
        ReferenceOperand r;
        r.sheet = sheet;
        if (column1 && row1 && endsOperand()) {
            r.row1 = r.row2 = bound(*row1);
            r.column1 = r.column2 = bound(*column1);
            const size_t afterCell = pos_;
            if (peek() == ':') {
                ++pos_;
                auto column2 = readPart(true);
                auto row2 = readPart(false);
                if (column2 && row2 && endsOperand()) {
                    r.row2 = bound(*row2);
                    r.column2 = bound(*column2);
                } else {
                    pos_ = afterCell;
                }
            }
            return addReference(r);
        }
        pos_ = start;
        return tryWholeLines(r, sheet >= 0);
    }

    bool tryWholeLines(ReferenceOperand& r, bool qualified) {
        const size_t start = pos_;
        for (const bool columns : {true, false}) {
            pos_ = start;
            auto first = readPart(columns);
            if (!first || peek() != ':') continue;
            ++pos_;
            auto second = readPart(columns);
            if (!second || !endsOperand()) continue;
            const Bound all1{1, false}, allColumns{kMaxColumns, false}, allRows{kMaxRows, false};
            r.row1 = columns ? all1 : bound(*first);
            r.row2 = columns ? allRows : bound(*second);
            r.column1 = columns ? bound(*first) : all1;
            r.column2 = columns ? bound(*second) : allColumns;
            return addReference(r);
        }
        pos_ = start;
        if (qualified) throw Failure{"expected a reference after the sheet name"};
        return false;
    }

    bool addReference(const ReferenceOperand& r) {
        formula_.references.push_back(r);
        emit(Op::Reference, int32_t(formula_.references.size() - 1));
        return true;
    }

    void parseCall(std::string name) {
        for (const char* prefix : {"_XLFN.", "_XLWS."}) {
            if (name.starts_with(prefix)) name.erase(0, std::strlen(prefix));
        }
        const FunctionInfo* info = findFunction(name);
        if (!info) throw Failure{"function " + name + " is not computed"};
        const Enter enter(*this);
        ++pos_;
        if (info->flags & kVolatile) formula_.isVolatile = true;
        if (name == "SUBTOTAL") formula_.usesSubtotal = true;
        const bool lazy = !(formula_.arrayFormula || arrayDepth_ > 0) && (name == "IF" || name == "IFERROR" || name == "IFNA");
        if (info->flags & kArrayArgs) ++arrayDepth_;
        const size_t count = lazy ? parseLazyArguments(name) : parseArguments();
        if (info->flags & kArrayArgs) --arrayDepth_;
        if (count < info->minArgs || count > info->maxArgs) throw Failure{"wrong number of arguments to " + name};
        if (!lazy) emit(Op::Call, functionIndex(*info), 0, static_cast<uint16_t>(count));
    }

    // Arguments up to the closing parenthesis; an empty one is "missing".
    size_t parseArguments(const std::function<void(size_t)>& after = nullptr) {
        skipSpaces();
        if (accept(")")) return 0;
        size_t count = 0;
        for (;;) {
            skipSpaces();
            if (peek() == ',' || peek() == ')') emit(Op::Missing);
            else parseExpression();
            if (after) after(count);
            ++count;
            if (count > 255) throw Failure{"more than 255 arguments"};
            if (accept(",")) continue;
            expect(')');
            return count;
        }
    }

    // IF, IFERROR and IFNA evaluate only the branch they return.
    size_t parseLazyArguments(const std::string& name) {
        std::vector<size_t> jumps;
        const size_t count = parseArguments([&](size_t index) {
            if (name == "IF" && index == 0) jumps.push_back(emit(Op::JumpIfFalse));
            if (name == "IF" && index == 1) jumps.push_back(emit(Op::Jump));
            if (name != "IF" && index == 0) jumps.push_back(emit(name == "IFNA" ? Op::JumpUnlessNA : Op::JumpUnlessError));
            if (jumps.size() == 2 && index == 1) formula_.code[jumps[0]].index = int32_t(formula_.code.size());
        });
        if (name == "IF" && count == 2) {
            formula_.code[jumps[0]].index = int32_t(formula_.code.size());
            emit(Op::Boolean, 0, 0);
        }
        const auto end = int32_t(formula_.code.size());
        for (const size_t jump : jumps) {
            Instruction& in = formula_.code[jump];
            if (in.op == Op::JumpIfFalse) in.number = end;
            else in.index = end;
        }
        return count;
    }

    std::string_view text_;
    int32_t row_, column_;
    size_t pos_ = 0;
    int depth_ = 0;
    int arrayDepth_ = 0;
    Formula formula_;
};

template <typename T>
void appendRaw(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

std::variant<std::shared_ptr<const Formula>, ParseFailure> parseFormula(std::string_view text, int32_t row,
                                                                         int32_t column, bool arrayFormula) {
    if (text.size() > kMaxFormulaLength) return ParseFailure{"formula longer than 8,192 characters"};
    try {
        return std::make_shared<const Formula>(Parser(text, row, column, arrayFormula).parse());
    } catch (const Failure& failure) {
        return ParseFailure{failure.reason};
    }
}

std::string formulaKey(const Formula& f) {
    std::string key;
    appendRaw(key, f.arrayFormula);
    for (const Instruction& in : f.code) {
        appendRaw(key, in.op);
        appendRaw(key, in.arrayMode);
        appendRaw(key, in.count);
        appendRaw(key, in.index);
        appendRaw(key, in.number);
    }
    for (const ReferenceOperand& r : f.references) {
        for (const Bound& b : {r.row1, r.column1, r.row2, r.column2}) {
            appendRaw(key, b.position);
            appendRaw(key, b.relative);
        }
        appendRaw(key, r.sheet);
        appendRaw(key, r.invalid);
    }
    for (const auto& list : {&f.texts, &f.sheetNames}) {
        appendRaw(key, list->size());
        for (const std::string& t : *list) {
            appendRaw(key, t.size());
            key += t;
        }
    }
    for (const auto& array : f.arrays) {
        key += '{';
        appendRaw(key, array->columns);
        for (const Value& v : array->cells) {
            const CellView item = viewOf(v);
            appendRaw(key, item.kind);
            appendRaw(key, item.number);
            appendRaw(key, item.error);
            appendRaw(key, item.text.size());
            key += item.text;
        }
    }
    return key;
}

}  // namespace kbx::formula
