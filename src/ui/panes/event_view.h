// CEventView: the event template pane (lower left). One row per template slot, 20 pixels high:
// the slot's key character and what the template shows. Templates are filled by dropping a file
// row on them, by the event dialog, or by pasting events; they are selected with the mouse and
// the keys, dragged onto the timeline, copied, cut and deleted. Selection is the templates'
// EventSelected bit.
//
// Profile section "EventView": "Preview" (default 1). The decisions live in event_view_logic.h;
// this class turns input into calls of them and paints the rows. User-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include "ui/pane_records.h"
#include "ui/panes/pane_base.h"

class QMenu;

namespace tavrona {

class CEventView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CEventView(CKeldaDoc& document, QWidget* parent = nullptr);

  bool HandlesCommand(CommandId id) const override;
  bool CommandEnabled(CommandId id) const override;
  void RunCommand(CommandId id) override;

  // Rebuilds the 64 row cells from the templates, then repaints.
  void OnUpdate(QObject* sender) override;
  // During a drag between panes cursor 134 for a file, 136 for a template; otherwise the arrow.
  QCursor CursorAt(QPoint viewportPoint) const override;

  int CurrentRow() const { return currentRow_; }
  const PaneCell& Cell(int row) const { return cells_[static_cast<size_t>(row)]; }

  // The context menu (the caller owns it): "プロパティ(&S)...", separator, "切り取り(&T)",
  // "コピー(&C)", "貼り付け(&P)", "消去(&E)", separator, "すべて選択(&A)", separator,
  // "プレビュー表示(&V)". Each item carries its command id as data and is greyed as the menu
  // bar's would be.
  std::unique_ptr<QMenu> MakeContextMenu();

 protected:
  void OnDraw(QPainter& painter) override;
  // A language change rewrites the rows' words.
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void RebuildCells();
  void SendTemplatePreview();
  void ScrollRowIntoView(int row);
  // One edit of the templates through the document's edit path; apply returns whether it
  // changed them. Afterwards the rows are rebuilt and repainted.
  void EditTemplates(const QString& label, const std::function<bool()>& apply);
  void SelectionChanged();
  void Copy();
  void Cut();
  void Paste();
  void Delete();
  void SelectAll();
  void Properties();

  int currentRow_ = 0;
  std::array<PaneCell, 64> cells_{};
};

}  // namespace tavrona
