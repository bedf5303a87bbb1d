// Objects kept for reuse by every thread of the process: megabyte buffers,
// PPM codecs with their model memory. Kept for the process, not per thread:
// the Windows runtime can run a thread-local object's destructor after the
// thread's storage is gone, at thread or process exit.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace compression {

template <typename T>
class SpareObjects {
 public:
  // Keeps up to `kept` objects given back; more are freed.
  explicit SpareObjects(size_t kept) : kept_(kept) {}

  // A kept object, or nullptr when none is kept.
  std::unique_ptr<T> Take() {
    std::lock_guard lock(mutex_);
    if (spares_.empty()) return nullptr;
    std::unique_ptr<T> object = std::move(spares_.back());
    spares_.pop_back();
    return object;
  }

  void Give(std::unique_ptr<T> object) {
    std::lock_guard lock(mutex_);
    if (spares_.size() < kept_) spares_.push_back(std::move(object));
  }

 private:
  const size_t kept_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<T>> spares_;
};

}  // namespace compression
