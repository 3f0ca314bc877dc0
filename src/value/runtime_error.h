#pragma once
// The run-time error: the one failure type of the core. It carries the error
// number and text that a host sees when a call fails.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kbx {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int32_t number, std::string description);

    int32_t number() const { return number_; }
    const std::string& description() const { return description_; }

private:
    int32_t number_;
    std::string description_;
};

// Error numbers used by the system and their standard texts.
namespace err {
inline constexpr int32_t InvalidCall = 5;
inline constexpr int32_t Overflow = 6;
inline constexpr int32_t OutOfMemory = 7;
inline constexpr int32_t SubscriptOutOfRange = 9;
inline constexpr int32_t DivisionByZero = 11;
inline constexpr int32_t TypeMismatch = 13;
inline constexpr int32_t InternalError = 51;
inline constexpr int32_t BadFileNameOrNumber = 52;
inline constexpr int32_t FileNotFound = 53;
inline constexpr int32_t FileAlreadyOpen = 55;
inline constexpr int32_t DiskFull = 61;
inline constexpr int32_t PermissionDenied = 70;
inline constexpr int32_t PathFileAccessError = 75;
inline constexpr int32_t PathNotFound = 76;
inline constexpr int32_t ObjectNotSet = 91;
inline constexpr int32_t InvalidUseOfNull = 94;
inline constexpr int32_t CannotCreateObject = 429;
inline constexpr int32_t ObjectRequired = 424;
inline constexpr int32_t MemberNotSupported = 438;
inline constexpr int32_t ActionNotSupported = 445;
inline constexpr int32_t Application = 1004;
}  // namespace err

// The standard text of an error number ("Type mismatch" for 13, ...).
std::string standardErrorText(int32_t number);

// Throws the run-time error `number` with its standard text.
[[noreturn]] void raise(int32_t number);
// Throws the run-time error `number` with the given text.
[[noreturn]] void raise(int32_t number, const std::string& description);
// Throws error 1004, the spreadsheet's refusal, with the given text.
[[noreturn]] void raiseSpreadsheet(const std::string& description);
// Throws the file error that matches an errno value (53, 70, 75, 76, 61).
[[noreturn]] void raiseFileError(int errnoValue, const std::string& path);

}  // namespace kbx
