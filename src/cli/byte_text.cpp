#include "cli/byte_text.h"

#include "value/utf8.h"

namespace kbx::cli {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

}  // namespace

QString textFromBytes(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    size_t runStart = 0, i = 0;
    const auto flushRun = [&] {
        text += QString::fromUtf8(bytes.data() + runStart, static_cast<qsizetype>(i - runStart));
    };
    while (i < bytes.size()) {
        if (const std::optional<Utf8Char> c = decodeUtf8(bytes, i)) {
            i += c->length;
            continue;
        }
        flushRun();
        text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
        runStart = ++i;
    }
    flushRun();
    return text;
}

std::string bytesFromText(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, text[++i].unicode()));
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes += static_cast<char>(unit - kEscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, 0xFFFD);  // a lone surrogate names no character
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

}  // namespace kbx::cli
