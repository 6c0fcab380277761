// LateSound: a slot's sound whose decoder is opened at its first read. Opening a sound decodes
// the file's first picture and its first and last sound; a project that shows one file from a
// thousand slots would pay that, and keep a decoder, for every slot it opens.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>

#include "model/sound_samples.h"

namespace tavrona {

class LateSound final : public SoundSamples {
 public:
  // format: what OpenFfmpegSound gave for the same file before (it does not change while the
  // file does not).
  LateSound(std::filesystem::path path, const SoundFormat& format)
      : path_(std::move(path)), format_(format) {}

  SoundFormat Format() const override { return format_; }
  // Opens the sound with OpenFfmpegSound at the first call. When that fails, or the file now
  // gives another format (it has changed), every read gives silence and false.
  bool Read(int64_t first, int64_t count, float* out) override;

  // The decoder has been opened (for tests).
  bool Opened() const;

 private:
  const std::filesystem::path path_;
  const SoundFormat format_;
  mutable std::mutex mutex_;
  bool tried_ = false;                   // guarded by mutex_
  std::unique_ptr<SoundSamples> sound_;  // guarded by mutex_; never replaced once tried_
};

}  // namespace tavrona
