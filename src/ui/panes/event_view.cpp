#include "ui/panes/event_view.h"

namespace tavrona {

CEventView::CEventView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, "EventView", parent) {
  setObjectName(QStringLiteral("CEventView"));
}

}  // namespace tavrona
