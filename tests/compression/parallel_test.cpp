// Blocks packed and unpacked by several workers must give exactly the bytes
// and failures of a single worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "compression/block_pool.h"
#include "compression/container_layout.h"
#include "compression/container_streams.h"
#include "compression/stream_callbacks.h"
#include "test_content.h"

namespace compression {
namespace {

using compressiontest::AsString;
using compressiontest::SampleContent;

// Sets the worker count for one test and restores the default afterwards.
class Workers {
 public:
  explicit Workers(int count) { SetWorkerCount(count); }
  ~Workers() { SetWorkerCount(0); }
  void Use(int count) { SetWorkerCount(count); }
};

constexpr int kSeveral = 3;

// Container bytes holding `content` packed at `level` by `workers` workers.
std::string PackedBy(int workers, const Buffer& content, uint8_t level) {
  Workers use(workers);
  MemoryStream data;
  TECLStream container(&data, "", level, 0, true);
  MemoryStream source(content);
  container.LoadFromStream(source);
  return data.ToString();
}

// The whole content of a container in `bytes`, unpacked by `workers`.
std::string UnpackedBy(int workers, const std::string& bytes) {
  Workers use(workers);
  MemoryStream data(bytes);
  TECLStream container(&data, "", 0, 0, false);
  MemoryStream out;
  container.SaveToStream(out);
  return out.ToString();
}

template <typename Action>
std::string ErrorText(Action action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no exception)";
}

TEST(ParallelBlocksTest, EveryLevelPacksAndUnpacksTheSameBytesWithSeveralWorkers) {
  for (uint8_t level = 1; level <= kMaxLevelCode; ++level) {
    SCOPED_TRACE(int(level));
    const Buffer content = SampleContent(size_t(BlockSizeForLevel(level)) + 1234, level);
    const std::string single = PackedBy(1, content, level);
    const std::string several = PackedBy(kSeveral, content, level);
    ASSERT_EQ(single, several);
    EXPECT_EQ(UnpackedBy(kSeveral, single), AsString(content));
  }
}

TEST(ParallelBlocksTest, CallbackRecordsSpanningSeveralBatchesMatch) {
  // Level 1 blocks are 512 KiB: 11 blocks are three batches of two workers.
  const Buffer content = SampleContent(524288 * 10 + 77, 5);
  std::string records[2];
  for (int workers : {1, 2}) {
    Workers use(workers);
    MemoryStream source(content);
    MemoryStream record;
    CompressStreamCallback(source, record, "zlibfastest");
    records[workers - 1] = record.ToString();
  }
  ASSERT_EQ(records[0], records[1]);

  Workers use(2);
  MemoryStream record(records[1]);
  MemoryStream out;
  EXPECT_EQ(ExpandStreamCallback(record, out), int64_t(records[1].size()) - 8);
  EXPECT_EQ(out.ToString(), AsString(content));
}

TEST(ParallelBlocksTest, WritesInsideAndSizeChangesRepackTheSameWay) {
  const Buffer content = SampleContent(524288 * 6 + 5, 8);
  const Buffer patch = SampleContent(524288 * 3, 9);
  std::string results[2];
  for (int workers : {1, kSeveral}) {
    Workers use(workers);
    MemoryStream data(PackedBy(1, content, 7));
    TECLStream container(&data, "", 0, 0, false);
    container.Seek(524288 + 1000, SeekOrigin::Beginning);
    container.Write(patch.data(), int64_t(patch.size()));
    container.SetSize(524288 * 8 + 3);
    container.SetSize(524288 * 7 - 3);
    results[workers == 1 ? 0 : 1] = data.ToString();
  }
  ASSERT_EQ(results[0], results[1]);

  Buffer expected = content;
  std::copy(patch.begin(), patch.end(), expected.begin() + 524288 + 1000);
  expected.resize(524288 * 7 - 3, 0);
  EXPECT_EQ(UnpackedBy(kSeveral, results[1]), AsString(expected));
}

TEST(ParallelBlocksTest, PackingFailureInAWorkerIsTheSameErrorAndWritesNothing) {
  const Buffer content = SampleContent(1048576 * 4, 2);
  for (int workers : {1, kSeveral}) {
    Workers use(workers);
    MemoryStream data;
    TECLStream container(&data, "", 10, 0, true);  // a level without a codec
    const std::string before = data.ToString();
    EXPECT_EQ(ErrorText([&] { container.Write(content.data(), int64_t(content.size())); }), kErrorCompression);
    EXPECT_EQ(data.ToString(), before);
  }
}

// Offset of block `index`'s header in container bytes without reserved area.
size_t BlockOffset(const std::string& bytes, int index) {
  size_t offset = layout::kHeaderSize;
  for (int i = 0; i < index; ++i) {
    offset = layout::LoadU32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset + layout::kNextOffsetOffset);
  }
  return offset;
}

struct ReadOutcome {
  std::string error;
  int64_t position = 0;
};

ReadOutcome ReadWholeWith(int workers, const std::string& bytes) {
  Workers use(workers);
  MemoryStream data(bytes);
  TECLStream container(&data, "", 0, 0, false);
  std::string out(size_t(container.Size()), '\0');
  ReadOutcome outcome;
  outcome.error = ErrorText([&] { container.Read(out.data(), int64_t(out.size())); });
  outcome.position = container.Position();
  return outcome;
}

TEST(ParallelBlocksTest, DamagedBlocksFailWithTheSameTextAndPosition) {
  const Buffer content = SampleContent(524288 * 6 + 100, 3);
  const std::string packed = PackedBy(1, content, 1);

  std::string badPayload = packed;
  badPayload[BlockOffset(packed, 3) + layout::kBlockHeaderSize + 20] ^= 0x55;
  std::string badChecksum = packed;
  badChecksum[BlockOffset(packed, 4) + layout::kChecksumOffset] ^= 1;
  // Damage in two blocks: the earlier one is reported.
  std::string twoDamaged = badChecksum;
  twoDamaged[BlockOffset(packed, 2) + layout::kBlockHeaderSize + 20] ^= 0x55;

  for (const std::string& damaged : {badPayload, badChecksum, twoDamaged}) {
    const ReadOutcome single = ReadWholeWith(1, damaged);
    const ReadOutcome several = ReadWholeWith(kSeveral, damaged);
    EXPECT_NE(single.error, "(no exception)");
    EXPECT_EQ(several.error, single.error);
    EXPECT_EQ(several.position, single.position);
  }
  EXPECT_EQ(ReadWholeWith(kSeveral, badChecksum).error, kErrorCrc);
  EXPECT_EQ(ReadWholeWith(kSeveral, twoDamaged).error, kErrorDecompression);
}

TEST(ParallelBlocksTest, CutOffPayloadEndsTheReadAtTheSamePlace) {
  const Buffer content = SampleContent(524288 * 5, 4);
  const std::string packed = PackedBy(1, content, 1);
  const std::string cut = packed.substr(0, BlockOffset(packed, 3) + layout::kBlockHeaderSize + 10);
  for (int workers : {1, kSeveral}) {
    Workers use(workers);
    MemoryStream data(cut);
    TECLStream container(&data, "", 0, 0, false);
    std::string out(size_t(container.Size()), '\0');
    EXPECT_EQ(container.Read(out.data(), int64_t(out.size())), 524288 * 3);
    EXPECT_EQ(out.substr(0, 524288 * 3), AsString(content).substr(0, 524288 * 3));
  }
}

TEST(ParallelBlocksTest, ProgressIsReportedOnTheCallingThread) {
  Workers use(kSeveral);
  const Buffer content = SampleContent(524288 * 9, 6);
  MemoryStream data;
  TECLStream container(&data, "", 1, 0, true);
  std::vector<std::thread::id> reporters;
  double last = -1;
  container.OnProgress = [&](TECLBaseStream&, double percent) {
    reporters.push_back(std::this_thread::get_id());
    last = percent;
  };
  MemoryStream source(content);
  container.LoadFromStream(source);
  MemoryStream out;
  container.SaveToStream(out);
  EXPECT_EQ(last, 100.0);
  ASSERT_FALSE(reporters.empty());
  for (const auto& id : reporters) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(out.ToString(), AsString(content));
}

TEST(ParallelBlocksTest, WorkerCountSetting) {
  Workers use(3);
  EXPECT_EQ(WorkerCount(), 3);
  EXPECT_EQ(BlocksInFlight(), 6);
  use.Use(1);
  EXPECT_EQ(BlocksInFlight(), 1);
  use.Use(100000);
  SetMemoryBudget(kMaxWorkers * kWorkerMemory);
  EXPECT_EQ(WorkerCount(), kMaxWorkers);
  use.Use(0);
  EXPECT_GE(WorkerCount(), 1);
  // The memory budget caps the count at what it holds, one worker at least.
  use.Use(8);
  for (const auto& [budget, workers] : {std::pair{3 * kWorkerMemory + 1, 3}, {kWorkerMemory, 1}, {int64_t{1}, 1}}) {
    SetMemoryBudget(budget);
    EXPECT_EQ(WorkerCount(), workers) << budget;
  }
  SetMemoryBudget(0);
  EXPECT_GT(MemoryBudget(), 0);
}

TEST(ParallelBlocksTest, TasksAllRunAndTheLowestFailureIsRethrown) {
  Workers use(4);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::atomic<int>> runs(37);
    const std::string error = ErrorText([&] {
      RunBlockTasks(runs.size(), [&](size_t i) {
        ++runs[i];
        if (i % 10 == 7) throw std::runtime_error("task " + std::to_string(i));
      });
    });
    EXPECT_EQ(error, "task 7");
    for (const auto& count : runs) EXPECT_EQ(count.load(), 1);
  }
}

TEST(ParallelBlocksTest, CallersOnSeveralThreadsShareThePool) {
  Workers use(3);
  std::atomic<int> total{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < 4; ++c) {
    callers.emplace_back([&] {
      for (int round = 0; round < 50; ++round) RunBlockTasks(5, [&](size_t) { ++total; });
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(total.load(), 4 * 50 * 5);
}

// What RunInOrder did: the consumer's indices in call order, on which
// threads, and how far production ran ahead of consumption.
struct OrderedRun {
  std::vector<size_t> consumed;
  std::vector<std::thread::id> consumerThreads;
  size_t produced = 0;
  size_t mostAhead = 0;
  int64_t mostHeld = 0;  // bytes of results produced and not yet consumed
  bool completed = false;
  std::string error;
};

// Every result holds kResultBytes until it is consumed.
constexpr int64_t kResultBytes = 100;

OrderedRun RunOrdered(size_t count, size_t window, size_t stopAt = SIZE_MAX, size_t throwAt = SIZE_MAX,
                      int64_t budget = INT64_MAX) {
  OrderedRun run;
  std::mutex mutex;
  std::vector<int> producedOnce(count, 0);
  size_t lastConsumed = 0;  // number consumed
  int64_t held = 0;
  run.error = ErrorText([&] {
    run.completed = RunInOrder(
        count, window, budget,
        [&](size_t i) {
          std::this_thread::sleep_for(std::chrono::microseconds(i % 3 == 0 ? 300 : 20));
          std::lock_guard<std::mutex> lock(mutex);
          ++producedOnce[i];
          ++run.produced;
          run.mostAhead = std::max(run.mostAhead, i + 1 - lastConsumed);
          if (i == throwAt) throw std::runtime_error("produce " + std::to_string(i));
          run.mostHeld = std::max(run.mostHeld, held += kResultBytes);
          return kResultBytes;
        },
        [&](size_t i) {
          std::lock_guard<std::mutex> lock(mutex);
          held -= kResultBytes;
          EXPECT_EQ(producedOnce[i], 1);
          run.consumed.push_back(i);
          run.consumerThreads.push_back(std::this_thread::get_id());
          lastConsumed = i + 1;
          return i != stopAt;
        });
  });
  for (int times : producedOnce) EXPECT_LE(times, 1);
  return run;
}

TEST(ParallelOrderTest, ConsumesInOrderOnTheCallingThreadWithinTheWindow) {
  for (int workers : {1, 2, kSeveral}) {
    SCOPED_TRACE(workers);
    Workers use(workers);
    const OrderedRun run = RunOrdered(40, 5);
    EXPECT_TRUE(run.completed);
    EXPECT_EQ(run.error, "(no exception)");
    ASSERT_EQ(run.consumed.size(), 40u);
    for (size_t i = 0; i < run.consumed.size(); ++i) {
      EXPECT_EQ(run.consumed[i], i);
      EXPECT_EQ(run.consumerThreads[i], std::this_thread::get_id());
    }
    EXPECT_LE(run.mostAhead, workers == 1 ? 1u : 5u);
  }
}

// Results waiting for the consumer stop further production at the budget;
// one result larger than the whole budget still goes through.
TEST(ParallelOrderTest, HeldResultsStayWithinTheBudget) {
  Workers use(kSeveral);
  OrderedRun run = RunOrdered(60, 60, SIZE_MAX, SIZE_MAX, 250);
  EXPECT_TRUE(run.completed);
  ASSERT_EQ(run.consumed.size(), 60u);
  // Starting needs less than the budget held (200 at most); then every
  // worker may finish one more.
  EXPECT_LE(run.mostHeld, 200 + kSeveral * kResultBytes);
  run = RunOrdered(20, 60, SIZE_MAX, SIZE_MAX, 50);
  EXPECT_TRUE(run.completed);
  EXPECT_EQ(run.consumed.size(), 20u);
}

TEST(ParallelOrderTest, AStopEndsTheLoopAfterTheRunningTasks) {
  Workers use(kSeveral);
  const OrderedRun run = RunOrdered(60, 4, 10);
  EXPECT_FALSE(run.completed);
  ASSERT_EQ(run.consumed.size(), 11u);
  EXPECT_EQ(run.consumed.back(), 10u);
  // Nothing is produced beyond the window after the last consumed index:
  // indexes 0..10 and at most 4 more.
  EXPECT_LE(run.produced, 11u + 4u);
}

TEST(ParallelOrderTest, AProducerFailureSurfacesAtItsIndex) {
  for (int workers : {1, kSeveral}) {
    SCOPED_TRACE(workers);
    Workers use(workers);
    const OrderedRun run = RunOrdered(30, 6, SIZE_MAX, 12);
    EXPECT_FALSE(run.completed);
    EXPECT_EQ(run.error, "produce 12");
    ASSERT_EQ(run.consumed.size(), 12u);
    EXPECT_EQ(run.consumed.back(), 11u);
  }
}

TEST(ParallelOrderTest, ConsumerFailurePropagatesAndTasksMayNestBlockWork) {
  Workers use(kSeveral);
  std::atomic<int> blocks{0};
  const std::string error = ErrorText([&] {
    RunInOrder(
        20, 6, INT64_MAX,
        [&](size_t) {
          RunBlockTasks(4, [&](size_t) { ++blocks; });
          return int64_t{0};
        },
        [&](size_t i) {
          if (i == 7) throw std::runtime_error("consume 7");
          return true;
        });
  });
  EXPECT_EQ(error, "consume 7");
  EXPECT_GE(blocks.load(), 8 * 4);
  EXPECT_EQ(blocks.load() % 4, 0);
}

}  // namespace
}  // namespace compression
