// One piece of blocking work (a Slurm command, a submission) run off the user-interface thread,
// with its ending handed back to that thread, so a window stays responsive while it waits.
#pragma once

#include <QObject>
#include <functional>

class QThread;

namespace tavrona {

class BackgroundJob : public QObject {
  Q_OBJECT

 public:
  explicit BackgroundJob(QObject* parent = nullptr);
  // Waits for work still running: it must not outlive what it writes to.
  ~BackgroundJob() override;

  // Runs work on a thread of its own, then done on this object's thread (from its event loop).
  // One job at a time: false, and nothing run, while one is running.
  bool Start(std::function<void()> work, std::function<void()> done);
  bool Running() const { return thread_ != nullptr; }
  // Waits until the running work has ended and its done has run (tests, shutting down).
  void Wait();

 private:
  void Finish();

  QThread* thread_ = nullptr;
  std::function<void()> done_;
};

}  // namespace tavrona
