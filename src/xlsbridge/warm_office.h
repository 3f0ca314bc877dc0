#pragma once
// The warm office: one LibreOffice, started headless and invisible on the
// first conversion and kept, driven through UNO by this program's helper
// (uno_helper.h). Programs of this user that share the cache folder share it
// (office_home.h): a program uses the office another one started while that
// one runs, and otherwise starts its own. One conversion runs at a time; the
// others wait their turn.
//
// An office that has gone (also while it starts) is started again and the
// conversion tried once more; one that does not finish a conversion within
// the time limit is killed and the conversion fails. Either way its pipe,
// profile lock and temporary files are removed. The program that started the office ends it
// when it ends (or, once endOfficeWhenIdle was called, after that long
// without a conversion); should the program die, its helper ends the office.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace kbx::xlsbridge {

struct Conversion {
    std::filesystem::path input;
    std::optional<std::string> inputFilter;  // detected when empty
    std::filesystem::path output;
    std::string outputFilter;
    std::string userFile;  // the file errors name
    std::string what;      // what it becomes, for errors: "an .xlsx workbook"
};

// Runs one conversion; the result is at `output`. Raises 1004 naming the
// user's file and the converter when the office refuses the file, cannot be
// started, ends twice or overruns the time limit.
void convertWithOffice(const Conversion& conversion, const std::filesystem::path& program);

// From now on the office this program started is ended after `idle` without
// a conversion (by any program).
void endOfficeWhenIdle(std::chrono::seconds idle);

}  // namespace kbx::xlsbridge
