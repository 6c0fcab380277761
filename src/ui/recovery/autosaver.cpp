#include "ui/recovery/autosaver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <system_error>

#include "model/project_file.h"
#include "ui/document.h"

namespace tavrona {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int64_t AutosaveDelayMs(int64_t nowMs, std::optional<int64_t> firstPendingMs, int delaySeconds) {
  const int64_t delay = int64_t{delaySeconds} * 1000;
  if (!firstPendingMs) return delay;
  const int64_t latest = *firstPendingMs + 3 * delay;
  return std::clamp<int64_t>(latest - nowMs, 0, delay);
}

Autosaver::Autosaver(CKeldaDoc& document, std::filesystem::path folder, int delaySeconds,
                     QObject* parent)
    : QObject(parent),
      document_(document),
      folder_(std::move(folder)),
      delaySeconds_(delaySeconds) {
  delay_.setSingleShot(true);
  slice_.setSingleShot(true);
  slice_.setInterval(0);
  connect(&delay_, &QTimer::timeout, this, [this] { AutosaveNow(); });
  connect(&slice_, &QTimer::timeout, this, [this] { CopySlice(); });
  connect(&document_, &CKeldaDoc::projectEdited, this, [this] { Edited(); });
  connect(&document_, &CKeldaDoc::projectSaved, this, [this] { Forget(); });
  connect(&document_, &CKeldaDoc::projectReplaced, this, [this] { Replaced(); });
  // The lock is taken at once and held for the program's life. A folder that cannot be written
  // now is tried again at the first autosave, which says so.
  if (delaySeconds_ > 0) {
    if (auto slot = RecoverySlot::Create(folder_)) slot_ = std::move(*slot);
  }
}

Autosaver::~Autosaver() {
  if (writer_.joinable()) writer_.join();
}

void Autosaver::Edited() {
  if (delaySeconds_ <= 0) return;
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (!firstPendingMs_) firstPendingMs_ = now;
  // A copy under way is out of date; the timer starts a new one.
  if (phase_ == Phase::Copying) {
    slice_.stop();
    phase_ = Phase::Idle;
  }
  delay_.start(static_cast<int>(AutosaveDelayMs(now, firstPendingMs_, delaySeconds_)));
}

void Autosaver::Replaced() {
  Cancel();
  // New or Open came after the save question; a project that comes in modified is a recovered
  // one, whose slot is about to be adopted. An unmodified one has nothing to recover.
  if (!document_.Modified()) {
    WaitForWrite();
    slot_.RemoveData();
  }
}

void Autosaver::Cancel() {
  delay_.stop();
  slice_.stop();
  if (phase_ == Phase::Copying) phase_ = Phase::Idle;
  again_ = false;
  firstPendingMs_.reset();
}

void Autosaver::WaitForWrite() {
  // Bounded by one write of the file (the file system's time for it); nothing else runs there.
  if (writer_.joinable()) writer_.join();
  if (phase_ == Phase::Writing) {
    phase_ = Phase::Idle;
    ++generation_;  // the queued WriteFinished of that write is ignored
  }
}

void Autosaver::Forget() {
  Cancel();
  WaitForWrite();
  slot_.RemoveData();
}

void Autosaver::EndCleanly() {
  Cancel();
  WaitForWrite();
  slot_.Remove();
}

void Autosaver::Adopt(RecoverySlot slot) {
  Cancel();
  WaitForWrite();
  slot_.Remove();
  slot_ = std::move(slot);
}

void Autosaver::Fail(const QString& why) {
  if (!noted_)
    emit note(QCoreApplication::translate("Recovery", "自動保存できませんでした: %1").arg(why));
  noted_ = true;
  emit finished(false);
}

void Autosaver::AutosaveNow() {
  delay_.stop();
  if (phase_ == Phase::Writing) {
    again_ = true;
    return;
  }
  slice_.stop();
  if (!document_.Modified()) {
    // Undone back to the saved state: nothing to recover.
    firstPendingMs_.reset();
    slot_.RemoveData();
    return;
  }
  if (!slot_.Valid()) {
    std::string why;
    auto slot = RecoverySlot::Create(folder_, &why);
    if (!slot) {
      Fail(QString::fromStdString(why));
      return;
    }
    slot_ = std::move(*slot);
  }
  phase_ = Phase::Copying;
  copyCount_ = document_.ChangeCount();
  copyStartedMs_ = QDateTime::currentMSecsSinceEpoch();
  copyStarted_ = Clock::now();
  timing_ = {};
  mirror_.Begin();
  CopySlice();
}

void Autosaver::CopySlice() {
  if (phase_ != Phase::Copying) return;
  if (document_.ChangeCount() != copyCount_) {
    // The user is at work (a selection, an edit): try again a little later.
    phase_ = Phase::Idle;
    delay_.start(kRetryMs);
    return;
  }
  const Clock::time_point start = Clock::now();
  const ProjectMirror::Step step =
      mirror_.CopySome(document_.Project(), start + std::chrono::milliseconds(kSliceMs));
  if (step == ProjectMirror::Step::NoMemory) {
    phase_ = Phase::Idle;
    Fail(QCoreApplication::translate("Recovery", "メモリが足りません"));
  } else if (step == ProjectMirror::Step::More) {
    slice_.start();
  } else {
    timing_.copyWallMs = MsSince(copyStarted_);
    StartWrite();
  }
  const double ms = MsSince(start);
  ++timing_.slices;
  timing_.longestSliceMs = std::max(timing_.longestSliceMs, ms);
  timing_.sliceTotalMs += ms;
}

void Autosaver::StartWrite() {
  phase_ = Phase::Writing;
  firstPendingMs_.reset();
  const uint64_t generation = generation_;
  const std::filesystem::path target = slot_.DataPath();
  const std::string original = document_.PathName().toStdString();
  const int64_t savedAt = copyStartedMs_;
  // The mirror is the writer's until WriteFinished or WaitForWrite.
  try {
    writer_ = std::thread([this, generation, target, original, savedAt, write = write_] {
      const Clock::time_point start = Clock::now();
      std::string why;
      bool ok = false;
      try {
        const std::string bytes = SerializeProject(mirror_.Copy());
        ok = WriteRecoveryFile(target, savedAt, original, bytes, &why, write);
        if (!ok) why = target.string() + ": " + why;
      } catch (const std::bad_alloc&) {
        why = "no memory to serialise the project";
      }
      const double ms = MsSince(start);
      QMetaObject::invokeMethod(
          this,
          [this, generation, ok, why = QString::fromStdString(why), ms] {
            WriteFinished(generation, ok, why, ms);
          },
          Qt::QueuedConnection);
    });
  } catch (const std::system_error& error) {
    phase_ = Phase::Idle;
    Fail(QString::fromLocal8Bit(error.what()));
  }
}

void Autosaver::WriteFinished(uint64_t generation, bool ok, const QString& why, double writeMs) {
  if (generation != generation_) return;  // taken back by WaitForWrite already
  const Clock::time_point start = Clock::now();
  if (writer_.joinable()) writer_.join();
  phase_ = Phase::Idle;
  timing_.writeMs = writeMs;
  timing_.longestSliceMs = std::max(timing_.longestSliceMs, MsSince(start));
  if (ok) {
    noted_ = false;
    emit finished(true);
  } else {
    Fail(why);
  }
  if (again_) {
    again_ = false;
    AutosaveNow();
  }
}

}  // namespace tavrona
