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

// How long a worker whose ranges are done watches for the next job before it sleeps. A frame's
// layers are drawn one after another, so the next draw usually comes within this, and a short
// draw (a small tile takes a few hundred microseconds) would otherwise lose a good part of its
// time waiting for the worker to wake.
constexpr std::chrono::microseconds kIdleSpin{100};

// Watches `done` without giving up the processor until it is true or `limit` has passed.
template <class Done>
void Watch(std::chrono::microseconds limit, Done done) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
  }
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
  for (int i = 0; i < count; ++i) {
    const int slot = static_cast<int>(workers_.size()) + 1;
    workers_.emplace_back([this, slot] { WorkerLoop(slot); });
  }
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

// Picks the next range for the thread in `slot`, in items, and takes it out of the job. Called
// with mutex_ locked. A piece is a share of what is left (half of it spread over the threads),
// so the first pieces are large and the last ones a single grain: the threads' last pieces end
// close together. A worker beyond the job's thread count takes no part.
bool WorkerPool::Claim(int slot, int64_t& begin, int64_t& end) {
  const auto threads = static_cast<int64_t>(shares_.size());
  if (task_ == nullptr || slot >= threads) return false;
  int64_t left = 0;
  for (const Share& s : shares_) left += s.end - s.begin;
  if (left == 0) return false;
  const int64_t size = std::max<int64_t>(1, left / (2 * threads));
  Share& own = shares_[slot];
  int64_t first, last;
  if (own.begin < own.end) {
    first = own.begin;
    last = first + std::min(size, own.end - own.begin);
    own.begin = last;
  } else {
    // The far end of the largest share, away from where its owner is working.
    Share& other = *std::max_element(
        shares_.begin(), shares_.end(),
        [](const Share& a, const Share& b) { return a.end - a.begin < b.end - b.begin; });
    last = other.end;
    first = last - std::min(size, other.end - other.begin);
    other.end = first;
  }
  begin = first * grain_;
  end = std::min(last * grain_, count_);
  return true;
}

// Takes ranges of the current job until none is left for this thread. Called with mutex_
// unlocked.
void WorkerPool::TakeRanges(int slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  int64_t begin = 0, end = 0;
  while (Claim(slot, begin, end)) {
    const RangeTask* task = task_;
    lock.unlock();
    (*task)(begin, end);
    lock.lock();
    const int64_t size = end - begin;
    if (finished_.fetch_add(size, std::memory_order_release) + size == count_) {
      done_.notify_all();
    }
  }
}

void WorkerPool::WorkerLoop(int slot) {
  uint64_t seen = 0;
  for (;;) {
    Watch(kIdleSpin, [&] {
      return generation_.load(std::memory_order_relaxed) != seen ||
             stopping_.load(std::memory_order_relaxed);
    });
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] {
        return stopping_ || (generation_ != seen && slot < static_cast<int>(shares_.size()));
      });
      if (stopping_) return;
      seen = generation_;
    }
    TakeRanges(slot);
  }
}

void WorkerPool::Run(int64_t count, int64_t grain, const RangeTask& task) {
  if (count <= 0) return;
  grain = std::max<int64_t>(grain, 1);
  std::lock_guard<std::mutex> run(runMutex_);
  if (count < 2 * grain || threadCount_ == 1) {
    task(0, count);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    count_ = count;
    grain_ = grain;
    const int64_t grains = count / grain + (count % grain != 0 ? 1 : 0);
    const int64_t threads = threadCount_;
    shares_.resize(threadCount_);
    for (int64_t i = 0; i < threads; ++i) {
      shares_[i] = {grains * i / threads, grains * (i + 1) / threads};
    }
    finished_ = 0;
    ++generation_;
  }
  wake_.notify_all();
  TakeRanges(0);
  Watch(kEndSpin, [&] { return finished_.load(std::memory_order_acquire) == count; });
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
