#include "value/runtime_error.h"

#include <cerrno>
#include <cstring>

namespace kbx {

RuntimeError::RuntimeError(int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string standardErrorText(int32_t number) {
    switch (number) {
    case err::InvalidCall: return "Invalid procedure call or argument";
    case err::Overflow: return "Overflow";
    case err::OutOfMemory: return "Out of memory";
    case err::SubscriptOutOfRange: return "Subscript out of range";
    case err::DivisionByZero: return "Division by zero";
    case err::TypeMismatch: return "Type mismatch";
    case err::InternalError: return "Internal error";
    case err::BadFileNameOrNumber: return "Bad file name or number";
    case err::FileNotFound: return "File not found";
    case err::FileAlreadyOpen: return "File already open";
    case err::DiskFull: return "Disk full";
    case err::PermissionDenied: return "Permission denied";
    case err::PathFileAccessError: return "Path/File access error";
    case err::PathNotFound: return "Path not found";
    case err::ObjectNotSet: return "Object variable or With block variable not set";
    case err::InvalidUseOfNull: return "Invalid use of Null";
    case err::CannotCreateObject: return "ActiveX component can't create object";
    case err::ObjectRequired: return "Object required";
    case err::MemberNotSupported: return "Object doesn't support this property or method";
    case err::ActionNotSupported: return "Object doesn't support this action";
    case err::Application: return "Application-defined or object-defined error";
    default: return "Application-defined or object-defined error";
    }
}

void raise(int32_t number) { throw RuntimeError(number, standardErrorText(number)); }

void raise(int32_t number, const std::string& description) { throw RuntimeError(number, description); }

void raiseSpreadsheet(const std::string& description) { throw RuntimeError(err::Application, description); }

void raiseFileError(int errnoValue, const std::string& path) {
    int32_t number = err::PathFileAccessError;
    switch (errnoValue) {
    case ENOENT: number = err::FileNotFound; break;
    case ENOTDIR: number = err::PathNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS: number = err::PermissionDenied; break;
    case ENOSPC:
    case EDQUOT: number = err::DiskFull; break;
    case ENAMETOOLONG: number = err::BadFileNameOrNumber; break;
    default: break;
    }
    throw RuntimeError(number, standardErrorText(number) + ": " + path + " (" + std::strerror(errnoValue) + ")");
}

}  // namespace kbx
