#include "ui/composition_worker.h"

#include <QMetaObject>
#include <system_error>
#include <utility>

#include "render/mix.h"
#include "render/playback.h"
#include "render/reduced_placement.h"
#include "ui/sound/qt_audio_output.h"
#include "ui/frame_image.h"
#include "ui/panes/image_view_logic.h"

namespace tavrona {

// The hand-off between the user-interface thread (UI) and the worker thread (W):
//   - UI puts a preview job in job_ (replacing one not yet taken) or a playback order in
//     order_, under mutex_, and wakes W through work_.
//   - W takes the job, or starts or continues the run the order names, with busy_ set under
//     mutex_ before it lets go of the lock; only while busy_ does W touch the project and the
//     movie entries. When done it clears busy_ and wakes idle_.
//   - StopPlayback and Quiesce (UI) cancel cancel_ when W composes a playback frame
//     (busyPlaying_): W's movie requests then fail at once, and the frame, which nobody will
//     show, ends after drawing what the entries hold. W resets cancel_ before each job.
//   - Quiesce (UI) clears job_ and order_ and waits on idle_ for !busy_: afterwards W cannot
//     start anything until UI hands in something new, so UI owns the project again.
//   - Results go back as queued signals of this object, which lives on UI (workerPreviewDone,
//     workerFrameDone, workerPlaybackDone): a picture is always a QImage copy, never a pointer
//     into the project. Playback frames carry their session;
//     UI drops frames of a session it has stopped, so nothing arrives after StopPlayback.
//   - Sound (UI only starts and stops it): StartPlayback starts feed_, whose own thread (F)
//     reads the project through the mix, and the output audio_, which takes from feed_ on a
//     thread of its choice. W reads nothing of them but the output's atomic played count
//     (through its run's pointer; audio_ lives until the destructor, and SetAudioOutput
//     replaces it only after Quiesce). StopPlayback, Quiesce and the end of a run stop the
//     output and then F (joined), so once Quiesce returns neither W nor F touches the project.
//     A failed output is noticed by W, which goes on by the steady clock and asks UI
//     (workerSoundFailed) to stop the output and F.
// Waits: W waits on work_ for work or, while playing, until the next frame's time (wait_until,
// woken early by a new job, a changed order or exit); UI waits on idle_ only for the job or the
// frame W is working on: a cancelled playback frame ends at once, a preview by itself (a movie
// request is bounded by its timeout).

// The worker thread's state of one playback session.
struct CompositionWorker::PlaybackRun {
  ProjectData* project = nullptr;
  uint64_t session = 0;
  uint32_t next = 0;  // the next frame to compose
  std::optional<PlaybackClock> clock;  // from the first frame, at the project's frame duration
  const AudioOutput* sound = nullptr;  // the clock's source; null: the steady clock from start
  bool clockStarted = false;
  Clock::time_point start;  // when the first frame was shown (steady clock only)
  PlaybackStates states{};
  PreviewResolution resolution = PreviewResolution::Full;  // the order's, as last taken
  AutomaticReduction reduction;  // the reduction of the next frame
  FrameBuffer frame;             // the project's size divided by frameReduction
  int32_t frameReduction = 0;
};

CompositionWorker::CompositionWorker(MovieFrames& movies, QObject* parent)
    : QObject(parent), movies_(movies), previewStates_(std::make_unique<PlaybackStates>()) {
  connect(
      this, &CompositionWorker::workerPreviewDone, this,
      [this](quint64 serial, bool ok, const QImage& image, qint32 reduction) {
        emit previewReady(serial, ok, image, reduction);
      },
      Qt::QueuedConnection);
  connect(
      this, &CompositionWorker::workerFrameDone, this,
      [this](quint64 session, quint32 frame, const QImage& image, qint32 reduction) {
        if (session != session_ || !playing_) return;
        shownReduction_ = reduction;
        const Clock::time_point now = Clock::now();
        shownTimes_.push_back(now);
        while (!shownTimes_.empty() && shownTimes_.front() <= now - std::chrono::seconds(1)) {
          shownTimes_.pop_front();
        }
        emit playbackFrame(frame, image, reduction);
      },
      Qt::QueuedConnection);
  connect(
      this, &CompositionWorker::workerSoundFailed, this,
      [this](quint64 session) {
        if (session != session_ || !playing_ || soundClock_ == nullptr) return;
        StopSound();
        emit soundUnavailable();
      },
      Qt::QueuedConnection);
  connect(
      this, &CompositionWorker::workerPlaybackDone, this,
      [this](quint64 session) {
        if (session != session_ || !playing_) return;
        playing_ = false;
        StopSound();
        emit playbackEnded();
      },
      Qt::QueuedConnection);
}

CompositionWorker::~CompositionWorker() {
  Abandon();
  {
    std::lock_guard lock(mutex_);
    exiting_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool CompositionWorker::EnsureThread() {
  if (thread_.joinable()) return true;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CompositionWorker::ClearPlaybackLocked() {
  // The frame being composed is nobody's any more. Lock order: mutex_, then the frame lock that
  // Cancel takes (the worker never waits for mutex_ while it holds the frame lock).
  if (busyPlaying_) cancel_.Cancel();
  order_.reset();
  ++session_;
  playing_ = false;
  shownTimes_.clear();
}

void CompositionWorker::Quiesce() { QuiesceAndWait(false); }

void CompositionWorker::Abandon() { QuiesceAndWait(true); }

void CompositionWorker::QuiesceAndWait(bool abandonPreview) {
  {
    std::unique_lock lock(mutex_);
    ClearPlaybackLocked();
    job_.reset();
    // Nothing new can start now; the running job is the only one left to end.
    if (abandonPreview && busy_) cancel_.Cancel();
    idle_.wait(lock, [&] { return !busy_; });
  }
  StopSound();
}

void CompositionWorker::StopSound() {
  if (soundClock_ != nullptr) soundClock_->Stop();
  soundClock_ = nullptr;
  feed_.Stop();
}

void CompositionWorker::SetAudioOutput(std::unique_ptr<AudioOutput> output) {
  Quiesce();
  // The worker thread is idle and holds no run that could read the old output's count.
  {
    std::lock_guard lock(mutex_);
    audio_ = std::move(output);
  }
}

uint64_t CompositionWorker::RequestPreview(ProjectData& project, const PreviewRequest& request,
                                           const EventRecord& scratchEvent) {
  const uint64_t serial = ++nextSerial_;
  if (!EnsureThread()) {
    emit workerPreviewDone(serial, false, QImage(), 1);
    return serial;
  }
  {
    std::lock_guard lock(mutex_);
    job_ = PreviewJob{&project, request, scratchEvent, serial, StartingReduction(resolution_)};
  }
  work_.notify_one();
  return serial;
}

bool CompositionWorker::StartPlayback(ProjectData& project, uint32_t fromFrame) {
  StopPlayback();
  if (project.frameDuration100ns <= 0 || !EnsureThread()) return false;
  if (ProjectHasSound(project) && fromFrame < project.movieLength) {
    if (!audio_) audio_ = std::make_unique<QtAudioOutput>();
    if (feed_.Start(project, FrameStartSample(fromFrame, project.frameDuration100ns)) &&
        audio_->Start(feed_)) {
      soundClock_ = audio_.get();
    } else {
      feed_.Stop();
      emit soundUnavailable();
    }
  }
  {
    std::lock_guard lock(mutex_);
    order_ = PlaybackOrder{&project, fromFrame, session_, soundClock_, resolution_};
    playing_ = true;
    shownReduction_ = StartingReduction(resolution_);
  }
  work_.notify_one();
  return true;
}

void CompositionWorker::SetPreviewResolution(PreviewResolution resolution) {
  {
    std::lock_guard lock(mutex_);
    resolution_ = resolution;
    if (order_) order_->resolution = resolution;
  }
  work_.notify_one();
}

void CompositionWorker::StopPlayback() {
  {
    std::lock_guard lock(mutex_);
    ClearPlaybackLocked();
  }
  work_.notify_one();
  StopSound();
}

int CompositionWorker::AchievedFramesPerSecond() const {
  const Clock::time_point since = Clock::now() - std::chrono::seconds(1);
  int frames = 0;
  for (const Clock::time_point shown : shownTimes_) {
    if (shown > since) ++frames;
  }
  return frames;
}

bool CompositionWorker::RunWhileIdle(const std::function<void()>& f) {
  // busy_ is set under the mutex before every composition, so holding it while busy_ is clear
  // keeps the worker from starting one until f has returned.
  std::lock_guard lock(mutex_);
  if (busy_) return false;
  f();
  return true;
}

// Worker thread.
void CompositionWorker::Run() {
  const ScopedFrameRequestCancel bindCancel(cancel_);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (exiting_) return;
    if (job_) {
      const PreviewJob job = *job_;
      job_.reset();
      cancel_.Reset();
      busy_ = true;
      lock.unlock();
      RunPreview(job);
      lock.lock();
      busy_ = false;
      idle_.notify_all();
      continue;
    }
    if (!order_) {
      run_.reset();
      work_.wait(lock, [&] { return exiting_ || job_.has_value() || order_.has_value(); });
      continue;
    }
    if (!run_ || run_->session != order_->session) {
      const PlaybackOrder order = *order_;
      cancel_.Reset();
      busy_ = busyPlaying_ = true;
      lock.unlock();
      StartRun(order);
      lock.lock();
      busy_ = busyPlaying_ = false;
      idle_.notify_all();
      continue;
    }
    const Clock::time_point due = NextFrameDue();
    if (Clock::now() < due) {
      const uint64_t session = run_->session;
      work_.wait_until(lock, due, [&] {
        return exiting_ || job_.has_value() || !order_ || order_->session != session;
      });
      continue;
    }
    if (run_->resolution != order_->resolution) {
      run_->resolution = order_->resolution;
      run_->reduction = AutomaticReduction(run_->resolution);
    }
    cancel_.Reset();
    busy_ = busyPlaying_ = true;
    lock.unlock();
    const bool more = PlaybackStep();
    lock.lock();
    busy_ = busyPlaying_ = false;
    idle_.notify_all();
    if (!more) {
      const uint64_t session = run_->session;
      if (order_ && order_->session == session) order_.reset();
      run_.reset();
      emit workerPlaybackDone(session);
    }
  }
}

// Worker thread, busy_ set.
void CompositionWorker::RunPreview(const PreviewJob& job) {
  PreviewPicture picture;
  const bool ok = MakePreviewPicture(*job.project, job.request, job.scratchEvent, *previewStates_,
                                     movies_, picture, job.reduction);
  QImage image = ok && picture.image != nullptr ? FrameImage(*picture.image) : QImage();
  const uint64_t serial = job.serial;
  emit workerPreviewDone(serial, ok, image, picture.reduction);
}

// Worker thread, busy_ set: every track sought to the first frame, the clock not yet running.
void CompositionWorker::StartRun(const PlaybackOrder& order) {
  run_ = std::make_unique<PlaybackRun>();
  PlaybackRun& run = *run_;
  ProjectData& project = *order.project;
  run.project = order.project;
  run.session = order.session;
  run.next = order.fromFrame;
  run.clock.emplace(order.fromFrame, project.frameDuration100ns);
  run.sound = order.sound;
  run.resolution = order.resolution;
  run.reduction = AutomaticReduction(order.resolution);
  PrepareExportTracks(project, run.states, order.fromFrame);
}

// Worker thread: the clock's count. With sound, the output's (an atomic read); without, the
// steady time since the first frame was shown.
int64_t CompositionWorker::PlayedSamples() const {
  if (run_->sound != nullptr) return run_->sound->PlayedSamples();
  if (!run_->clockStarted) return 0;
  return SamplesInTicks(std::chrono::duration_cast<Ticks>(Clock::now() - run_->start).count());
}

// Worker thread, under mutex_ (touches only the worker's own run): a failed output's count stops;
// the steady clock takes over from where it stood, and the user-interface thread is told to stop
// the output and the feed.
void CompositionWorker::FollowSoundFailure() {
  PlaybackRun& run = *run_;
  if (run.sound == nullptr || !run.sound->Failed()) return;
  const int64_t played = run.sound->PlayedSamples();
  run.sound = nullptr;
  run.start = Clock::now() - Ticks(played * 10'000'000 / kMixRate);
  run.clockStarted = true;
  emit workerSoundFailed(run.session);
}

// Worker thread, under mutex_ (reads only the worker's own run and the output's atomic count).
// With sound the due time is estimated from the samples still to play and checked again when
// it comes, since the device's clock need not run at the steady clock's pace.
CompositionWorker::Clock::time_point CompositionWorker::NextFrameDue() {
  FollowSoundFailure();
  if (!run_->clockStarted) return Clock::time_point::min();
  const int64_t until = run_->clock->SamplesUntil(run_->next, PlayedSamples());
  if (until == 0) return Clock::time_point::min();
  return Clock::now() + Ticks(until * 10'000'000 / kMixRate + 1);
}

// Worker thread, busy_ set. Composes the frame the clock has reached and hands it to UI; false
// once the movie length is reached (or no frame can be composed).
bool CompositionWorker::PlaybackStep() {
  PlaybackRun& run = *run_;
  ProjectData& project = *run.project;
  const uint32_t length = project.movieLength;
  const int32_t reduction = run.reduction.Reduction();
  if (run.frameReduction != reduction) {
    // Without a frame buffer the run ends here.
    if (!CreateFrameBuffer(run.frame, ReducedExtent(project.outputWidth, reduction),
                           ReducedExtent(project.outputHeight, reduction), 32)) {
      return false;
    }
    run.frameReduction = reduction;
  }
  if (!run.clockStarted) {
    run.start = Clock::now();
    run.clockStarted = true;
  }
  const uint32_t reached = run.clock->FrameToCompose(run.next, PlayedSamples());
  if (reached > run.next) {
    // Late: the frames the clock has passed are not drawn; the states jump to where it is.
    if (reached >= length) return false;
    for (int t = 0; t < kTrackCount; ++t) SeekTrack(project.tracks[t], run.states[t], reached);
    run.next = reached;
  }
  if (run.next >= length) return false;
  ComposeNextExportFrame(project, run.states, run.frame, &movies_, false, nullptr, reduction);
  QImage image = FrameImage(run.frame);
  const uint64_t session = run.session;
  const uint32_t frame = run.next;
  emit workerFrameDone(session, frame, image, reduction);
  // Late: the clock left the frame's time slot before it was handed on.
  run.reduction.FrameComposed(run.clock->FrameReached(PlayedSamples()) > frame);
  ++run.next;
  return run.next < length;
}

}  // namespace tavrona
