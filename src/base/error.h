#pragma once

#include <stdexcept>
#include <string>

namespace quorlin {

// Failure numbers, after the run-time error numbers that the failure report has
// always shown, so that a report reads the same whichever front end shows it.
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrOutOfMemory = 7;
inline constexpr int kErrSubscriptOutOfRange = 9;
inline constexpr int kErrBadFileName = 52;
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrDiskFull = 61;
inline constexpr int kErrInputPastEnd = 62;
inline constexpr int kErrPermissionDenied = 70;
inline constexpr int kErrPathFileAccess = 75;
inline constexpr int kErrPathNotFound = 76;
inline constexpr int kErrDeviceIO = 57;
inline constexpr int kErrBadRecord = 63;
inline constexpr int kErrBadFileFormat = 321;  // a picture or a file of ours that cannot be read as what it claims to be

// The one error that crosses the program's module boundaries: a number and a
// description (naming the file). Commands catch it at their edge and turn it into
// the system's message: the failure report, or for a refused picture its
// description alone.
class QuorlinError : public std::runtime_error {
 public:
  QuorlinError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }

 private:
  int number_;
};

}  // namespace quorlin
