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

QtAudioOutput::QtAudioOutput(QObject* parent) : QObject(parent) {
  timer_ = new QTimer(this);
  timer_->setInterval(5);
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, [this] { Pump(); });
}

QtAudioOutput::~QtAudioOutput() { Stop(); }

bool QtAudioOutput::Start(SoundFeed& feed) {
  Stop();
  played_.store(0, std::memory_order_release);
  failed_.store(false, std::memory_order_release);
  handed_ = 0;
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return false;
  QAudioFormat format;
  format.setSampleRate(kMixRate);
  format.setChannelCount(kMixChannels);
  format.setSampleFormat(QAudioFormat::Float);
  if (!device.isFormatSupported(format)) return false;
  sink_ = std::make_unique<QAudioSink>(device, format);
  // An underrun only idles the sink; an open, input/output or fatal error stops it for good.
  connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
    if (state == QAudio::StoppedState && sink_ && sink_->error() != QAudio::NoError &&
        sink_->error() != QAudio::UnderrunError) {
      failed_.store(true, std::memory_order_release);
    }
  });
  io_ = sink_->start();
  if (io_ == nullptr || sink_->error() != QAudio::NoError ||
      sink_->state() == QAudio::StoppedState) {
    Stop();
    return false;
  }
  feed_ = &feed;
  // The first write fills the device's buffer as far as the feed has mixed (waiting a moment
  // for its first chunks, bounded: a feed that cannot keep up starts with an underrun).
  feed.WaitForSamples(2 * SoundFeed::kChunkSamples, 200);
  Pump();
  timer_->start();
  return true;
}

void QtAudioOutput::Stop() {
  timer_->stop();
  if (sink_) sink_->stop();
  io_ = nullptr;  // the sink's own device, gone with it
  sink_.reset();
  feed_ = nullptr;
}

// Writes what the device has room for and the feed has mixed, then samples the position: what
// the device reports as played, never more than it was given (an underrun plays silence that is
// no part of the feed).
void QtAudioOutput::Pump() {
  if (!sink_ || io_ == nullptr || feed_ == nullptr) return;
  const int64_t room = sink_->bytesFree() / kBytesPerPair;
  if (room > 0) {
    buffer_.resize(static_cast<size_t>(room * kMixChannels));
    const int64_t n = feed_->Read(buffer_.data(), room, 0);
    if (n > 0) {
      const qint64 written =
          io_->write(reinterpret_cast<const char*>(buffer_.data()), n * kBytesPerPair);
      // The sink takes what bytesFree promised; a short write would shift the count.
      handed_ += std::max<qint64>(0, written) / kBytesPerPair;
    }
  }
  const int64_t played =
      std::min<int64_t>(sink_->processedUSecs() * kMixRate / 1'000'000, handed_);
  // The position never goes back, whatever the device's figures do between two samples.
  if (played > played_.load(std::memory_order_relaxed)) {
    played_.store(played, std::memory_order_release);
  }
}

}  // namespace tavrona
