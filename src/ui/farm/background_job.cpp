#include "ui/farm/background_job.h"

#include <QThread>

namespace tavrona {

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob() {
  if (thread_ == nullptr) return;
  thread_->disconnect(this);
  thread_->wait();
  delete thread_;
}

bool BackgroundJob::Start(std::function<void()> work, std::function<void()> done) {
  if (thread_ != nullptr) return false;
  done_ = std::move(done);
  thread_ = QThread::create(std::move(work));
  connect(thread_, &QThread::finished, this, &BackgroundJob::Finish, Qt::QueuedConnection);
  thread_->start();
  return true;
}

void BackgroundJob::Wait() {
  if (thread_ == nullptr) return;
  thread_->wait();
  Finish();
}

void BackgroundJob::Finish() {
  // A call queued by an earlier job that Wait already finished comes late: nothing to do, and
  // a job started since is left running.
  if (thread_ == nullptr || !thread_->isFinished()) return;
  thread_->disconnect(this);
  delete thread_;
  thread_ = nullptr;
  std::function<void()> done = std::move(done_);
  done_ = nullptr;
  if (done) done();
}

}  // namespace tavrona
