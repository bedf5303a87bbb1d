#include "compression/block_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace compression {

namespace {

std::atomic<int> configuredWorkers{0};

int WorkersFromEnvironment() {
  const char* text = std::getenv("BREVION_THREADS");
  if (!text || !*text) return 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1) return 0;
  return static_cast<int>(std::min<long>(value, kMaxWorkers));
}

int DefaultWorkers() {
  static const int fromEnvironment = WorkersFromEnvironment();
  if (fromEnvironment > 0) return fromEnvironment;
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores), 1, kMaxDefaultWorkers);
}

// One call of RunBlockTasks: workers claim indices until none are left.
struct Batch {
  const std::function<void(size_t)>* task = nullptr;
  size_t count = 0;
  int helpersAllowed = 0;  // threads besides the caller
  int helpers = 0;         // guarded by the pool mutex
  std::atomic<size_t> next{0};
  size_t finished = 0;  // guarded by the pool mutex
  std::vector<std::exception_ptr> errors;
  std::condition_variable done;
};

class Pool {
 public:
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  void Run(Batch& batch) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (static_cast<int>(threads_.size()) < batch.helpersAllowed) {
        threads_.emplace_back([this] { WorkerLoop(); });
      }
      batches_.push_back(&batch);
    }
    wake_.notify_all();
    RunTasks(batch);
    std::unique_lock<std::mutex> lock(mutex_);
    // Helpers still touch the batch after its last task (claiming the next
    // index, signing off), so it lives until every helper has signed off.
    batch.done.wait(lock, [&] { return batch.finished == batch.count && batch.helpers == 0; });
    batches_.erase(std::remove(batches_.begin(), batches_.end(), &batch), batches_.end());
  }

 private:
  // Claims and runs indices of `batch` until none are left.
  void RunTasks(Batch& batch) {
    for (;;) {
      const size_t index = batch.next.fetch_add(1);
      if (index >= batch.count) return;
      try {
        (*batch.task)(index);
      } catch (...) {
        batch.errors[index] = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (++batch.finished == batch.count) batch.done.notify_all();
    }
  }

  // A batch with work left that still admits a helper, or nullptr; drops
  // batches whose indices are all claimed. Called with the mutex held.
  Batch* ClaimBatch() {
    for (auto it = batches_.begin(); it != batches_.end();) {
      Batch* batch = *it;
      if (batch->next.load() >= batch->count) {
        it = batches_.erase(it);
      } else if (batch->helpers < batch->helpersAllowed) {
        ++batch->helpers;
        return batch;
      } else {
        ++it;
      }
    }
    return nullptr;
  }

  void WorkerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Batch* batch = nullptr;
      wake_.wait(lock, [&] { return stopping_ || (batch = ClaimBatch()) != nullptr; });
      if (!batch) return;
      lock.unlock();
      RunTasks(*batch);
      lock.lock();
      // The caller waits for this sign-off, so the batch is alive here and
      // this is the helper's last touch of it.
      if (--batch->helpers == 0) batch->done.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Batch*> batches_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

Pool& SharedPool() {
  static Pool pool;
  return pool;
}

}  // namespace

int WorkerCount() {
  const int configured = configuredWorkers.load();
  return configured > 0 ? configured : DefaultWorkers();
}

void SetWorkerCount(int count) { configuredWorkers.store(std::clamp(count, 0, kMaxWorkers)); }

int BlocksInFlight() {
  const int workers = WorkerCount();
  return workers > 1 ? 2 * workers : 1;
}

void RunBlockTasks(size_t count, const std::function<void(size_t)>& task) {
  if (count == 0) return;
  const int workers = WorkerCount();
  if (workers <= 1 || count == 1) {
    std::exception_ptr first;
    for (size_t i = 0; i < count; ++i) {
      try {
        task(i);
      } catch (...) {
        if (!first) first = std::current_exception();
      }
    }
    if (first) std::rethrow_exception(first);
    return;
  }
  Batch batch;
  batch.task = &task;
  batch.count = count;
  batch.helpersAllowed = static_cast<int>(std::min<size_t>(count - 1, size_t(workers - 1)));
  batch.errors.resize(count);
  SharedPool().Run(batch);
  for (const std::exception_ptr& error : batch.errors) {
    if (error) std::rethrow_exception(error);
  }
}

}  // namespace compression
