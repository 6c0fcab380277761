// CTrackView: the timeline pane (lower right). It holds the preview flag of the "TrackView"
// profile section; drawing and editing of the tracks are built on this class.
#pragma once

#include "ui/panes/pane_base.h"

namespace tavrona {

class CTrackView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CTrackView(CKeldaDoc& document, QWidget* parent = nullptr);
};

}  // namespace tavrona
