// The run-time errors of the components: a number and its text, as callers see them
// (the "Fehler N: text" body of the store, error 9 of the header list, error 5 and 91 of
// the client class).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pelorin {

namespace errors {
constexpr int kInvalidProcedureCall = 5;
constexpr int kOverflow = 6;
constexpr int kOutOfMemory = 7;
constexpr int kSubscriptOutOfRange = 9;
constexpr int kTypeMismatch = 13;
constexpr int kDivisionByZero = 11;
constexpr int kBadFileNameOrNumber = 52;
constexpr int kFileNotFound = 53;
constexpr int kDeviceIoError = 57;
constexpr int kFileAlreadyExists = 58;
constexpr int kDiskFull = 61;
constexpr int kTooManyFiles = 67;
constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccessError = 75;
constexpr int kPathNotFound = 76;
constexpr int kObjectVariableNotSet = 91;
constexpr int kKeyAlreadyAssociated = 457;
}  // namespace errors

// The text of a run-time error number ("Subscript out of range"); a general text for
// numbers without one of their own.
std::string_view RuntimeErrorText(int number);

class RuntimeError : public std::runtime_error {
  public:
    explicit RuntimeError(int number);
    RuntimeError(int number, const std::string& description);
    int number() const { return number_; }

  private:
    int number_;
};

}  // namespace pelorin
