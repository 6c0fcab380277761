// QtAudioOutput: playback's sound through the default sound device (QAudioSink, 48 kHz, two
// channels, float), pulled from the feed.
//
// Threads: everything but PlayedSamples on the user-interface thread, where the sink lives
// and pulls from the feed (a plain copy out of the feed's buffer; the mixing runs on the feed's
// own thread). A timer there samples the device's position every 5 ms into an atomic that
// PlayedSamples reads from any thread.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>

#include "ui/sound/audio_output.h"

class QAudioSink;
class QTimer;

namespace tavrona {

class FeedDevice;

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
  void Sample();

  std::unique_ptr<QAudioSink> sink_;
  std::unique_ptr<FeedDevice> device_;
  QTimer* timer_ = nullptr;
  std::atomic<int64_t> played_{0};
  std::atomic<bool> failed_{false};  // the sink stopped with an error
};

}  // namespace tavrona
