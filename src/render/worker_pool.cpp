#include "render/worker_pool.h"

#include <algorithm>

namespace tavrona {

namespace {

int ResolveCount(int count) {
  if (count > 0) return std::min(count, 64);
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : static_cast<int>(std::min(hardware, 64u));
}

}  // namespace

WorkerPool::WorkerPool(int threadCount) {
  SetThreadCount(threadCount);
}

WorkerPool::~WorkerPool() {
  StopWorkers();
}

// Lowering the count keeps the surplus workers parked (they wait without using the processor),
// so switching between counts never creates threads again.
void WorkerPool::SetThreadCount(int count) {
  std::lock_guard<std::mutex> run(runMutex_);
  threadCount_ = ResolveCount(count);
  const int missing = threadCount_ - 1 - static_cast<int>(workers_.size());
  if (missing > 0) StartWorkers(missing);
}

void WorkerPool::StartWorkers(int count) {
  for (int i = 0; i < count; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

void WorkerPool::StopWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

// Takes parts of the current job until none is left. Called with mutex_ unlocked.
void WorkerPool::TakeParts() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (task_ != nullptr && nextPart_ < parts_) {
    const int part = nextPart_++;
    const std::function<void(int)>* task = task_;
    lock.unlock();
    (*task)(part);
    lock.lock();
    if (++finishedParts_ == parts_) done_.notify_all();
  }
}

void WorkerPool::WorkerLoop() {
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
    }
    TakeParts();
  }
}

void WorkerPool::Run(int parts, const std::function<void(int)>& task) {
  if (parts <= 0) return;
  std::lock_guard<std::mutex> run(runMutex_);
  if (parts == 1 || threadCount_ == 1) {
    for (int i = 0; i < parts; ++i) task(i);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    parts_ = parts;
    nextPart_ = 0;
    finishedParts_ = 0;
    ++generation_;
  }
  wake_.notify_all();
  TakeParts();
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finishedParts_ == parts_; });
  task_ = nullptr;
  parts_ = 0;
}

WorkerPool& RenderPool() {
  static WorkerPool pool;
  return pool;
}

}  // namespace tavrona
