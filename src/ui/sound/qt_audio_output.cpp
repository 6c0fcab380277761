#include "ui/sound/qt_audio_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>

#include "model/sound_samples.h"
#include "ui/sound/sound_feed.h"

namespace tavrona {

namespace {
constexpr int kBytesPerPair = kMixChannels * static_cast<int>(sizeof(float));
}  // namespace

// The sink's source in pull mode: hands out what the feed has mixed and counts it. Read on the
// user-interface thread (the sink's); never waits for the feed, so a late mix is an underrun
// of the device and not a stall of the program.
class FeedDevice final : public QIODevice {
 public:
  explicit FeedDevice(SoundFeed& feed) : feed_(feed) {}
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override {
    return QIODevice::bytesAvailable() + feed_.Available() * kBytesPerPair;
  }
  // Pairs handed to the sink since the start.
  int64_t Handed() const { return handed_; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const int64_t pairs = maxSize / kBytesPerPair;
    const int64_t n = feed_.Read(reinterpret_cast<float*>(data), pairs, 0);
    handed_ += n;
    return n * kBytesPerPair;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  SoundFeed& feed_;
  int64_t handed_ = 0;
};

QtAudioOutput::QtAudioOutput(QObject* parent) : QObject(parent) {
  timer_ = new QTimer(this);
  timer_->setInterval(5);
  connect(timer_, &QTimer::timeout, this, [this] { Sample(); });
}

QtAudioOutput::~QtAudioOutput() { Stop(); }

bool QtAudioOutput::Start(SoundFeed& feed) {
  Stop();
  played_.store(0, std::memory_order_release);
  failed_.store(false, std::memory_order_release);
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return false;
  QAudioFormat format;
  format.setSampleRate(kMixRate);
  format.setChannelCount(kMixChannels);
  format.setSampleFormat(QAudioFormat::Float);
  if (!device.isFormatSupported(format)) return false;
  sink_ = std::make_unique<QAudioSink>(device, format);
  device_ = std::make_unique<FeedDevice>(feed);
  device_->open(QIODevice::ReadOnly);
  // An underrun only idles the sink; an open, input/output or fatal error stops it for good.
  connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
    if (state == QAudio::StoppedState && sink_ && sink_->error() != QAudio::NoError &&
        sink_->error() != QAudio::UnderrunError) {
      failed_.store(true, std::memory_order_release);
    }
  });
  sink_->start(device_.get());
  if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
    Stop();
    return false;
  }
  timer_->start();
  return true;
}

void QtAudioOutput::Stop() {
  timer_->stop();
  if (sink_) sink_->stop();
  sink_.reset();
  device_.reset();
}

// What the device has played: the pairs it took from the feed minus those still in its buffer.
void QtAudioOutput::Sample() {
  if (!sink_ || !device_) return;
  const int64_t buffered =
      std::max<int64_t>(0, sink_->bufferSize() - sink_->bytesFree()) / kBytesPerPair;
  const int64_t played = std::max<int64_t>(0, device_->Handed() - buffered);
  // The position never goes back, whatever the device's figures do between two samples.
  if (played > played_.load(std::memory_order_relaxed)) {
    played_.store(played, std::memory_order_release);
  }
}

}  // namespace tavrona
