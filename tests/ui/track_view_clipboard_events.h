// The events the two-process clipboard test copies in one program and pastes in another: every
// field set to something of its own, so that a byte lost or moved on the way shows.
#pragma once

#include <vector>

#include "model/event_record.h"

namespace tavrona {

inline std::vector<EventRecord> ClipboardTestEvents() {
  std::vector<EventRecord> out;
  const uint32_t starts[] = {100, 130, 250};
  for (int i = 0; i < 3; ++i) {
    EventRecord e{};
    e.flags = EventInUse | EventSelected | (i == 1 ? EventInterpolate : EventBaseTransform);
    e.start = starts[i];
    e.fileId = 17 + i;
    e.drawingMethod = i + 1;
    e.playbackPosition = 123456789LL * (i + 1);
    e.playbackRate = 333667 + i;
    e.regionLeft = -3 - i;
    e.regionTop = 4;
    e.regionRight = 640 + i;
    e.regionBottom = 480;
    e.red = 10;
    e.green = static_cast<uint8_t>(20 + i);
    e.blue = 30;
    e.opacity = static_cast<uint8_t>(200 - i);
    e.blendMode = i + 2;
    for (int k = 0; k < 9; ++k) {
      e.matrix[k] = 0.5f * static_cast<float>(k + i);
      e.inverseMatrix[k] = -0.25f * static_cast<float>(k + i);
    }
    e.baseX = 1.5f;
    e.baseY = 2.5f;
    e.scale = 0.75f;
    e.rotation = 33.0f + static_cast<float>(i);
    e.positionX = 320.0f;
    e.positionY = -240.0f;
    out.push_back(e);
  }
  return out;
}

}  // namespace tavrona
