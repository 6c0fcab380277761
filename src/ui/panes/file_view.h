// CFileView: the file pane (upper right). One row per used file slot in ID order; the pane's
// own selection and current file; files enter the project here: dropped from a file manager,
// added and edited through the file dialog, duplicated. A row pressed with the left button
// starts a drag between panes that the timeline or the template pane turns into an event.
//
// Profile section "FileView", key "Preview" (default 1). The decisions live in
// file_view_logic.h; this class turns events into those calls and shows their messages.
// User-interface thread only.
#pragma once

#include <memory>
#include <vector>

#include "ui/pane_records.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/pane_base.h"

class QMenu;

namespace tavrona {

class CFileView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CFileView(CKeldaDoc& document, QWidget* parent = nullptr);

  bool HandlesCommand(CommandId id) const override;
  void RunCommand(CommandId id) override;
  // Clears the selection of empty slots and sets the scroll size; repaints.
  void OnUpdate(QObject* sender) override;
  // While a drag between panes is active: 136 for a file drag, 135 otherwise; else the arrow.
  QCursor CursorAt(QPoint viewportPoint) const override;

  const FileSelection& Selection() const { return selection_; }
  // The cells of the last paint (unused cells are not kept).
  const std::vector<PaneCell>& Cells() const { return cells_; }

  // The context menu (the caller owns it): properties, add, duplicate, separator, delete,
  // separator, select all, separator, preview (checked with the preview flag).
  std::unique_ptr<QMenu> MakeContextMenu();

 protected:
  void OnDraw(QPainter& painter) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void UpdateScrollSize();
  void SendFilePreview();
  void SelectionChanged();
  // The file under a viewport point, from the rows as they are now; -1 when none.
  int32_t FileAt(QPoint viewportPoint) const;
  void DeleteFiles();
  void AddFile();
  void DuplicateFiles();
  // The file dialog on the current file; true when its OK changed the project.
  bool Properties();
  void ShowTooManyFiles();

  FileSelection selection_;
  std::vector<PaneCell> cells_;
};

}  // namespace tavrona
