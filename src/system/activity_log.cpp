#include "system/activity_log.h"

#include <atomic>
#include <utility>

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

void CountFileBytes(int64_t bytes) {
  if (bytes > 0) fileBytes.fetch_add(bytes, std::memory_order_relaxed);
}

int64_t FileBytesSoFar() { return fileBytes.load(std::memory_order_relaxed); }

}  // namespace sys
