#include "render/worker_pool.h"

#include <algorithm>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tavrona {

namespace {

int ResolveCount(int count) {
  if (count > 0) return std::min(count, 64);
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : static_cast<int>(std::min(hardware, 64u));
}

// How long a caller whose share is done watches for the others to finish before it sleeps. The
// last ranges are small, so they usually end within this; a thread put to sleep and woken again
// costs tens of microseconds on a virtual machine.
constexpr std::chrono::microseconds kEndSpin{50};

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
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

// Takes ranges of the current job until none is left. Called with mutex_ unlocked. A range is
// a share of what is left (half of it spread over the threads), so the first ranges are large
// and the last ones `grain` items: the threads' last ranges end close together.
void WorkerPool::TakeRanges() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (task_ != nullptr && next_ < count_) {
    const int64_t left = count_ - next_;
    const int64_t size = std::min(left, std::max(grain_, left / (2 * int64_t{threadCount_})));
    const int64_t begin = next_;
    next_ += size;
    const RangeTask* task = task_;
    lock.unlock();
    (*task)(begin, begin + size);
    lock.lock();
    if (finished_.fetch_add(size, std::memory_order_release) + size == count_) {
      done_.notify_all();
    }
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
    TakeRanges();
  }
}

void WorkerPool::Run(int64_t count, int64_t grain, const RangeTask& task) {
  if (count <= 0) return;
  grain = std::max<int64_t>(grain, 1);
  std::lock_guard<std::mutex> run(runMutex_);
  if (count <= grain || threadCount_ == 1) {
    task(0, count);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    count_ = count;
    grain_ = grain;
    next_ = 0;
    finished_ = 0;
    ++generation_;
  }
  wake_.notify_all();
  TakeRanges();
  const auto spinEnd = std::chrono::steady_clock::now() + kEndSpin;
  while (finished_.load(std::memory_order_acquire) != count &&
         std::chrono::steady_clock::now() < spinEnd) {
    Pause();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_.load(std::memory_order_relaxed) == count_; });
  task_ = nullptr;
  count_ = 0;
}

WorkerPool& RenderPool() {
  static WorkerPool pool;
  return pool;
}

}  // namespace tavrona
