#include "ui/preview_resolution.h"

#include "render/reduced_placement.h"

namespace tavrona {

PreviewResolution PreviewResolutionFromStored(int32_t stored) {
  switch (stored) {
    case static_cast<int32_t>(PreviewResolution::Half):
      return PreviewResolution::Half;
    case static_cast<int32_t>(PreviewResolution::Quarter):
      return PreviewResolution::Quarter;
    case static_cast<int32_t>(PreviewResolution::Automatic):
      return PreviewResolution::Automatic;
    default:
      return PreviewResolution::Full;
  }
}

int32_t StartingReduction(PreviewResolution resolution) {
  switch (resolution) {
    case PreviewResolution::Half:
      return kReductionHalf;
    case PreviewResolution::Quarter:
      return kReductionQuarter;
    case PreviewResolution::Full:
    case PreviewResolution::Automatic:
      break;
  }
  return kReductionFull;
}

AutomaticReduction::AutomaticReduction(PreviewResolution resolution)
    : automatic_(resolution == PreviewResolution::Automatic),
      reduction_(StartingReduction(resolution)) {}

int32_t AutomaticReduction::FrameComposed(bool late) {
  if (!automatic_) return reduction_;
  if (firstFrame_) {
    firstFrame_ = false;
    return reduction_;
  }
  if (!late) {
    lateInARow_ = 0;
    return reduction_;
  }
  if (++lateInARow_ >= kLateFramesToStepDown && reduction_ < kReductionQuarter) {
    reduction_ *= 2;
    lateInARow_ = 0;
  }
  return reduction_;
}

}  // namespace tavrona
