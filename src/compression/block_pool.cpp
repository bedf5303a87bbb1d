#include "compression/block_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "system/platform.h"

namespace compression {

namespace {

std::atomic<int> configuredWorkers{0};
std::atomic<int64_t> configuredBudget{0};

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
  // Asked once: the library reads it from the system on every call, and
  // the extraction asks for every entry.
  static const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores), 1, kMaxDefaultWorkers);
}

// Work that the pool's threads take part in, owned by the thread that made
// it (its owner), which runs tasks of it too. The pool's mutex guards Claim,
// Finish and the fields of every job.
class Job {
 public:
  explicit Job(int helpersAllowed) : helpersAllowed(helpersAllowed) {}
  virtual ~Job() = default;

  // The next index to run, or false when none may start now.
  virtual bool Claim(size_t& index) = 0;
  // Runs the task of `index`, without the lock. Never throws: failures are
  // kept for the owner.
  virtual void Run(size_t index) = 0;
  // Records that the task of `index` has returned.
  virtual void Finish(size_t index) = 0;

  const int helpersAllowed;  // pool threads besides the owner
  int helpers = 0;           // pool threads running one of its tasks now
};

class Pool {
 public:
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  // Publishes `job` to the pool's threads, starting as many as it admits.
  void Add(Job& job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (static_cast<int>(threads_.size()) < job.helpersAllowed) {
        threads_.emplace_back([this] { WorkerLoop(); });
      }
      jobs_.push_back(&job);
    }
    workAvailable_.notify_all();
  }

  // Withdraws `job`; its owner has seen every claimed task finish, and a
  // helper touches a job only under the lock, so it may be destroyed after.
  void Remove(Job& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), &job), jobs_.end());
  }

  // Changes job state under the lock and wakes every waiting thread.
  template <typename Change>
  void Update(Change change) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      change();
    }
    workAvailable_.notify_all();
    taskFinished_.notify_all();
  }

  // Changes job state under the lock; wakes the pool's threads only when
  // the change says that tasks may be claimed again. Waking them for every
  // small change costs a system call or two each time.
  template <typename Change>
  void UpdateAndWakeIf(Change change) {
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake = change();
    }
    if (wake) workAvailable_.notify_all();
  }

  // The owner runs tasks of its own job until `done` (tested with the lock
  // held) holds, and sleeps while there is nothing it may claim.
  template <typename Done>
  void Work(Job& job, Done done) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done()) {
      size_t index = 0;
      if (job.Claim(index)) {
        lock.unlock();
        job.Run(index);
        lock.lock();
        job.Finish(index);
        taskFinished_.notify_all();
      } else {
        taskFinished_.wait(lock);
      }
    }
  }

 private:
  // A task of a published job that still admits a helper. Jobs published
  // earlier come first: a file loop's tasks before the blocks of one file.
  Job* ClaimAny(size_t& index) {
    for (Job* job : jobs_) {
      if (job->helpers < job->helpersAllowed && job->Claim(index)) return job;
    }
    return nullptr;
  }

  void WorkerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Job* job = nullptr;
      size_t index = 0;
      workAvailable_.wait(lock, [&] { return stopping_ || (job = ClaimAny(index)) != nullptr; });
      if (!job) return;
      ++job->helpers;
      lock.unlock();
      job->Run(index);
      lock.lock();
      --job->helpers;
      job->Finish(index);
      taskFinished_.notify_all();
    }
  }

  // Tasks become claimable only when a job is added or its owner changes it
  // (Update); a finished task concerns only the owners waiting for it. The
  // pool's threads and the owners wait apart, so that neither is woken for
  // the other's news.
  std::mutex mutex_;
  std::condition_variable workAvailable_;  // the pool's threads wait here
  std::condition_variable taskFinished_;   // owners wait here
  std::vector<Job*> jobs_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

Pool& SharedPool() {
  static Pool pool;
  return pool;
}

// One call of RunBlockTasks: every index once, in any order.
class Batch final : public Job {
 public:
  Batch(size_t count, int helpersAllowed, const std::function<void(size_t)>& task)
      : Job(helpersAllowed), task_(task), count_(count), errors_(count) {}

  bool Claim(size_t& index) override {
    if (next_ >= count_) return false;
    index = next_++;
    return true;
  }
  void Run(size_t index) override {
    try {
      task_(index);
    } catch (...) {
      errors_[index] = std::current_exception();
    }
  }
  void Finish(size_t) override { ++finished_; }

  bool AllFinished() const { return finished_ == count_; }
  // The failure of the lowest index, if any.
  std::exception_ptr FirstError() const {
    for (const std::exception_ptr& error : errors_) {
      if (error) return error;
    }
    return nullptr;
  }

 private:
  const std::function<void(size_t)>& task_;
  const size_t count_;
  size_t next_ = 0;
  size_t finished_ = 0;
  std::vector<std::exception_ptr> errors_;
};

// One call of RunInOrder: indices are produced in order, no further than
// `window` ahead of the consumer; the owner consumes them.
class Ordered final : public Job {
 public:
  Ordered(size_t count, size_t window, int64_t budget, int helpersAllowed,
          const std::function<int64_t(size_t)>& produce)
      : Job(helpersAllowed), produce_(produce), count_(count), window_(window), budget_(budget), ready_(count),
        held_(count, 0), errors_(count) {}

  bool Claim(size_t& index) override {
    if (stopped_ || next_ >= count_) return false;
    // The index the owner waits for always starts, whatever is held.
    if (next_ > consumed_ && (next_ >= consumed_ + window_ || heldTotal_ >= budget_)) {
      heldBack_ = true;
      return false;
    }
    index = next_++;
    ++running_;
    return true;
  }
  void Run(size_t index) override {
    try {
      held_[index] = produce_(index);
    } catch (...) {
      errors_[index] = std::current_exception();
    }
  }
  void Finish(size_t index) override {
    ready_[index] = 1;
    heldTotal_ += held_[index];
    --running_;
  }

  bool Ready(size_t index) const { return ready_[index] != 0; }
  // Read by the owner after Ready(index) was seen under the lock.
  const std::exception_ptr& Error(size_t index) const { return errors_[index]; }
  // True when a producer that the window or the budget held back may start
  // again: once half of each is free, so that the workers are woken for a
  // run of entries rather than once for each.
  bool Consumed(size_t count) {
    for (; consumed_ < count; ++consumed_) heldTotal_ -= held_[consumed_];
    if (!heldBack_) return false;
    const bool room = next_ <= consumed_ || (next_ - consumed_ <= window_ / 2 && heldTotal_ <= budget_ / 2);
    if (room) heldBack_ = false;
    return room;
  }
  void Stop() { stopped_ = true; }
  bool Idle() const { return running_ == 0; }

 private:
  const std::function<int64_t(size_t)>& produce_;
  const size_t count_;
  const size_t window_;
  const int64_t budget_;
  size_t next_ = 0;
  size_t consumed_ = 0;
  size_t running_ = 0;
  int64_t heldTotal_ = 0;  // held by results finished and not yet consumed
  bool stopped_ = false;
  bool heldBack_ = false;  // a Claim was refused for the window or the budget
  std::vector<uint8_t> ready_;
  std::vector<int64_t> held_;
  std::vector<std::exception_ptr> errors_;
};

int HelpersFor(size_t count, int workers) {
  return static_cast<int>(std::min<size_t>(count - 1, size_t(workers - 1)));
}

}  // namespace

int WorkerCount() {
  const int configured = configuredWorkers.load();
  const int wanted = configured > 0 ? configured : DefaultWorkers();
  // Each worker keeps its own model: their number, not the model size, is
  // what the budget can choose.
  const int64_t affordable = std::max<int64_t>(1, MemoryBudget() / kWorkerMemory);
  return static_cast<int>(std::min<int64_t>(wanted, affordable));
}

void SetMemoryBudget(int64_t bytes) { configuredBudget.store(std::max<int64_t>(bytes, 0)); }

int64_t MemoryBudget() {
  if (const int64_t configured = configuredBudget.load(); configured > 0) return configured;
  static const int64_t fromPlatform = [] {
    const auto physical = sys::platform::PhysicalMemory();
    return physical ? *physical / 4 : int64_t{1} << 30;
  }();
  return fromPlatform;
}

void SetWorkerCount(int count) { configuredWorkers.store(std::clamp(count, 0, kMaxWorkers)); }

int BlocksInFlight() {
  const int workers = WorkerCount();
  return workers > 1 ? 2 * workers : 1;
}

int FilesInFlight() {
  const int workers = WorkerCount();
  // Bounded by BytesInFlight() rather than by count: while one long file is
  // packed, hundreds of small ones may be done ahead of it.
  return workers > 1 ? 4096 : 1;
}

int64_t BytesInFlight() { return int64_t{8} * WorkerCount() << 20; }

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
  Batch batch(count, HelpersFor(count, workers), task);
  Pool& pool = SharedPool();
  pool.Add(batch);
  pool.Work(batch, [&] { return batch.AllFinished(); });
  pool.Remove(batch);
  if (std::exception_ptr error = batch.FirstError()) std::rethrow_exception(error);
}

bool RunInOrder(size_t count, size_t window, int64_t budget, const std::function<int64_t(size_t)>& produce,
                const std::function<bool(size_t)>& consume) {
  const int workers = WorkerCount();
  if (workers <= 1 || window <= 1 || count <= 1) {
    for (size_t i = 0; i < count; ++i) {
      produce(i);
      if (!consume(i)) return false;
    }
    return true;
  }
  Ordered job(count, window, budget, HelpersFor(count, workers), produce);
  Pool& pool = SharedPool();
  pool.Add(job);
  std::exception_ptr failure;
  bool completed = true;
  for (size_t i = 0; i < count && completed; ++i) {
    pool.Work(job, [&] { return job.Ready(i); });
    failure = job.Error(i);
    if (!failure) {
      try {
        completed = consume(i);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    if (failure) completed = false;
    pool.UpdateAndWakeIf([&] { return job.Consumed(i + 1); });
  }
  pool.Update([&] { job.Stop(); });
  pool.Work(job, [&] { return job.Idle(); });
  pool.Remove(job);
  if (failure) std::rethrow_exception(failure);
  return completed;
}

}  // namespace compression
