// A small bounded pool of worker threads that packs or unpacks the blocks of
// a container side by side, and the entries of an archive file by file.
//
// Every block of a container is packed on its own, so the blocks of one
// write or read can run on several cores and give the same bytes as one
// thread. The pool keeps its threads between calls, so each worker keeps its
// own codec state (at most one PPM model per worker) from block to block.
// Work handed out while other work runs (the blocks of a large file packed
// by a worker that was given the whole file) shares the same threads, so the
// process never runs more than WorkerCount() of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace compression {

// Number of threads (the calling one included) that block work may use: the
// value of SetWorkerCount when one was set, else the environment variable
// BREVION_THREADS when it holds a number from 1 up, else the number of cores
// (at most kMaxDefaultWorkers); in every case no more than the memory
// budget holds at kWorkerMemory each. Always at least 1.
int WorkerCount();

// The most memory one worker's codec state may take: the largest PPM model
// (100 MB, the modes "high" and "max") with a block of input and output.
inline constexpr int64_t kWorkerMemory = int64_t{104} << 20;

// Sets the memory that the workers may take together, in bytes; 0 (or
// less) goes back to the default, a quarter of the physical memory (1 GB
// when the platform does not say).
void SetMemoryBudget(int64_t bytes);
int64_t MemoryBudget();

// Sets the worker count for later calls; 0 (or less) goes back to the
// environment variable or the number of cores. Values above kMaxWorkers are
// taken as kMaxWorkers.
void SetWorkerCount(int count);

inline constexpr int kMaxDefaultWorkers = 16;
inline constexpr int kMaxWorkers = 64;

// Blocks handed to the workers at a time: enough to keep every worker busy
// while the calling thread reads or writes, few enough to bound the memory
// held by blocks in flight. 1 when there is a single worker.
int BlocksInFlight();

// Whole files handed to the workers ahead of the one being written (see
// RunInOrder): enough that small files keep the workers busy while the
// writer waits for a long one. 1 when there is a single worker.
int FilesInFlight();

// Bytes that results of files done ahead of the writer may hold before no
// further file is started (see RunInOrder); with the files being worked on,
// this bounds the memory held by files in flight.
int64_t BytesInFlight();

// Runs task(0) .. task(count - 1), each once, on up to WorkerCount()
// threads; the calling thread takes part and the call returns when every
// task has finished. When tasks throw, the exception of the lowest index is
// rethrown on the calling thread (the one a loop in index order would have
// met first); the other tasks still run. Safe to call from several threads,
// and from inside a task.
void RunBlockTasks(size_t count, const std::function<void(size_t)>& task);

// A loop over `count` items split into a part that may run anywhere and a
// part that must run on the calling thread in order:
//   produce(i) runs on any of the WorkerCount() threads, the calling one
//     included, at most `window` indices ahead of the last consume, and
//     returns the bytes its result holds until consume(i); no further
//     produce starts while results not yet consumed hold `budget` bytes or
//     more;
//   consume(i) runs on the calling thread, in index order, after produce(i)
//     has returned; an answer of false stops the loop.
// After a stop (or an exception) no further produce starts and no further
// consume runs; the call returns once the produce calls already running have
// finished. An exception thrown by produce(i) is rethrown on the calling
// thread where consume(i) would have run; one thrown by consume ends the
// loop and is rethrown. With one worker (or a window of 1) the calls simply
// alternate on the calling thread: produce(0), consume(0), produce(1), ...
// Returns true when every item was consumed.
bool RunInOrder(size_t count, size_t window, int64_t budget, const std::function<int64_t(size_t)>& produce,
                const std::function<bool(size_t)>& consume);

}  // namespace compression
