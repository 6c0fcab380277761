// The preview resolution ("表示" > "プレビューの解像度"): how small the preview pane and real-time
// playback compose (render/reduced_placement.h), and the rule by which "自動" lowers it during
// playback. Plain values and functions, free of widgets and threads; the composition worker
// applies them on its thread, the main window keeps the choice in tavrona.INI.
#pragma once

#include <cstdint>

namespace tavrona {

// The user's choice. The values are what tavrona.INI holds ([ImageView] PreviewResolution).
enum class PreviewResolution : int32_t {
  Full = 0,
  Half = 1,
  Quarter = 2,
  Automatic = 3,  // full size, lowered during playback while frames come late
};

inline constexpr const char* kPreviewResolutionSection = "ImageView";
inline constexpr const char* kPreviewResolutionKey = "PreviewResolution";

// The choice a stored value names; anything outside 0..3 is Full.
PreviewResolution PreviewResolutionFromStored(int32_t stored);

// The reduction (1, 2 or 4) still previews compose at, and playback starts at: Automatic
// starts at full size.
int32_t StartingReduction(PreviewResolution resolution);

// "自動" during one playback. A frame is late when the clock has left its time slot by the time
// it has been composed and handed on. After kLateFramesToStepDown late frames in a row the
// reduction steps down one level (1 -> 2 -> 4); a frame on time starts the count again. The
// first frame of a playback is not counted: it carries the movies' seek to the starting
// position. It never steps back up while playing: a new playback starts at full size again.
// With any other choice the reduction stays what the choice says.
//
// Three frames: one or two late frames are what a busy machine gives now and then, and a
// playback that cannot keep up loses, while it waits, the frames it skips (a movie still decodes
// every frame up to the one shown), so waiting longer costs more than it saves.
inline constexpr int kLateFramesToStepDown = 3;

class AutomaticReduction {
 public:
  explicit AutomaticReduction(PreviewResolution resolution = PreviewResolution::Full);
  // The reduction to compose the next frame at.
  int32_t Reduction() const { return reduction_; }
  // Records whether the frame just composed came late; returns the reduction for the next one.
  int32_t FrameComposed(bool late);

 private:
  bool automatic_;
  bool firstFrame_ = true;
  int32_t reduction_;
  int lateInARow_ = 0;
};

}  // namespace tavrona
