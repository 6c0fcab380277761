// AudioOutput: where playback's sound goes, and the clock that drives the picture while it
// plays. The program uses the sound device (QtAudioOutput); the tests put in an output that
// consumes at a pace of their own and records what it got.
//
// Threads: Start and Stop are called on the user-interface thread. The output reads the feed on
// a thread of its choice until Stop returns. PlayedSamples may be called on any thread (the
// composition worker reads it to choose the frame it shows) at any time, also after Stop.
#pragma once

#include <cstdint>

namespace tavrona {

class SoundFeed;

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Starts playing what feed gives, from its first sample. False when there is no device or it
  // cannot start (nothing is read from feed then).
  virtual bool Start(SoundFeed& feed) = 0;
  // Stops reading the feed; returns once it no longer touches it. Safe when not started.
  virtual void Stop() = 0;
  // Sample pairs of the feed the listener has heard since Start: what the device took from the
  // feed minus what it still holds buffered. Never decreases during one playback.
  virtual int64_t PlayedSamples() const = 0;
  // The device stopped by itself (it went away or failed): the count no longer advances. Any
  // thread.
  virtual bool Failed() const { return false; }
};

}  // namespace tavrona
