#include "sources/decoder_pool.h"

#include <unistd.h>

#include <cstdlib>

#include "app/parse_number.h"
#include "app/process_state.h"

namespace tavrona {

void DecoderPool::SetBudgetBytes(uint64_t budgetBytes) {
  std::lock_guard lock(mutex_);
  budgetBytes_ = budgetBytes;
}

uint64_t DecoderPool::BudgetBytes() const {
  std::lock_guard lock(mutex_);
  return budgetBytes_;
}

void DecoderPool::SetIdleTime(Clock::duration idleTime) {
  std::lock_guard lock(mutex_);
  idleTime_ = idleTime;
}

void DecoderPool::Join(PooledDecoder& member) {
  std::lock_guard lock(mutex_);
  if (index_.count(&member) != 0) return;
  order_.push_back(Entry{&member, 0, 0, 0, Clock::now()});
  index_.emplace(&member, std::prev(order_.end()));
}

void DecoderPool::Leave(PooledDecoder& member) {
  std::lock_guard lock(mutex_);
  const auto found = index_.find(&member);
  if (found == index_.end()) return;
  heldBytes_ -= found->second->decoderBytes + found->second->pictureBytes;
  order_.erase(found->second);
  index_.erase(found);
}

void DecoderPool::Pin(PooledDecoder& member, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const auto found = index_.find(&member);
  if (found == index_.end()) return;
  Order::iterator entry = found->second;
  ++entry->pins;
  entry->lastUse = now;
  order_.splice(order_.end(), order_, entry);  // most recently used
  for (Entry& other : order_) {
    if (other.pins == 0 && now - other.lastUse >= idleTime_) CloseLocked(other, true);
  }
}

void DecoderPool::Account(PooledDecoder& member, uint64_t decoderBytes, uint64_t pictureBytes) {
  std::lock_guard lock(mutex_);
  const auto found = index_.find(&member);
  if (found == index_.end()) return;
  Entry& entry = *found->second;
  heldBytes_ = heldBytes_ - entry.decoderBytes - entry.pictureBytes + decoderBytes + pictureBytes;
  entry.decoderBytes = decoderBytes;
  entry.pictureBytes = pictureBytes;
  TrimLocked();
}

void DecoderPool::Unpin(PooledDecoder& member) {
  std::lock_guard lock(mutex_);
  const auto found = index_.find(&member);
  if (found == index_.end()) return;
  Entry& entry = *found->second;
  entry.lastUse = Clock::now();
  TrimLocked();  // the others, while this one still counts as pinned
  if (entry.pins > 0) --entry.pins;
  if (heldBytes_ > budgetBytes_ && entry.pins == 0) CloseLocked(entry, false);
}

void DecoderPool::CloseIdle(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  for (Entry& entry : order_) {
    if (entry.pins == 0 && now - entry.lastUse >= idleTime_) CloseLocked(entry, true);
  }
}

void DecoderPool::CloseLocked(Entry& entry, bool dropPicture) {
  if (entry.decoderBytes == 0 && (!dropPicture || entry.pictureBytes == 0)) return;
  entry.member->CloseDecoder(dropPicture);
  heldBytes_ -= entry.decoderBytes;
  entry.decoderBytes = 0;
  if (dropPicture) {
    heldBytes_ -= entry.pictureBytes;
    entry.pictureBytes = 0;
  }
}

void DecoderPool::TrimLocked() {
  for (Entry& entry : order_) {
    if (heldBytes_ <= budgetBytes_) return;
    if (entry.pins == 0) CloseLocked(entry, true);
  }
}

uint64_t DecoderPool::HeldBytes() const {
  std::lock_guard lock(mutex_);
  return heldBytes_;
}

int DecoderPool::OpenDecoders() const {
  std::lock_guard lock(mutex_);
  int open = 0;
  for (const Entry& entry : order_) open += entry.decoderBytes > 0 ? 1 : 0;
  return open;
}

int DecoderPool::Members() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(order_.size());
}

uint64_t DecoderBudgetBytes(const Settings& settings) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  if (const char* text = std::getenv("TAVRONA_DECODER_MEMORY_MB")) {
    const std::optional<uint64_t> mb = ParseUnsigned(text, UINT64_MAX / kMiB);
    if (mb && *mb > 0) return *mb * kMiB;
  }
  if (settings.decoderMemoryMB > 0) return static_cast<uint64_t>(settings.decoderMemoryMB) * kMiB;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageBytes = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageBytes <= 0) return 1024 * kMiB;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageBytes) / 4;
}

DecoderPool& ProcessDecoderPool() {
  static DecoderPool pool(DecoderBudgetBytes(Process().settings));
  return pool;
}

}  // namespace tavrona
