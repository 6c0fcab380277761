// CFileView: the file pane (upper right). It holds the preview flag of the "FileView" profile
// section; the rows of the 1024 file slots are built on this class.
#pragma once

#include "ui/panes/pane_base.h"

namespace tavrona {

class CFileView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CFileView(CKeldaDoc& document, QWidget* parent = nullptr);
};

}  // namespace tavrona
