// Autosaver: writes the project's bytes to this program's recovery file a few seconds after the
// last change, without touching the project file, the modified flag, the title or the project
// folder, and without stopping playback or an export.
//
// How one autosave runs: the delay timer fires on the user-interface thread; the project is
// copied into a mirror (ProjectMirror) in slices of at most kSliceMs, one per turn of the event
// loop, and when the document's change count moved between two slices the copy starts over
// after kRetryMs; once complete, a writer thread serialises the mirror and writes the file
// atomically (recovery_file.h). The next autosave waits until that write has ended.
//
// Thread contract: everything but the writer thread's body runs on the user-interface thread.
// The mirror belongs to the user-interface thread while phase_ is Copying and to the writer
// thread while phase_ is Writing; the writer hands it back through a queued call
// (WriteFinished), or the user-interface thread takes it back by joining the thread
// (WaitForWrite). No other field is touched by the writer.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <thread>

#include "ui/recovery/project_mirror.h"
#include "ui/recovery/recovery_file.h"

namespace tavrona {

class CKeldaDoc;

// The delay before the next autosave, given the first change not yet autosaved: delaySeconds
// after the last change, but never more than three delays after that first change, so that a
// user who goes on editing still gets one.
int64_t AutosaveDelayMs(int64_t nowMs, std::optional<int64_t> firstPendingMs, int delaySeconds);

// How the last autosave used the user-interface thread (for the benchmark and the tests).
struct AutosaveTiming {
  int slices = 0;
  double longestSliceMs = 0;  // the longest single block of the user-interface thread
  double sliceTotalMs = 0;    // all blocks together
  double copyWallMs = 0;      // from the first slice to the copy's end
  double writeMs = 0;         // serialising and writing, on the writer thread
};

class Autosaver : public QObject {
  Q_OBJECT

 public:
  static constexpr int kSliceMs = 8;
  static constexpr int kRetryMs = 1000;

  // delaySeconds 0 turns autosaving off (the recovery file of an adopted slot is still removed
  // on save and discard). Otherwise this program's slot is made in folder now (or, when the
  // folder cannot be written, at the first autosave) and kept until EndCleanly or destruction.
  Autosaver(CKeldaDoc& document, std::filesystem::path folder, int delaySeconds,
            QObject* parent = nullptr);
  // Waits for a write in flight; leaves the slot's files, as a crash would.
  ~Autosaver() override;

  // The changes were saved or given up: the recovery file goes (after a write in flight).
  void Forget();
  // The program ends cleanly: the recovery file and the lock file go.
  void EndCleanly();
  // A recovered project's slot becomes this program's (the current one is removed).
  void Adopt(RecoverySlot slot);
  // Starts an autosave now, as the delay timer does.
  void AutosaveNow();

  // Neither waiting, copying nor writing.
  bool Idle() const { return phase_ == Phase::Idle && !delay_.isActive(); }
  const RecoverySlot& Slot() const { return slot_; }
  const AutosaveTiming& LastTiming() const { return timing_; }
  // The call the writer writes through (a test's full disk); empty: ::write.
  void SetWriteCallForTests(WriteCall write) { write_ = std::move(write); }

 signals:
  // A note for the status bar: autosaving failed (said once until an autosave succeeds again).
  void note(const QString& text);
  // An autosave ended: the file was written (true) or the write failed (false).
  void finished(bool written);

 private:
  enum class Phase { Idle, Copying, Writing };

  void Edited();
  void Replaced();
  void CopySlice();
  void StartWrite();
  void WriteFinished(uint64_t generation, bool ok, const QString& why, double writeMs);
  void WaitForWrite();
  void Cancel();
  void Fail(const QString& why);

  CKeldaDoc& document_;
  const std::filesystem::path folder_;
  const int delaySeconds_;
  RecoverySlot slot_;
  QTimer delay_;  // the delay after the last change, and the retry after a moved change count
  QTimer slice_;  // zero timer: the next slice of the copy
  Phase phase_ = Phase::Idle;
  bool again_ = false;                     // the delay ran out while writing: autosave after it
  std::optional<int64_t> firstPendingMs_;  // the first change not yet autosaved
  uint64_t copyCount_ = 0;                 // the change count the copy began at
  int64_t copyStartedMs_ = 0;              // wall clock at the copy's start: the file's time
  std::chrono::steady_clock::time_point copyStarted_;
  ProjectMirror mirror_;     // see the thread contract above
  std::thread writer_;       // joined by WriteFinished or WaitForWrite
  uint64_t generation_ = 0;  // bumped when a write's result is no longer wanted
  bool noted_ = false;       // a failure was said since the last success
  AutosaveTiming timing_;
  WriteCall write_;
};

}  // namespace tavrona
