#include "ui/panes/event_view.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "ui/clipboard.h"
#include "ui/cursors.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/document.h"
#include "ui/panes/event_view_logic.h"
#include "ui/prompts.h"

namespace tavrona {

CEventView::CEventView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, "EventView", parent) {
  setObjectName(QStringLiteral("CEventView"));
  SetScrollSizes(QSize(kEventRowWidth, kEventPaneHeight));
  RebuildCells();
}

bool CEventView::HandlesCommand(CommandId id) const {
  switch (id) {
    case CmdEditCut:
    case CmdEditCopy:
    case CmdEditPaste:
    case CmdEditClear:
    case CmdEditSelectAll:
    case CmdProperties:
      return true;
    default:
      return CKeldaView::HandlesCommand(id);
  }
}

bool CEventView::CommandEnabled(CommandId id) const {
  const Templates& templates = Document().Project().templates;
  switch (id) {
    case CmdEditCut:
    case CmdEditCopy:
      return !CopyableTemplates(templates).empty();
    case CmdEditPaste:
      return EventsFromClipboard().has_value();
    case CmdEditClear:
    case CmdProperties:
      return CountSelectedTemplates(templates) > 0;
    case CmdEditSelectAll:
      return true;
    default:
      return CKeldaView::CommandEnabled(id);
  }
}

void CEventView::RunCommand(CommandId id) {
  switch (id) {
    case CmdEditCut:
      Cut();
      return;
    case CmdEditCopy:
      Copy();
      return;
    case CmdEditPaste:
      Paste();
      return;
    case CmdEditClear:
      Delete();
      return;
    case CmdEditSelectAll:
      SelectAll();
      return;
    case CmdProperties:
      Properties();
      return;
    default:
      CKeldaView::RunCommand(id);
  }
}

void CEventView::OnUpdate(QObject*) {
  RebuildCells();
  viewport()->update();
}

void CEventView::RebuildCells() {
  const CKeldaDoc& doc = Document();
  const ProjectData& project = doc.Project();
  for (int row = 0; row < kTemplateCount; ++row) {
    PaneCell& cell = cells_[static_cast<size_t>(row)];
    cell = PaneCell{};
    cell.kind = CellBox;
    cell.colourMode = 0;
    cell.textFlags = CellLeft;
    cell.left = 0;
    cell.top = row * kEventRowHeight;
    cell.right = kEventRowWidth;
    cell.bottom = cell.top + kEventRowHeight;
    cell.data = row;
    cell.text = ToQString(EventRowText(project, project.templates[static_cast<size_t>(row)],
                                       doc.templateKeys[static_cast<size_t>(row)]));
  }
}

void CEventView::OnDraw(QPainter& painter) {
  const Templates& templates = Document().Project().templates;
  const int visibleTop = ScrollPosition().y();
  const int visibleBottom = visibleTop + viewport()->height();
  for (int row = 0; row < kTemplateCount; ++row) {
    PaneCell& cell = cells_[static_cast<size_t>(row)];
    if (!(cell.top < visibleBottom && cell.top + kEventRowHeight > visibleTop)) continue;
    const RowColours colours = EventRowColours(
        (templates[static_cast<size_t>(row)].flags & EventSelected) != 0, row == currentRow_);
    cell.colour1 = colours.fill;
    cell.colour2 = colours.frame;
    DrawPaneCell(painter, cell);
  }
}

void CEventView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) {
    RebuildCells();
    viewport()->update();
  }
  CKeldaView::changeEvent(event);
}

QCursor CEventView::CursorAt(QPoint) const {
  const PaneDrag& drag = Document().drag;
  if (drag.active && drag.kind == DragFile) return PaneCursor(CursorAdd);
  if (drag.active && drag.kind == DragTemplate) return PaneCursor(CursorMove);
  return QCursor(Qt::ArrowCursor);
}

void CEventView::SendTemplatePreview() {
  if (!PreviewEnabled()) return;
  CKeldaDoc& doc = Document();
  // The selected template when there is exactly one (a click), else the current row's (keys).
  const std::vector<int> selected = SelectedTemplateSlots(doc.Project().templates);
  const int row = selected.size() == 1 ? selected[0] : currentRow_;
  doc.preview.needsRender = true;
  doc.preview.mode = PreviewScratchEvent;
  doc.scratchEvent = doc.Project().templates[static_cast<size_t>(row)];
  doc.UpdateAllViews(this);
}

void CEventView::ScrollRowIntoView(int row) {
  if (const auto top = ScrollTopForRow(row, ScrollPosition().y(), viewport()->height())) {
    ScrollToPosition(QPoint(ScrollPosition().x(), *top));
  }
}

void CEventView::SelectionChanged() {
  viewport()->update();
  emit commandStatesChanged();
}

void CEventView::EditTemplates(const QString& label, const std::function<bool()>& apply) {
  if (!Document().Edit({label, EditScope::Templates()}, this, apply)) return;
  RebuildCells();
  viewport()->update();
  emit commandStatesChanged();
}

void CEventView::keyPressEvent(QKeyEvent* event) {
  CKeldaDoc& doc = Document();
  event->accept();
  if (doc.drag.active) return;
  Templates& templates = doc.Project().templates;
  // Selection bits only: the composition worker never reads the templates.
  int row = currentRow_;
  if (event->key() == Qt::Key_Up) {
    row = StepTemplateRow(templates, currentRow_, -1);
  } else if (event->key() == Qt::Key_Down) {
    row = StepTemplateRow(templates, currentRow_, +1);
  } else if (const auto slot = EventRowForKey(doc.templateKeys, event->key())) {
    row = *slot;
    SelectTemplateAlone(templates, row);
  } else {
    event->ignore();
    return;
  }
  currentRow_ = row;
  ScrollRowIntoView(row);
  SendTemplatePreview();
  SelectionChanged();
}

void CEventView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    CKeldaView::mousePressEvent(event);  // the right button ends a drag there
    return;
  }
  event->accept();
  CKeldaDoc& doc = Document();
  doc.drag.active = false;
  const QPoint point = PixelAt(event->position()) + ScrollPosition();
  const auto row = EventRowAt(point.x(), point.y());
  if (!row) return;
  Templates& templates = doc.Project().templates;
  ClickTemplateRow(templates, currentRow_, *row, (event->modifiers() & Qt::ControlModifier) != 0,
                   (event->modifiers() & Qt::ShiftModifier) != 0);
  currentRow_ = *row;
  if (CountSelectedTemplates(templates) == 1) SendTemplatePreview();
  const EventRecord& clicked = templates[static_cast<size_t>(*row)];
  if (clicked.InUse()) {
    doc.drag = PaneDrag{true, DragTemplate, 0};
    doc.scratchEvent = clicked;
    viewport()->setCursor(CursorAt(PixelAt(event->position())));
  }
  SelectionChanged();
}

void CEventView::mouseReleaseEvent(QMouseEvent* event) {
  CKeldaDoc& doc = Document();
  if (event->button() == Qt::LeftButton) {
    event->accept();
    const QPoint point = PixelAt(event->position()) + ScrollPosition();
    const auto row = EventRowAt(point.x(), point.y());
    if (doc.drag.active && doc.drag.kind == DragFile && row) {
      doc.drag.active = false;
      EditTemplates(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "テンプレートの作成")), [&] {
        ProjectData& project = doc.Project();
        project.templates[static_cast<size_t>(*row)] =
            DefaultEventForFile(project, doc.drag.fileId, 0);
        return true;
      });
    }
    doc.drag.active = false;
    viewport()->setCursor(Qt::ArrowCursor);
    return;
  }
  if (event->button() == Qt::RightButton) {
    event->accept();
    std::unique_ptr<QMenu> menu = MakeContextMenu();
    menu->exec(event->globalPosition().toPoint());
    return;
  }
  CKeldaView::mouseReleaseEvent(event);
}

void CEventView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    CKeldaView::mouseDoubleClickEvent(event);
    return;
  }
  event->accept();
  CKeldaDoc& doc = Document();
  const QPoint point = PixelAt(event->position()) + ScrollPosition();
  const auto row = EventRowAt(point.x(), point.y());
  if (!row) return;
  // The first click of the pair may have started a template drag; a double click is no drag.
  doc.drag.active = false;
  SelectTemplateAlone(doc.Project().templates, *row);
  const bool wasCurrent = *row == currentRow_;
  currentRow_ = *row;
  SelectionChanged();
  if (wasCurrent) RunCommand(CmdProperties);
}

std::unique_ptr<QMenu> CEventView::MakeContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  auto add = [this, &menu](const QString& text, CommandId id) {
    QAction* action = menu->addAction(text);
    action->setData(static_cast<int>(id));
    action->setEnabled(CommandEnabled(id));
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    return action;
  };
  add(QCoreApplication::translate("EventView", "プロパティ(&S)..."), CmdProperties);
  menu->addSeparator();
  add(QCoreApplication::translate("EventView", "切り取り(&T)"), CmdEditCut);
  add(QCoreApplication::translate("EventView", "コピー(&C)"), CmdEditCopy);
  add(QCoreApplication::translate("EventView", "貼り付け(&P)"), CmdEditPaste);
  add(QCoreApplication::translate("EventView", "消去(&E)"), CmdEditClear);
  menu->addSeparator();
  add(QCoreApplication::translate("EventView", "すべて選択(&A)"), CmdEditSelectAll);
  menu->addSeparator();
  QAction* preview =
      add(QCoreApplication::translate("EventView", "プレビュー表示(&V)"), CmdPreview);
  preview->setCheckable(true);
  preview->setChecked(PreviewEnabled());
  return menu;
}

void CEventView::Copy() {
  const std::vector<EventRecord> records = CopyableTemplates(Document().Project().templates);
  if (!records.empty()) PutEventsOnClipboard(records);
  emit commandStatesChanged();  // paste may have become possible
}

void CEventView::Cut() {
  CKeldaDoc& doc = Document();
  const std::vector<EventRecord> records = CopyableTemplates(doc.Project().templates);
  // Only what the clipboard took is removed.
  if (records.empty() || !PutEventsOnClipboard(records)) return;
  EditTemplates(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "切り取り")), [&] {
    ClearCopyableTemplates(doc.Project().templates);
    return true;
  });
}

void CEventView::Paste() {
  CKeldaDoc& doc = Document();
  const auto records = EventsFromClipboard();
  if (!records) return;
  EditTemplates(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "貼り付け")), [&] {
    currentRow_ = PasteTemplates(doc.Project().templates, currentRow_, *records);
    return true;
  });
}

void CEventView::Delete() {
  CKeldaDoc& doc = Document();
  if (CountSelectedTemplates(doc.Project().templates) == 0) return;
  EditTemplates(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "テンプレートの削除")), [&] {
    DeleteSelectedTemplates(doc.Project().templates);
    return true;
  });
}

void CEventView::SelectAll() {
  SelectAllTemplates(Document().Project().templates);
  SelectionChanged();
}

void CEventView::Properties() {
  CKeldaDoc& doc = Document();
  ProjectData& project = doc.Project();
  const std::vector<int> chosen = SelectedTemplateSlots(project.templates);
  if (chosen.empty()) return;
  std::vector<EventRecord*> targets;
  for (int slot : chosen) targets.push_back(&project.templates[static_cast<size_t>(slot)]);
  // The dialog writes into the templates on OK.
  EditTemplates(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "テンプレートのプロパティ")), [&] {
    if (!RunEventPropertiesDialog(this, project, targets, false)) return false;
    if (chosen.size() == 1) currentRow_ = chosen[0];
    for (EventRecord* target : targets) target->start = 0;
    return true;
  });
}

}  // namespace tavrona
