// CompositionWorker: composes previews and real-time playback on a thread of its own, so that no
// paint event and no user-interface step ever waits for a movie decoder.
//
// Threads: the public functions are called on the user-interface thread. The worker thread
// reads the project (tracks, file table) and brings movie entries' pictures to the frames it
// needs; it uses playback states of its own, never the export's. Results come back to the
// user-interface thread as queued signals carrying picture copies. The user-interface thread
// must not change the project while the worker runs a job: the document calls Quiesce() first.
//
// Playback with sound: when the project holds sound, StartPlayback also starts a SoundFeed (which
// mixes on a thread of its own) and the audio output, and the sample count the output reports
// as played drives the picture instead of the steady clock. Quiesce and StopPlayback stop the
// output and the feed before they return, so after Quiesce no thread of playback touches the
// project. When the output fails during playback, the picture goes on from the count it had
// reached on the steady clock, the output and the feed stop and soundUnavailable is emitted.
// The output object stays the worker's for its whole life, so the worker thread may
// read its count for as long as it runs.
//
// Preview resolution (ui/preview_resolution.h): previews of one track or of the whole composition
// and playback frames are composed at the reduction the chosen resolution gives, so their
// pictures are the project's size divided by 1, 2 or 4 (rounded up); every picture travels with
// the reduction it was composed at. A file's own picture is never reduced. With "自動" previews
// compose at full size and playback steps down by the AutomaticReduction rule.
//
// A movie frame request on the worker thread that waits too long asks Process().timeoutTarget
// like any other; the main window's target abandons a request made off the user-interface
// thread, so a timed-out preview simply fails (and playback draws that frame from the picture
// the entry still holds).
#pragma once

#include <QImage>
#include <QObject>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "model/event_record.h"
#include "model/project_data.h"
#include "render/compose.h"
#include "sources/frame_request_cancel.h"
#include "ui/pane_records.h"
#include "ui/preview_resolution.h"
#include "ui/sound/audio_output.h"
#include "ui/sound/playback_clock.h"
#include "ui/sound/sound_feed.h"

namespace tavrona {

class CompositionWorker : public QObject {
  Q_OBJECT

 public:
  explicit CompositionWorker(MovieFrames& movies, QObject* parent = nullptr);
  ~CompositionWorker() override;  // Abandon, then ends the thread

  // Runs f on the calling thread when the worker is between jobs, with the worker held there
  // until f returns; false (f not run) while it composes. For what must not overlap a
  // composition, such as closing idle movie decoders, whose pictures a composition reads.
  bool RunWhileIdle(const std::function<void()>& f);

  // Stops playback (abandoning its frame, as StopPlayback), forgets a preview job not yet
  // started and waits until the running one has ended. Afterwards the worker touches nothing of
  // the project until the next request.
  void Quiesce();
  // Quiesce for good, when the project goes away: a running preview is abandoned as a playback
  // frame is (its result is not wanted any more, and comes with ok false).
  void Abandon();

  // Hands in a preview: the request and a copy of the scratch event are copied, project must
  // stay unchanged until the result has come (or Quiesce). Replaces a job handed in earlier that
  // has not started yet (its result never comes). Returns the job's serial, which
  // previewReady carries; serials only grow.
  uint64_t RequestPreview(ProjectData& project, const PreviewRequest& request,
                          const EventRecord& scratchEvent);

  // The resolution later previews and playbacks compose at. A running playback takes it from
  // its next frame on (with "自動" starting again at full size).
  void SetPreviewResolution(PreviewResolution resolution);
  PreviewResolution Resolution() const { return resolution_; }
  // The reduction of the last playback frame delivered (1 before the first).
  int32_t PlaybackReduction() const { return shownReduction_; }

  // The sound output playback uses; by default (none set) the sound device, made at the first
  // playback with sound. Call only while not playing.
  void SetAudioOutput(std::unique_ptr<AudioOutput> output);

  // Plays the project from output frame fromFrame: every track's state (the worker's own) is
  // sought there, then frames are composed one after the other at the project's frame rate and
  // delivered by playbackFrame. The clock is the sound output's played sample count when the
  // project has sound and the output starts; otherwise a steady clock, and when sound there was
  // but no output could start, soundUnavailable is emitted (before this returns). A frame that
  // would come late is skipped (the states are sought forward to the frame the clock has
  // reached), so the clock never slows.
  // Stops by itself after the last frame before the movie length (playbackEnded). A running
  // playback is replaced. False (nothing started) when the project's frame duration is not
  // positive or the thread could not be started.
  bool StartPlayback(ProjectData& project, uint32_t fromFrame);
  // Ends playback; no playbackFrame of it is delivered afterwards. The frame being composed is
  // abandoned: its movie requests fail at once, so the worker is soon free again. Does not wait
  // for it (Quiesce does).
  void StopPlayback();
  // From StartPlayback until StopPlayback, Quiesce or the delivery of playbackEnded.
  bool Playing() const { return playing_; }
  // Playing, with the sound output as the clock.
  bool PlayingSound() const { return playing_ && soundClock_ != nullptr; }
  // The output playing this session's sound; null when none is.
  const AudioOutput* CurrentAudioOutput() const { return soundClock_; }
  // Playback frames delivered in the last second: the rate the status bar shows.
  int AchievedFramesPerSecond() const;

 signals:
  // The picture of preview job serial: ok false when a movie frame or a track failed; image null
  // when the request names no picture (or failed). reduction: what the picture was composed at
  // (1 for a file's own picture).
  void previewReady(quint64 serial, bool ok, QImage image, qint32 reduction);
  // One composed playback frame, in increasing frame order, composed at reduction.
  void playbackFrame(quint32 frame, QImage image, qint32 reduction);
  // Playback reached the movie length by itself.
  void playbackEnded();
  // The project has sound but no sound output could start: playback goes on silently.
  void soundUnavailable();

  // The worker thread's results, emitted there and queued to the user-interface thread, which
  // turns them into the signals above. Queued signals carry their arguments in the event, and
  // the receiving functors belong to connections made on the user-interface thread, so nothing
  // made on the worker thread is destroyed on another. Not for other receivers.
  void workerPreviewDone(quint64 serial, bool ok, QImage image, qint32 reduction);
  void workerFrameDone(quint64 session, quint32 frame, QImage image, qint32 reduction);
  void workerPlaybackDone(quint64 session);
  void workerSoundFailed(quint64 session);

 private:
  using Clock = std::chrono::steady_clock;
  // The project's time unit: 100 ns.
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;

  struct PreviewJob {
    ProjectData* project = nullptr;
    PreviewRequest request;
    EventRecord scratchEvent{};
    uint64_t serial = 0;
    int32_t reduction = 1;
  };
  struct PlaybackOrder {
    ProjectData* project = nullptr;
    uint32_t fromFrame = 0;
    uint64_t session = 0;
    const AudioOutput* sound = nullptr;  // the clock; null for the steady clock
    PreviewResolution resolution = PreviewResolution::Full;  // changed by SetPreviewResolution
  };
  struct PlaybackRun;  // the worker thread's state of one playback session

  bool EnsureThread();
  // Quiesce, and with abandonPreview Abandon.
  void QuiesceAndWait(bool abandonPreview);
  void Run();
  void RunPreview(const PreviewJob& job);
  void StartRun(const PlaybackOrder& order);
  Clock::time_point NextFrameDue();
  void FollowSoundFailure();
  bool PlaybackStep();
  void ClearPlaybackLocked();
  // Stops the sound output and the feed (user-interface thread, outside mutex_).
  void StopSound();
  // Worker thread: sample pairs played since the run's first frame was shown.
  int64_t PlayedSamples() const;

  MovieFrames& movies_;  // used on the worker thread only

  // Guards every field below down to the worker-thread section.
  std::mutex mutex_;
  // The worker thread waits on it for a job, a playback order, the next frame's time or exit.
  std::condition_variable work_;
  // Quiesce waits on it until the worker is not busy.
  std::condition_variable idle_;
  std::optional<PreviewJob> job_;       // set by RequestPreview, taken by the worker thread
  std::optional<PlaybackOrder> order_;  // set by StartPlayback; cleared by StopPlayback,
                                        // Quiesce and by the worker thread at the end
  bool busy_ = false;     // the worker thread is touching the project (outside the lock)
  bool busyPlaying_ = false;  // busy_ with a playback frame, which a stop abandons
  // Bound to the worker thread: cancelled when the playback whose frame it composes stops, so
  // that the frame's movie requests fail at once instead of decoding on (reset before each job).
  FrameRequestCancel cancel_;
  bool exiting_ = false;  // the destructor asks the thread to end
  PreviewResolution resolution_ = PreviewResolution::Full;  // written by UI under the lock

  // Worker thread only (created and destroyed while the thread is not running).
  std::unique_ptr<PlaybackStates> previewStates_;
  std::unique_ptr<PlaybackRun> run_;

  // User-interface thread only.
  std::thread thread_;
  uint64_t nextSerial_ = 0;
  uint64_t session_ = 0;  // playback session whose frames are delivered; bumped by every change
  bool playing_ = false;
  int32_t shownReduction_ = 1;
  std::deque<Clock::time_point> shownTimes_;  // delivery times of the last second's frames
  std::unique_ptr<AudioOutput> audio_;  // kept until destruction (the worker reads its count)
  AudioOutput* soundClock_ = nullptr;   // audio_ while it plays this session's sound
  SoundFeed feed_;                      // runs while soundClock_ is set
};

}  // namespace tavrona
