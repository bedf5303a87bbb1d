// The progress callback of the archive operations.
#pragma once

#include <string>

namespace archive {

// Receives the caller's context, a text (a file name or an activity such as
// "Verifying Data Integrity") and a percentage 0..100; answers true to go on,
// false to cancel the operation.
using ProgressHook = bool (*)(void* context, const std::string& text, int percent);

// A hook with its context; `hook` may be null (no progress reported).
struct Progress {
  ProgressHook hook = nullptr;
  void* context = nullptr;

  bool Report(const std::string& text, int percent) const { return !hook || hook(context, text, percent); }
};

}  // namespace archive
