#include "sources/late_sound.h"

#include <algorithm>

#include "sources/sound_source.h"

namespace tavrona {

bool LateSound::Read(int64_t first, int64_t count, float* out) {
  SoundSamples* sound = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!tried_) {
      tried_ = true;
      sound_ = OpenFfmpegSound(path_, nullptr);
      if (sound_) {
        const SoundFormat now = sound_->Format();
        if (now.sourceRate != format_.sourceRate || now.sourceChannels != format_.sourceChannels ||
            now.lengthSamples != format_.lengthSamples) {
          sound_.reset();
        }
      }
    }
    sound = sound_.get();
  }
  // Once tried, sound_ stays as it is, and the source itself serves its callers one at a time.
  if (sound != nullptr) return sound->Read(first, count, out);
  if (count > 0) std::fill(out, out + 2 * count, 0.0f);
  return false;
}

bool LateSound::Opened() const {
  std::lock_guard lock(mutex_);
  return sound_ != nullptr;
}

}  // namespace tavrona
