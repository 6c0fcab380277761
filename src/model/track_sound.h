// Per-track sound settings: volume and mute, applied by the mix and saved with the project.
#pragma once

#include <array>
#include <cstdint>

namespace tavrona {

inline constexpr float kTrackVolumeMinDb = -60.0f;
inline constexpr float kTrackVolumeMaxDb = 12.0f;

struct TrackSound {
  float volumeDb = 0.0f;  // kTrackVolumeMinDb .. kTrackVolumeMaxDb
  bool muted = false;

  bool IsDefault() const { return volumeDb == 0.0f && !muted; }
  bool operator==(const TrackSound&) const = default;
};

// The factor the mix multiplies the track's samples by: 0 when muted, else 10^(dB / 20).
float TrackGain(const TrackSound& sound);

// The volume brought into range; a value that is not a number becomes 0 dB.
float ClampTrackVolumeDb(float volumeDb);

}  // namespace tavrona
