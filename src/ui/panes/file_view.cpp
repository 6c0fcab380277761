#include "ui/panes/file_view.h"

namespace tavrona {

CFileView::CFileView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, "FileView", parent) {
  setObjectName(QStringLiteral("CFileView"));
}

}  // namespace tavrona
