// One submission for an output at a time: an exclusive lock (flock) on OUT.parts/lock.
#pragma once

#include <optional>
#include <string>

namespace tavrona {

std::string FarmLockPath(const std::string& partsFolder);

// Why FarmLock::Take refused.
struct FarmLockRefusal {
  bool held = false;   // another holds it (error 0); otherwise the file could not be used
  std::string path;    // the lock file
  std::string holder;  // held: the holder's note ("process P on HOST since TIME"), may be empty
  int error = 0;       // not held: errno of the failing call
  bool opening = false;  // not held: the file could not be opened (else: not locked)
};

// Held from before a submission reads the manifest until its jobs are submitted and the
// manifest names them. Released when destroyed (or the process ends). While it holds the lock,
// the holder's process id, host and start time are in the file for whoever is refused.
class FarmLock {
 public:
  // Takes the lock without waiting; nullopt with *refusal filled when it cannot.
  static std::optional<FarmLock> Take(const std::string& partsFolder, FarmLockRefusal* refusal);
  FarmLock(FarmLock&& other) noexcept;
  FarmLock& operator=(FarmLock&& other) noexcept;
  FarmLock(const FarmLock&) = delete;
  FarmLock& operator=(const FarmLock&) = delete;
  ~FarmLock();

 private:
  FarmLock() = default;
  int fd_ = -1;
};

}  // namespace tavrona
