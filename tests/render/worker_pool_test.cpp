#include "render/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace tavrona {
namespace {

using Range = std::pair<int64_t, int64_t>;

// Runs one job and returns its ranges in the order of their starts.
std::vector<Range> RangesOf(WorkerPool& pool, int64_t count, int64_t grain) {
  std::mutex mutex;
  std::vector<Range> ranges;
  pool.Run(count, grain, [&](int64_t begin, int64_t end) {
    std::lock_guard<std::mutex> lock(mutex);
    ranges.emplace_back(begin, end);
  });
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

// The ranges tile 0 .. count - 1 exactly once; all but the last are at least `grain` long.
void ExpectTiling(const std::vector<Range>& ranges, int64_t count, int64_t grain) {
  ASSERT_FALSE(ranges.empty());
  int64_t next = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    EXPECT_EQ(ranges[i].first, next) << "range " << i;
    EXPECT_GT(ranges[i].second, ranges[i].first) << "range " << i;
    if (i + 1 < ranges.size()) {
      EXPECT_GE(ranges[i].second - ranges[i].first, grain) << "range " << i;
    }
    next = ranges[i].second;
  }
  EXPECT_EQ(next, count);
}

TEST(WorkerPoolTest, RangesCoverTheJobOnceAndShrinkTowardsTheGrain) {
  for (int threads : {2, 3, 8}) {
    WorkerPool pool(threads);
    for (int64_t count : {2, 7, 100, 1080, 100003}) {
      for (int64_t grain : {1, 3, 64}) {
        SCOPED_TRACE(testing::Message()
                     << threads << " threads, " << count << " items, grain " << grain);
        const std::vector<Range> ranges = RangesOf(pool, count, grain);
        ExpectTiling(ranges, count, grain);
        if (count >= 100 * grain) {
          // Pieces of what is left: the first far larger than the grain, none larger than a
          // thread's half share, and the last one taken a single grain, so no thread is handed
          // a large piece at the end.
          int64_t smallest = count, largest = 0;
          for (const Range& r : ranges) {
            smallest = std::min(smallest, r.second - r.first);
            largest = std::max(largest, r.second - r.first);
          }
          EXPECT_GE(largest, count / (4 * threads));
          EXPECT_LE(largest, count / (2 * threads) + grain);
          EXPECT_LE(smallest, grain);
          EXPECT_LT(ranges.size(), static_cast<size_t>(count / grain));
        }
      }
    }
  }
}

TEST(WorkerPoolTest, SmallJobsAndOneThreadRunOnTheCallersThreadInOneRange) {
  const std::thread::id caller = std::this_thread::get_id();
  WorkerPool two(2);
  WorkerPool one(1);
  for (auto [pool, count, grain] :
       {std::tuple{&two, int64_t{5}, int64_t{5}}, std::tuple{&two, int64_t{1}, int64_t{0}},
        std::tuple{&one, int64_t{100000}, int64_t{1}}}) {
    int calls = 0;
    pool->Run(count, grain, [&](int64_t begin, int64_t end) {
      ++calls;
      EXPECT_EQ(std::this_thread::get_id(), caller);
      EXPECT_EQ(begin, 0);
      EXPECT_EQ(end, count);
    });
    EXPECT_EQ(calls, 1);
  }
  two.Run(0, 1, [](int64_t, int64_t) { ADD_FAILURE() << "an empty job calls nothing"; });
}

// Threads of very different speeds (the worker's ranges take 20 ms, the caller's 0.1 ms) still
// do every item exactly once, and the fast thread does most of them.
TEST(WorkerPoolTest, AThreadThatFallsBehindLeavesItsShareToTheOthers) {
  WorkerPool pool(2);
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<std::atomic<int>> done(2000);
  std::atomic<int64_t> byCaller = 0;
  pool.Run(2000, 10, [&](int64_t begin, int64_t end) {
    const bool slow = std::this_thread::get_id() != caller;
    std::this_thread::sleep_for(slow ? std::chrono::microseconds(20000)
                                     : std::chrono::microseconds(100));
    if (!slow) byCaller += end - begin;
    for (int64_t i = begin; i < end; ++i) done[i]++;
  });
  for (size_t i = 0; i < done.size(); ++i) ASSERT_EQ(done[i], 1) << i;
  EXPECT_GT(byCaller.load(), 1000);
}

// The caller starts at the top of the job and the worker at the start of its own half, each
// working forwards; what one takes from the other's half comes from that half's far end. So
// the same thread draws the same rows draw after draw.
TEST(WorkerPoolTest, EachThreadStartsOnItsOwnShare) {
  WorkerPool pool(2);
  const std::thread::id caller = std::this_thread::get_id();
  for (int job = 0; job < 3; ++job) {
    // The last job comes when the worker has stopped watching for one and sleeps.
    if (job == 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::mutex mutex;
    std::vector<Range> byCaller, byWorker;
    pool.Run(200, 4, [&](int64_t begin, int64_t end) {
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      std::lock_guard<std::mutex> lock(mutex);
      (std::this_thread::get_id() == caller ? byCaller : byWorker).emplace_back(begin, end);
    });
    ASSERT_FALSE(byCaller.empty());
    EXPECT_EQ(byCaller.front().first, 0);
    for (const std::vector<Range>* mine : {&byCaller, &byWorker}) {
      const int64_t ownFirst = mine == &byCaller ? 0 : 100;
      if (mine->empty()) continue;
      EXPECT_EQ(mine->front().first, ownFirst);
      // Forwards through its own half, then backwards through the other's.
      for (size_t i = 1; i < mine->size(); ++i) {
        const Range& prev = (*mine)[i - 1];
        const Range& cur = (*mine)[i];
        const bool curOwn = (cur.first >= 100) == (ownFirst == 100);
        const bool prevOwn = (prev.first >= 100) == (ownFirst == 100);
        if (curOwn) {
          EXPECT_TRUE(prevOwn) << "range " << i;
          EXPECT_EQ(cur.first, prev.second) << "range " << i;
        } else if (!prevOwn) {
          EXPECT_EQ(cur.second, prev.first) << "range " << i;
        }
      }
    }
  }
}

// Jobs from several threads at once are served one after the other, each complete, and the
// thread count can change between jobs.
TEST(WorkerPoolTest, ConcurrentCallersEachGetTheirWholeJob) {
  WorkerPool pool(3);
  std::vector<std::thread> callers;
  std::atomic<int> failures = 0;
  for (int c = 0; c < 4; ++c) {
    callers.emplace_back([&, c] {
      for (int round = 0; round < 50; ++round) {
        const int64_t count = 500 + 37 * c + round;
        std::vector<std::atomic<int>> hits(count);
        pool.Run(count, 4, [&](int64_t begin, int64_t end) {
          for (int64_t i = begin; i < end; ++i) hits[i]++;
        });
        for (auto& h : hits) failures += h != 1;
      }
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(failures, 0);
  pool.SetThreadCount(1);
  ExpectTiling(RangesOf(pool, 300, 1), 300, 1);
  pool.SetThreadCount(4);
  ExpectTiling(RangesOf(pool, 300, 1), 300, 1);
}

}  // namespace
}  // namespace tavrona
