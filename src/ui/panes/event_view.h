// CEventView: the event template pane (lower left). It holds the preview flag of the
// "EventView" profile section; the 64 template rows are built on this class.
#pragma once

#include "ui/panes/pane_base.h"

namespace tavrona {

class CEventView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CEventView(CKeldaDoc& document, QWidget* parent = nullptr);
};

}  // namespace tavrona
