#include "ui/panes/file_view.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "ui/cursors.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/document.h"
#include "ui/font_catalogue.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

CFileView::CFileView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, "FileView", parent) {
  setObjectName(QStringLiteral("CFileView"));
  // Files dropped from a file manager land on the viewport; the scroll area hands the drop
  // events to this pane's handlers.
  viewport()->setAcceptDrops(true);
  ClearEmptySelections(Document().Project(), selection_);
  UpdateScrollSize();
}

bool CFileView::HandlesCommand(CommandId id) const {
  switch (id) {
    case CmdEditClear:
    case CmdEditSelectAll:
    case CmdProperties:
    case CmdAddFile:
    case CmdDuplicateFile:
      return true;
    default:
      return CKeldaView::HandlesCommand(id);
  }
}

void CFileView::RunCommand(CommandId id) {
  switch (id) {
    case CmdEditClear:
      DeleteFiles();
      break;
    case CmdEditSelectAll:
      SelectAllFiles(Document().Project(), selection_);
      SelectionChanged();
      break;
    case CmdProperties:
      Properties();
      break;
    case CmdAddFile:
      AddFile();
      break;
    case CmdDuplicateFile:
      DuplicateFiles();
      break;
    default:
      CKeldaView::RunCommand(id);
      break;
  }
}

void CFileView::OnUpdate(QObject*) {
  ClearEmptySelections(Document().Project(), selection_);
  UpdateScrollSize();
  viewport()->update();
}

QCursor CFileView::CursorAt(QPoint) const {
  const PaneDrag& drag = Document().drag;
  if (!drag.active) return QCursor(Qt::ArrowCursor);
  return PaneCursor(drag.kind == DragFile ? CursorMove : CursorNoDrop);
}

void CFileView::UpdateScrollSize() {
  const int rows = static_cast<int>(UsedFileSlots(Document().Project()).size());
  SetScrollSizes(QSize(kFileRowWidth, viewport()->height() + kFileRowHeight * rows));
}

void CFileView::resizeEvent(QResizeEvent* event) {
  CKeldaView::resizeEvent(event);
  // The rows scroll until the last one reaches the top, whatever the pane's height.
  UpdateScrollSize();
}

void CFileView::SendFilePreview() {
  if (!PreviewEnabled()) return;
  Document().preview = {true, PreviewFile, selection_.current, 0};
  Document().UpdateAllViews(this);
}

void CFileView::SelectionChanged() {
  viewport()->update();
  emit commandStatesChanged();
}

void CFileView::OnDraw(QPainter& painter) {
  const QRect visible(ScrollPosition(), viewport()->size());
  cells_ = FileCells(Document().Project(), selection_, visible);
  // The box of each row is the cell's; its columns start where the font's own widths put them,
  // so that they line up whatever the language and the font.
  const FileColumnStarts starts = MeasureFileColumns(painter.fontMetrics());
  for (const PaneCell& cell : cells_) {
    PaneCell box = cell;
    box.text.clear();
    DrawPaneCell(painter, box);
    const FileRowColumns columns =
        FileRowColumnTexts(Document().Project().files[static_cast<size_t>(cell.data)], cell.data);
    const QRect rect(QPoint(cell.left, cell.top), QPoint(cell.right - 1, cell.bottom - 1));
    const int align = Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine;
    painter.setPen(Qt::black);
    painter.drawText(rect, align, columns.id);
    painter.drawText(rect.adjusted(starts.kind, 0, 0, 0), align, columns.kind);
    painter.drawText(rect.adjusted(starts.name, 0, 0, 0), align, columns.name);
  }
}

int32_t CFileView::FileAt(QPoint viewportPoint) const {
  const QRect visible(ScrollPosition(), viewport()->size());
  return FileAtPoint(FileCells(Document().Project(), selection_, visible),
                     viewportPoint + ScrollPosition());
}

void CFileView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key != Qt::Key_Up && key != Qt::Key_Down) {
    CKeldaView::keyPressEvent(event);
    return;
  }
  const int step = key == Qt::Key_Up ? -1 : 1;
  MoveCurrentFile(Document().Project(), selection_, step);
  ScrollToPosition(ScrollPosition() + QPoint(0, step * kFileRowHeight));
  SendFilePreview();
  SelectionChanged();
}

void CFileView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    CKeldaView::mousePressEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  CKeldaDoc& doc = Document();
  doc.drag.active = false;
  const int32_t f = FileAt(PixelAt(event->position()));
  if (f < 0) {
    selection_.ClearAll();
    SelectionChanged();
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers();
  ClickFile(selection_, f, mods.testFlag(Qt::ControlModifier), mods.testFlag(Qt::ShiftModifier));
  if (selection_.Count() == 1) SendFilePreview();
  doc.drag = {true, DragFile, f};
  SelectionChanged();
}

void CFileView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Document().drag.active = false;
    viewport()->setCursor(Qt::ArrowCursor);
    return;
  }
  if (event->button() == Qt::RightButton) {
    std::unique_ptr<QMenu> menu = MakeContextMenu();
    menu->exec(event->globalPosition().toPoint());
    return;
  }
  CKeldaView::mouseReleaseEvent(event);
}

void CFileView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int32_t f = FileAt(PixelAt(event->position()));
  if (f < 0) return;
  selection_.ClearAll();
  selection_.Set(f, true);
  SelectionChanged();
  if (f == selection_.current) Properties();
  selection_.current = f;
  Document().UpdateAllViews(this);
  viewport()->update();
}

std::unique_ptr<QMenu> CFileView::MakeContextMenu() {
  auto menu = std::make_unique<QMenu>();
  auto add = [&](const QString& text, CommandId id) {
    QAction* action = menu->addAction(text);
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    return action;
  };
  add(QCoreApplication::translate("FileView", "プロパティ(&S)..."), CmdProperties);
  add(QCoreApplication::translate("FileView", "追加(&N)..."), CmdAddFile);
  add(QCoreApplication::translate("FileView", "複製(&X)"), CmdDuplicateFile);
  menu->addSeparator();
  add(QCoreApplication::translate("FileView", "消去(&E)"), CmdEditClear);
  menu->addSeparator();
  add(QCoreApplication::translate("FileView", "すべて選択(&A)"), CmdEditSelectAll);
  menu->addSeparator();
  QAction* preview = add(QCoreApplication::translate("FileView", "プレビュー表示(&V)"), CmdPreview);
  preview->setCheckable(true);
  preview->setChecked(PreviewEnabled());
  return menu;
}

void CFileView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CFileView::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CFileView::dropEvent(QDropEvent* event) {
  std::vector<std::u16string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(ToU16(url.toLocalFile()));
  }
  if (paths.empty()) return;
  event->acceptProposedAction();
  CKeldaDoc& doc = Document();
  FileTableResult result;
  // A drop marks the project modified even when no file could be loaded.
  doc.Edit(
      {QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "ファイルの追加")), EditScope::AllFiles()},
      nullptr, [&] {
        result = LoadDroppedFiles(doc.Project(), selection_, paths);
        return true;
      });
  if (result.status == FileTableStatus::TooManyFiles) {
    ShowTooManyFiles();
  } else if (result.status == FileTableStatus::LoadFailed) {
    ShowError(this, FileLoadFailedMessage(ToQString(result.failedPath)));
  }
  viewport()->update();
}

void CFileView::ShowTooManyFiles() {
  ShowError(this, MessageText(MessageCode::TooManyFiles));
}

void CFileView::DeleteFiles() {
  CKeldaDoc& doc = Document();
  doc.Edit(
      {QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "ファイルの削除")), EditScope::AllFiles()},
      nullptr, [&] {
        DeleteSelectedFiles(doc.Project(), selection_);
        return true;
      });
  viewport()->update();
}

void CFileView::AddFile() {
  CKeldaDoc& doc = Document();
  if (!TakeFreeFileSlot(doc.Project(), selection_)) {
    ShowTooManyFiles();
    return;
  }
  const int32_t id = selection_.current;
  selection_.Set(id, true);
  // The dialog runs inside this edit; its OK is the edit's change.
  doc.Edit(
      {QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "ファイルの追加")), EditScope::AllFiles()},
      nullptr, [&] {
        doc.Project().files[static_cast<size_t>(id)].transparentColour = 0xFFFFFFFFu;
        return Properties();
      });
  if (doc.Project().files[static_cast<size_t>(id)].kind == FileEmpty) selection_.Set(id, false);
  SelectionChanged();
}

void CFileView::DuplicateFiles() {
  CKeldaDoc& doc = Document();
  FileTableResult result;
  doc.Edit(
      {QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "ファイルの複製")), EditScope::AllFiles()},
      this, [&] {
        result = DuplicateSelectedFiles(doc.Project(), selection_);
        return result.changed > 0;
      });
  if (result.status == FileTableStatus::TooManyFiles) {
    ShowTooManyFiles();
  } else if (result.status == FileTableStatus::CopyFailed) {
    ShowError(this, MessageText(MessageCode::DuplicateFailed));
  }
  UpdateScrollSize();
  SelectionChanged();
}

bool CFileView::Properties() {
  if (!selection_.IsSelected(selection_.current)) return false;
  CKeldaDoc& doc = Document();
  // The dialog writes into the slot on OK; a new ID moves the file to another slot.
  const bool changed =
      doc.Edit({QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "ファイルのプロパティ")),
                EditScope::AllFiles()},
               nullptr, [&] {
                 const auto result = RunFilePropertiesDialog(
                     this, doc.Project(), selection_.current, ProcessFontCatalogue());
                 if (!result || result->status == FileApplyStatus::IdInUse) return false;
                 if (result->id != selection_.current) {
                   selection_.current = result->id;
                   selection_.Set(result->id, true);
                 }
                 ClearEmptySelections(doc.Project(), selection_);
                 return true;
               });
  if (!changed) return false;
  UpdateScrollSize();
  SelectionChanged();
  return true;
}

}  // namespace tavrona
