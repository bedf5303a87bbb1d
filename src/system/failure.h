// Why an operation failed, recorded where the failure happens: the kind
// decides exit codes and the path names the file or folder it is about, so
// that nothing above has to read a message's words to tell failures apart.
// Header only, so that every layer (the toolkits included) can use it.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace sys {

enum class FailureKind {
  None,          // nothing failed
  Cancelled,     // the user (or a question's answer) stopped it
  Io,            // a file or folder could not be opened, read or written
  Damaged,       // damaged input: a checksum, an index or an entry that does not decode
  Unsafe,        // input refused for safety: a name outside the target, a link in the way
  BadProject,    // a project folder or script that cannot give a sound installer
  NotInstalled,  // uninstall: the program's uninstall log does not exist
  Other,         // anything else (an unexpected error)
};

struct Failure {
  FailureKind kind = FailureKind::None;
  std::string path;     // the file or folder it is about; "" when none
  std::string message;  // what the user was told

  bool failed() const { return kind != FailureKind::None; }
};

inline Failure MakeFailure(FailureKind kind, std::string path, std::string message) {
  return Failure{kind, std::move(path), std::move(message)};
}

// An exception that knows its failure's kind and path; what() is the
// message as the user sees it.
class FailureError : public std::runtime_error {
 public:
  FailureError(FailureKind kind, std::string path, const std::string& message)
      : std::runtime_error(message), kind_(kind), path_(std::move(path)) {}

  FailureKind kind() const { return kind_; }
  const std::string& path() const { return path_; }
  Failure failure() const { return Failure{kind_, path_, what()}; }

 private:
  FailureKind kind_;
  std::string path_;
};

// The failure an exception stands for: its own for a FailureError, Other
// (with its text) for any other exception.
inline Failure FailureOf(const std::exception& error) {
  if (const auto* typed = dynamic_cast<const FailureError*>(&error)) return typed->failure();
  return Failure{FailureKind::Other, "", error.what()};
}

inline Failure FailureOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return FailureOf(caught);
  } catch (...) {
    return Failure{FailureKind::Other, "", "Unknown error"};
  }
}

}  // namespace sys
