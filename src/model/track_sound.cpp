#include "model/track_sound.h"

#include <algorithm>
#include <cmath>

namespace tavrona {

float TrackGain(const TrackSound& sound) {
  if (sound.muted) return 0.0f;
  return std::pow(10.0f, ClampTrackVolumeDb(sound.volumeDb) / 20.0f);
}

float ClampTrackVolumeDb(float volumeDb) {
  if (std::isnan(volumeDb)) return 0.0f;
  return std::clamp(volumeDb, kTrackVolumeMinDb, kTrackVolumeMaxDb);
}

}  // namespace tavrona
