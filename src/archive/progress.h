// The progress callback of the archive operations.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Entries with more content than this are packed and unpacked by the
// writing thread itself, block after block, so their progress can be told
// from inside them; smaller ones pass in a moment.
inline constexpr int64_t kLongEntrySize = int64_t{4} << 20;

// The progress of an operation over `count` entries. An entry is reported
// when it starts, at (i + 1) * 100 / count. A long entry instead starts at
// the percentage of the entries before it and moves to its own as its
// bytes pass, one report per step, so that a bar and its time-left estimate
// move during it. The percentages never go down.
class EntrySteps {
 public:
  static constexpr int64_t kStepBytes = int64_t{1} << 20;

  EntrySteps(const Progress& progress, size_t count) : progress_(progress), count_(count ? count : 1) {}

  // Entry `i` named `text` starts, with `size` bytes of content (0 when not
  // known). False when the caller asked to stop, now or inside the entry
  // before.
  bool Start(const std::string& text, size_t i, int64_t size) {
    if (stopped_) return false;
    text_ = text;
    index_ = i;
    size_ = size > kLongEntrySize ? size : 0;
    reported_ = 0;
    const int percent = static_cast<int>((static_cast<int64_t>(i) + (size_ ? 0 : 1)) * 100 / static_cast<int64_t>(count_));
    stopped_ = !progress_.Report(text, percent);
    return !stopped_;
  }

  // True while the started entry is long: its bytes are to be told.
  bool Long() const { return size_ > 0; }

  // `done` bytes of the long entry have passed. Each step boundary passed
  // (and the entry's end) is reported once, whatever the pieces the bytes
  // came in, so the calls do not depend on how the work was split. A stop
  // asked for here takes effect when the next entry would start.
  void Within(int64_t done) {
    if (!size_) return;
    done = done < size_ ? done : size_;
    while (!stopped_ && reported_ < done) {
      const int64_t next = (reported_ / kStepBytes + 1) * kStepBytes;
      if (next > done && done < size_) break;
      reported_ = next < size_ ? next : size_;
      const int64_t percent =
          (static_cast<int64_t>(index_) * 100 + reported_ * 100 / size_) / static_cast<int64_t>(count_);
      stopped_ = !progress_.Report(text_, static_cast<int>(percent));
    }
  }

 private:
  Progress progress_;
  size_t count_;
  std::string text_;
  size_t index_ = 0;
  int64_t size_ = 0;
  int64_t reported_ = 0;
  bool stopped_ = false;
};

}  // namespace archive
