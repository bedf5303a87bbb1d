// The activity log: the actions the program takes (files extracted, shortcuts
// created, folders removed, ...) reported one line at a time to whoever asked
// for them, e.g. the --log file of an unattended installation. Without a
// receiver the lines go nowhere, so the layers can report unconditionally.
//
// The receiver is process-wide and used from the user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "system/platform.h"

namespace sys {

// Receives one line of text (no line end) per action.
using ActivitySink = std::function<void(std::string_view text)>;

// Makes `sink` the receiver of LogAction's lines; an empty sink turns the
// log off. Returns the receiver it replaces.
ActivitySink SetActivitySink(ActivitySink sink);

// Reports one action, e.g. "Created shortcut Brevion Notes in user_desktop".
void LogAction(std::string_view text);

// The local date and time as "YYYY-MM-DD HH:MM:SS".
std::string TimeStamp();

// A file the log's lines are appended to (the --log file), each line with
// the local date and time ("2026-12-08 21:40:01  text") and a CR LF end;
// line breaks inside a text become spaces. Lines already in the file stay.
class ActivityFile {
 public:
  ActivityFile() = default;
  ActivityFile(const ActivityFile&) = delete;
  ActivityFile& operator=(const ActivityFile&) = delete;

  // Opens `path` for appending, creating it when missing; false when it
  // cannot be written.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_.IsOpen(); }
  // Appends one line; nothing when the file is not open.
  void Write(std::string_view text);

 private:
  platform::FileHandle file_;
};

// Bytes read and written through the program's file streams since the
// process started; progress displays derive their throughput from it. Safe
// to call from any thread.
void CountFileBytes(int64_t bytes);
int64_t FileBytesSoFar();

}  // namespace sys
