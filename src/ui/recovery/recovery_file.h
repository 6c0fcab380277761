// Recovery files: what the autosave writes for a project with unsaved changes, where it writes
// it, and which running program owns which file.
//
// Layout (little-endian):
//    0  magic "TRCV"
//    4  u32 format version (1)
//    8  i64 time of the autosave, milliseconds since 1970-01-01 UTC
//   16  u32 P, bytes of the project file's path (UTF-8; 0 for a project never saved)
//   20  u32 0
//   24  u64 N, bytes of the project
//   32  P bytes of path, then N bytes of project (the bytes a save writes)
//   32 + P + N  u32 CRC-32 (IEEE, as zlib's crc32) of every byte before it
// A file of any other length, or whose checksum differs, is refused.
//
// Each running program owns one slot: "<name>.recovery" and "<name>.lock" in the recovery
// folder. The program holds an flock on the lock file for its whole life; the kernel releases it
// when the process ends in whatever way, so a slot whose lock can be taken belongs to nobody.
// Plain functions and POSIX calls; every function here may run on any thread unless it says
// otherwise.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/atomic_file.h"

namespace tavrona {

inline constexpr char kRecoveryMagic[4] = {'T', 'R', 'C', 'V'};
inline constexpr uint32_t kRecoveryVersion = 1;
inline constexpr size_t kRecoveryHeaderBytes = 32;
inline constexpr size_t kRecoveryTrailerBytes = 4;

struct RecoveryContent {
  int64_t savedAtMs = 0;     // when the autosave copied the project, ms since the epoch (UTC)
  std::string originalPath;  // the project file's absolute path (UTF-8); empty: never saved
  std::string projectBytes;  // the project as a save writes it (SerializeProject)
};

// CRC-32 (IEEE 802.3, reflected, as zlib's crc32) continued from crc over bytes; start with 0.
uint32_t RecoveryCrc32(uint32_t crc, std::string_view bytes);

// The file's bytes around the project: the header with the path, and the checksum trailer.
std::string RecoveryHead(int64_t savedAtMs, std::string_view originalPath, uint64_t projectBytes);
std::string RecoveryTrailer(uint32_t crc);

// Writes the file atomically (temporary file in the same folder, fsync, rename, then the
// folder synced): on failure the previous file at target stays as it was and why (when given)
// receives the system's words. write is the seam a test fails the disk through.
bool WriteRecoveryFile(const std::filesystem::path& target, int64_t savedAtMs,
                       std::string_view originalPath, std::string_view projectBytes,
                       std::string* why = nullptr, const WriteCall& write = {});

// Checks and splits a file's bytes; on failure out may hold anything and why says what is wrong
// (the file is truncated, not a recovery file, of a newer version, damaged).
bool ParseRecoveryFile(std::string_view bytes, RecoveryContent& out, std::string* why);
// Reads and parses the file at path; why also gets the system's words when it cannot be read.
bool ReadRecoveryFile(const std::filesystem::path& path, RecoveryContent& out, std::string* why);

// The folder recovery files live in: $XDG_STATE_HOME/tavrona/recovery when XDG_STATE_HOME is an
// absolute path, else $HOME/.local/state/tavrona/recovery. Not created here.
std::filesystem::path RecoveryFolder();

// One program's recovery file and the lock that says the program is alive. Move-only; the lock
// is held while the object holds it. Destroying it releases the lock and leaves both files (as a
// crash would); Remove() takes them away.
class RecoverySlot {
 public:
  RecoverySlot() = default;
  ~RecoverySlot();
  RecoverySlot(RecoverySlot&& other) noexcept;
  RecoverySlot& operator=(RecoverySlot&& other) noexcept;
  RecoverySlot(const RecoverySlot&) = delete;
  RecoverySlot& operator=(const RecoverySlot&) = delete;

  // A new slot for this program in folder (created when missing), its lock held: the lock file
  // is locked under a temporary name and only then linked to its own, so no other program ever
  // sees it unlocked. Nothing on failure, why saying what failed.
  static std::optional<RecoverySlot> Create(const std::filesystem::path& folder,
                                            std::string* why = nullptr);

  bool Valid() const { return lockFd_ >= 0; }
  const std::filesystem::path& DataPath() const { return data_; }
  std::filesystem::path LockPath() const;

  // Removes the recovery file (the slot stays this program's). False with errno when it exists
  // and cannot be removed.
  bool RemoveData() const;
  // Removes the recovery file and then the lock file, then releases the lock: the slot is empty.
  void Remove();
  // Renames the recovery file to "<name>.recovery.broken" (kept for the user to look at), then
  // removes the lock file and releases the lock. The broken file's path, or nothing (errno set).
  std::optional<std::filesystem::path> MoveAside();

 private:
  friend std::vector<RecoverySlot> ClaimAbandonedSlots(const std::filesystem::path& folder);
  RecoverySlot(std::filesystem::path data, int lockFd) : data_(std::move(data)), lockFd_(lockFd) {}
  void Release();

  std::filesystem::path data_;  // "<folder>/<name>.recovery"
  int lockFd_ = -1;             // holds the flock
};

// Every recovery file in folder whose program has ended, each with its lock now held for the
// caller, ordered by name. A file whose lock another running program holds is left alone (two
// programs never take each other's files). Lock files whose lock can be taken and that have no
// recovery file, and the temporary files of a write cut short, are removed on the way.
std::vector<RecoverySlot> ClaimAbandonedSlots(const std::filesystem::path& folder);

// The modification time of the file at path in ms since the epoch; nothing when it cannot be
// had (no such file).
std::optional<int64_t> FileModifiedMs(const std::filesystem::path& path);

}  // namespace tavrona
