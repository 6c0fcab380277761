// A small pool of persistent threads that share the rows of one draw. The caller's thread takes
// part too, so a pool of n threads keeps n - 1 workers. Workers are started when the count is
// first raised and live until the process ends; a draw creates no thread.
#pragma once

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

  // Calls task(i) for i = 0 .. parts - 1, spread over the pool, and returns when all are done.
  // Calls from different threads are served one after the other.
  void Run(int parts, const std::function<void(int)>& task);

 private:
  void StartWorkers(int count);
  void StopWorkers();
  void WorkerLoop();
  void TakeParts();

  int threadCount_ = 1;
  std::vector<std::thread> workers_;
  std::mutex runMutex_;  // one Run at a time

  // Guarded by mutex_: the job that workers take parts of.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int)>* task_ = nullptr;
  int parts_ = 0;
  int nextPart_ = 0;
  int finishedParts_ = 0;
  uint64_t generation_ = 0;
  bool stopping_ = false;
};

// The pool the kernels use.
WorkerPool& RenderPool();

}  // namespace tavrona
