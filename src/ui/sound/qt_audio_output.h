// QtAudioOutput: playback's sound through the default sound device (QAudioSink, 48 kHz, two
// channels, float), written to it from the feed.
//
// Threads: everything but PlayedSamples and Failed on the user-interface thread, where the
// sink lives. A timer there, every 5 ms, copies what the device has room for out of the feed's
// buffer (the mixing runs on the feed's own thread) and samples the device's position into an
// atomic that PlayedSamples reads from any thread. Push mode, not pull: the writes stay ours,
// so an empty feed is a short write and never ends the stream.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <vector>

#include "ui/sound/audio_output.h"

class QAudioSink;
class QIODevice;
class QTimer;

namespace tavrona {

class QtAudioOutput final : public QObject, public AudioOutput {
  Q_OBJECT

 public:
  explicit QtAudioOutput(QObject* parent = nullptr);
  ~QtAudioOutput() override;

  bool Start(SoundFeed& feed) override;
  void Stop() override;
  int64_t PlayedSamples() const override { return played_.load(std::memory_order_acquire); }
  bool Failed() const override { return failed_.load(std::memory_order_acquire); }

 private:
  void Pump();

  std::unique_ptr<QAudioSink> sink_;
  QIODevice* io_ = nullptr;      // the sink's, valid while sink_ runs
  SoundFeed* feed_ = nullptr;    // from Start to Stop
  int64_t handed_ = 0;           // pairs written to the sink since Start
  std::vector<float> buffer_;    // one write's pairs
  QTimer* timer_ = nullptr;
  std::atomic<int64_t> played_{0};
  std::atomic<bool> failed_{false};  // the sink stopped with an error
};

}  // namespace tavrona
