#pragma once

#include <stdexcept>
#include <string>

namespace quorlin {

// Failure numbers, after the run-time error numbers that the failure report has
// always shown, so that a report reads the same whichever front end shows it.
enum ErrorNumber : int {
  kErrOverflow = 6,
  kErrOutOfMemory = 7,
  kErrSubscriptOutOfRange = 9,
  kErrBadFileName = 52,
  kErrFileNotFound = 53,
  kErrDiskFull = 61,
  kErrInputPastEnd = 62,
  kErrPermissionDenied = 70,
  kErrPathFileAccess = 75,
  kErrPathNotFound = 76,
  kErrDeviceIO = 57,
  kErrBadRecord = 63,
  kErrBadFileFormat = 321,  // a picture or a file of ours that cannot be read as what it claims to be
};

// The one error that crosses the program's module boundaries: a number and a
// description (naming the file). Commands catch it at their edge and turn it into
// the system's message: the failure report, or for a refused picture its
// description alone.
class QuorlinError : public std::runtime_error {
 public:
  QuorlinError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

}  // namespace quorlin
