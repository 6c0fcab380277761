// DecoderPool: the one owner of the memory budget of open movie decoders. A movie source keeps
// what it knows about its file for as long as it lives, but its decoder (and the pages of the
// picture it decodes into) only while it is in use or recently used: the pool closes the least
// recently used ones when the open decoders together exceed the budget, and any that has not
// been used for the idle time. A closed decoder is opened again by its member at its next use.
//
// Members register themselves (Join) and leave before they are destroyed (Leave). A member in
// use is pinned (Pin ... Unpin): the pool never closes a pinned member, so a close can never race
// a fetch in progress. Every close happens under the pool's mutex, on the thread that called
// Pin, Account, Unpin or CloseIdle, so a member's close and its own use are always ordered by
// that mutex. A member's Close must not call back into the pool.
//
// Threads: every function may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>

#include "app/settings.h"

namespace tavrona {

class PooledDecoder {
 public:
  virtual ~PooledDecoder() = default;
  // Closes the member's decoder; with dropPicture also gives back the pages of its picture.
  // Called by the pool under its mutex, only while the member is not pinned.
  virtual void CloseDecoder(bool dropPicture) = 0;
};

class DecoderPool {
 public:
  using Clock = std::chrono::steady_clock;

  // Decoders unused this long are closed at the next Pin or CloseIdle.
  static constexpr std::chrono::seconds kDefaultIdleTime{20};

  explicit DecoderPool(uint64_t budgetBytes) : budgetBytes_(budgetBytes) {}
  ~DecoderPool() = default;
  DecoderPool(const DecoderPool&) = delete;
  DecoderPool& operator=(const DecoderPool&) = delete;

  // Applies from the next Pin, Account or Unpin.
  void SetBudgetBytes(uint64_t budgetBytes);
  uint64_t BudgetBytes() const;
  void SetIdleTime(Clock::duration idleTime);

  // Registers a member that holds nothing yet; joining twice does nothing.
  void Join(PooledDecoder& member);
  // Forgets the member (it closes itself); it must not be pinned by another thread.
  void Leave(PooledDecoder& member);
  // The member is about to be used: it becomes the most recently used and is not closed until
  // Unpin. Members other than it that have been idle for the idle time are closed first.
  void Pin(PooledDecoder& member, Clock::time_point now = Clock::now());
  // What the pinned member holds now, in bytes: its open decoder (0 when closed) and the pages
  // of its picture. Others are closed, least recently used first, until all fit the budget.
  void Account(PooledDecoder& member, uint64_t decoderBytes, uint64_t pictureBytes);
  // The use has ended. When the pool is still over its budget, the least recently used members
  // are closed, then this member's decoder too; its picture stays, as the caller is about to
  // draw it (it goes when the member is closed later).
  void Unpin(PooledDecoder& member);
  // Closes every member not pinned that has been idle for the idle time.
  void CloseIdle(Clock::time_point now = Clock::now());

  // For tests and diagnostics.
  uint64_t HeldBytes() const;    // decoders and pictures of all members together
  int OpenDecoders() const;      // members with an open decoder
  int Members() const;

 private:
  struct Entry {
    PooledDecoder* member = nullptr;
    uint64_t decoderBytes = 0;
    uint64_t pictureBytes = 0;
    int pins = 0;
    Clock::time_point lastUse{};
  };
  using Order = std::list<Entry>;  // least recently used first

  void CloseLocked(Entry& entry, bool dropPicture);
  // Closes unpinned members, least recently used first, until the held bytes fit the budget.
  void TrimLocked();

  mutable std::mutex mutex_;
  uint64_t budgetBytes_;                                       // guarded by mutex_
  Clock::duration idleTime_ = kDefaultIdleTime;               // guarded by mutex_
  uint64_t heldBytes_ = 0;                                     // guarded by mutex_
  Order order_;                                                // guarded by mutex_
  std::unordered_map<PooledDecoder*, Order::iterator> index_;  // guarded by mutex_
};

// The budget in bytes: TAVRONA_DECODER_MEMORY_MB from the environment when it holds a positive
// number (how tests run the movie tests with a tiny budget), else settings.decoderMemoryMB when
// positive, else a quarter of the machine's physical memory (1 GiB should the system not say).
uint64_t DecoderBudgetBytes(const Settings& settings);

// The process-wide pool that movie sources opened from files join. Its budget is taken from
// Process().settings (DecoderBudgetBytes) when it is first used; whoever changes the settings
// later sets it again with SetBudgetBytes.
DecoderPool& ProcessDecoderPool();

}  // namespace tavrona
