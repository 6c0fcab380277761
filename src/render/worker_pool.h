// A small pool of persistent threads that share the rows of one draw. The caller's thread takes
// part too, so a pool of n threads keeps n - 1 workers. Workers are started when the count is
// first raised and live until the process ends; a draw creates no thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrona {

class WorkerPool {
 public:
  explicit WorkerPool(int threadCount = 0);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // 0 means the hardware concurrency. Must not be called while Run is running.
  void SetThreadCount(int count);
  int ThreadCount() const { return threadCount_; }

  // Calls task(begin, end) on consecutive ranges that together cover 0 .. count - 1, spread over
  // the pool, and returns when all are done. Every range but the one holding the last item is a
  // whole number of `grain` items. Each thread starts on a share of its own, the caller's first,
  // so a thread works on the same rows draw after draw and finds them in its own cache. It takes
  // its share in pieces, large while much is left and smaller ones down to one grain; a thread
  // whose share is done takes pieces from the far end of the largest share left, so the threads
  // end together even when one of them starts late or is slowed by other work on the machine.
  // A job of fewer than two grains runs on the caller's thread in one range. Calls from
  // different threads are served one after the other.
  using RangeTask = std::function<void(int64_t begin, int64_t end)>;
  void Run(int64_t count, int64_t grain, const RangeTask& task);

 private:
  void StartWorkers(int count);
  void StopWorkers();
  void WorkerLoop(int slot);
  void TakeRanges(int slot);
  bool Claim(int slot, int64_t& begin, int64_t& end);

  int threadCount_ = 1;
  std::vector<std::thread> workers_;
  std::mutex runMutex_;  // one Run at a time

  // Guarded by mutex_: the job that workers take parts of. Shares are counted in grains, one
  // per thread taking part in the job: slot 0 is the caller's, slot i the i-th worker's.
  struct Share {
    int64_t begin = 0;
    int64_t end = 0;
  };
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const RangeTask* task_ = nullptr;
  int64_t count_ = 0;
  int64_t grain_ = 1;
  std::vector<Share> shares_;
  // Written under mutex_; also read without it by a caller waiting a moment before it sleeps.
  std::atomic<int64_t> finished_ = 0;
  // Written under mutex_; also read without it by a worker watching for the next job.
  std::atomic<uint64_t> generation_ = 0;
  std::atomic<bool> stopping_ = false;
};

// The pool the kernels use.
WorkerPool& RenderPool();

}  // namespace tavrona
