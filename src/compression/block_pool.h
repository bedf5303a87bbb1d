// A small bounded pool of worker threads that packs or unpacks the blocks of
// a container side by side.
//
// Every block of a container is packed on its own, so the blocks of one
// write or read can run on several cores and give the same bytes as one
// thread. The pool keeps its threads between calls, so each worker keeps its
// own codec state (at most one PPM model per worker) from block to block.
#pragma once

#include <cstddef>
#include <functional>

namespace compression {

// Number of threads (the calling one included) that block work may use: the
// value of SetWorkerCount when one was set, else the environment variable
// BREVION_THREADS when it holds a number from 1 up, else the number of cores
// (at most kMaxDefaultWorkers). Always at least 1.
int WorkerCount();

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

// Runs task(0) .. task(count - 1), each once, on up to WorkerCount()
// threads; the calling thread takes part and the call returns when every
// task has finished. When tasks throw, the exception of the lowest index is
// rethrown on the calling thread (the one a loop in index order would have
// met first); the other tasks still run. Safe to call from several threads.
void RunBlockTasks(size_t count, const std::function<void(size_t)>& task);

}  // namespace compression
