#pragma once
// Text that may hold any bytes in a QString and back. File names on Linux
// need not be UTF-8; Qt's own conversions would replace such bytes. Valid
// UTF-8 becomes its characters and every other byte b the lone surrogate
// U+DC00 + b (the "surrogate escape" convention), which Qt's JSON writes as
// "\udcXX" and reads back the same way, so names pass through byte for byte.

#include <QString>
#include <string>
#include <string_view>

namespace kbx::cli {

QString textFromBytes(std::string_view bytes);
std::string bytesFromText(const QString& text);

}  // namespace kbx::cli
