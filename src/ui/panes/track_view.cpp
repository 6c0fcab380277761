#include "ui/panes/track_view.h"

namespace tavrona {

CTrackView::CTrackView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, "TrackView", parent) {
  setObjectName(QStringLiteral("CTrackView"));
}

}  // namespace tavrona
