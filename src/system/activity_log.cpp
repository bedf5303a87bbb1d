#include "system/activity_log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "system/paths.h"

namespace sys {

namespace {

ActivitySink& Sink() {
  static ActivitySink sink;
  return sink;
}

std::atomic<int64_t> fileBytes{0};

}  // namespace

ActivitySink SetActivitySink(ActivitySink sink) { return std::exchange(Sink(), std::move(sink)); }

void LogAction(std::string_view text) {
  if (const ActivitySink& sink = Sink()) sink(text);
}

std::string TimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  const platform::LocalDateTime local = platform::ToLocalDateTime(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month, local.day, local.hour,
                local.minute, local.second);
  return text;
}

bool ActivityFile::Open(const std::string& path) {
  const std::string native = ToNativeSeparators(path);
  std::string reason;
  // An existing log is added to; a new one is made without ever emptying
  // a file that appeared meanwhile.
  return file_.Open(native, platform::OpenMode::ReadWrite, reason) ||
         file_.Open(native, platform::OpenMode::CreateNew, reason);
}

void ActivityFile::Write(std::string_view text) {
  if (!file_.IsOpen()) return;
  std::string line = TimeStamp() + "  ";
  for (char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  // CR LF keeps the file readable on Windows; the log is plain text.
  line += "\r\n";
  // At the end as it is now: an elevated run of the same command line may
  // have added lines since the last write.
  if (const std::optional<int64_t> end = file_.Size()) {
    file_.WriteAt(*end, line.data(), static_cast<int64_t>(line.size()));
  }
}

void CountFileBytes(int64_t bytes) {
  if (bytes > 0) fileBytes.fetch_add(bytes, std::memory_order_relaxed);
}

int64_t FileBytesSoFar() { return fileBytes.load(std::memory_order_relaxed); }

}  // namespace sys
