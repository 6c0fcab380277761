#include "ui/panes/track_view.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "ui/clipboard.h"
#include "ui/cursors.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/dialogs/track_sound_dialog.h"
#include "ui/document.h"
#include "ui/profile.h"

namespace tavrona {

CTrackView::CTrackView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, "TrackView", parent) {
  setObjectName(QStringLiteral("CTrackView"));
  state_.autoExtend = AppProfile().GetInt("TrackView", "AutoExtend", 1) != 0;
  for (PaneCell& c : cells_) c.left = c.top = c.right = c.bottom = -1;
  UpdateScrollSizes();
}

CTrackView::~CTrackView() {
  AppProfile().SetInt("TrackView", "AutoExtend", state_.autoExtend ? 1 : 0);
}

TrackData& CTrackView::CurrentTrack() {
  return Document().Project().tracks[state_.currentTrack];
}

QPoint CTrackView::DocumentPoint(QPointF viewportPoint) const {
  return PixelAt(viewportPoint) + ScrollPosition();
}

void CTrackView::UpdateScrollSizes() {
  const ScrollSizes s =
      TrackViewScrollSizes(Document().Project().movieLength, state_.scale, viewport()->size());
  SetScrollSizes(s.total, s.page, s.line);
}

void CTrackView::OnUpdate(QObject*) {
  UpdateScrollSizes();
  viewport()->update();
}

void CTrackView::resizeEvent(QResizeEvent* event) {
  CKeldaView::resizeEvent(event);
  if (isVisible()) OnUpdate(nullptr);
}

void CTrackView::OnDraw(QPainter& painter) {
  const QPoint scroll = ScrollPosition();
  const QSize size = viewport()->size();
  const VisibleRect visible{scroll.x(), scroll.y(), scroll.x() + size.width(),
                            scroll.y() + size.height()};
  BuildTrackViewPaint(Document().Project(), state_, visible, ops_, cells_);
  painter.setPen(Qt::black);
  painter.setBackgroundMode(Qt::TransparentMode);
  const int ascent = painter.fontMetrics().ascent();
  for (const TrackDrawOp& op : ops_) {
    switch (op.kind) {
      case TrackDrawOp::Fill:
        if (op.right > op.left && op.bottom > op.top) {
          painter.fillRect(QRect(op.left, op.top, op.right - op.left, op.bottom - op.top),
                           ColorFromRef(op.colour));
        }
        break;
      case TrackDrawOp::Text:
        painter.setPen(ColorFromRef(op.colour));
        painter.drawText(QPoint(op.left, op.top + ascent), op.text);
        painter.setPen(Qt::black);
        break;
      case TrackDrawOp::Cell:
        DrawPaneCell(painter, cells_[op.cell]);
        painter.setPen(Qt::black);
        break;
    }
  }
}

QCursor CTrackView::CursorAt(QPoint) const {
  if (state_.eventDrag) return PaneCursor(CursorMove);
  if (Document().drag.active) return PaneCursor(CursorAdd);
  return QCursor(Qt::ArrowCursor);
}

void CTrackView::SetPosition(uint32_t frame) {
  state_.position = frame;
  Document().position = frame;
}

void CTrackView::SendPositionPreview(int32_t mode) {
  if (!PreviewEnabled()) return;
  PreviewRequest& r = Document().preview;
  r.needsRender = true;
  r.mode = mode;
  r.number = static_cast<int32_t>(state_.currentTrack);
  r.frame = state_.position;
  Document().UpdateAllViews(this);
}

void CTrackView::SendEventPreview() {
  if (!PreviewEnabled()) return;
  const std::vector<uint32_t> selected = SelectedIndices(CurrentTrack());
  if (selected.size() != 1) return;
  Document().scratchEvent = CurrentTrack().events[selected.front()];
  PreviewRequest& r = Document().preview;
  r.needsRender = true;
  r.mode = PreviewScratchEvent;
  Document().UpdateAllViews(this);
}

void CTrackView::SelectionChanged() {
  viewport()->update();
  emit commandStatesChanged();
}

bool CTrackView::EditTrack(const QString& label, bool scrollSizes,
                           const std::function<std::optional<uint32_t>()>& apply,
                           uint64_t mergeKey) {
  CKeldaDoc& doc = Document();
  bool extended = false;
  const EditStep step{label, EditScope::Track(state_.currentTrack).WithHeader(), mergeKey};
  const bool changed = doc.Edit(step, this, [&] {
    const std::optional<uint32_t> lastStart = apply();
    if (!lastStart) return false;
    extended = AutoExtendMovie(doc.Project(), state_.autoExtend, *lastStart);
    return true;
  });
  if (!changed) return false;
  if (extended || scrollSizes) UpdateScrollSizes();
  SelectionChanged();
  return true;
}

// --- Mouse -------------------------------------------------------------------------------

void CTrackView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    CKeldaView::mousePressEvent(event);
    // The right button's release opens the context menu here.
    event->setAccepted(event->button() == Qt::RightButton);
    return;
  }
  CKeldaDoc& doc = Document();
  doc.drag.active = false;
  doc.BreakStepMerging();
  const QPoint p = DocumentPoint(event->position());
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (p.y() < kTickStripTop) return;
  if (p.y() < kRowsTop) {
    state_.positionDrag = true;
    PressTickStrip(state_, FrameAtX(p.x(), state_.scale));
    SetPosition(state_.position);
    SendPositionPreview(state_.displayMode == DisplaySingleTrack ? PreviewTrack : PreviewAllTracks);
    viewport()->update();
    return;
  }
  if (state_.displayMode == DisplayAllTracks) {
    const std::optional<uint32_t> row = TrackRowAt(p.y());
    if (!row) return;
    state_.currentTrack = *row;
  } else if (state_.displayMode == DisplaySingleTrack && p.y() >= kBandBottom) {
    const int cell = CellAt(cells_, p.x(), p.y());
    doc.QuiesceWorker();
    if (cell < 0) {
      ClearSelection(CurrentTrack());
    } else {
      const auto index = static_cast<uint32_t>(cells_[cell].data);
      ApplySelectionClick(CurrentTrack(), state_.anchorEvent, index, ctrl, shift);
      state_.anchorEvent = index;
      SendEventPreview();
    }
    SelectionChanged();
    return;
  } else if (state_.displayMode != DisplaySingleTrack) {
    return;
  }
  // The time hit test on the chosen track (or the single track's band).
  const uint32_t frame = FrameAtX(p.x(), state_.scale);
  doc.QuiesceWorker();
  const int64_t hit = EventHitAt(CurrentTrack(), frame);
  if (hit < 0) {
    ClearSelection(CurrentTrack());
  } else {
    ApplySelectionClick(CurrentTrack(), state_.anchorEvent, static_cast<uint32_t>(hit), ctrl,
                        shift);
    state_.anchorEvent = static_cast<uint32_t>(hit);
    state_.eventDrag = true;
    state_.dragOriginFrame = frame;
    viewport()->setCursor(PaneCursor(CursorMove));
    SendEventPreview();
  }
  SelectionChanged();
}

void CTrackView::mouseMoveEvent(QMouseEvent* event) {
  if (!state_.positionDrag && !state_.eventDrag) return;
  const QPoint scroll = ScrollPosition();
  const int x = DocumentPoint(event->position()).x();
  const int left = scroll.x();
  const int right = left + viewport()->width();
  if (x < left) {
    ScrollToPosition(QPoint(left - (left - x), scroll.y()));
  } else if (x >= right) {
    ScrollToPosition(QPoint(left + (x - right), scroll.y()));
  }
  viewport()->setCursor(PaneCursor(CursorMove));
}

void CTrackView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    const QPoint p = DocumentPoint(event->position());
    const std::optional<uint32_t> soundTrack = TrackNumberAt(state_.displayMode, p.x(), p.y());
    std::unique_ptr<QMenu> menu(MakeContextMenu(soundTrack));
    if (QAction* chosen = menu->exec(event->globalPosition().toPoint())) {
      const int id = chosen->data().toInt();
      if (id == kTrackSoundAction && soundTrack) {
        EditTrackSound(*soundTrack);
      } else {
        RunCommand(static_cast<CommandId>(id));
      }
    }
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  ReleaseGesture(DocumentPoint(event->position()));
  // Nothing merges across a mouse release.
  Document().BreakStepMerging();
  Document().drag.active = false;
  viewport()->setCursor(Qt::ArrowCursor);
}

void CTrackView::ReleaseGesture(QPoint p) {
  CKeldaDoc& doc = Document();
  const uint32_t frame = FrameAtX(p.x(), state_.scale);
  if (state_.positionDrag) {
    state_.positionDrag = false;
    ReleaseTickStrip(state_, frame);
    SetPosition(state_.position);
    if (state_.rangeStart != state_.rangeEnd) SendPositionPreview(PreviewTrack);
    viewport()->update();
    return;
  }
  if (state_.eventDrag) {
    state_.eventDrag = false;
    const uint32_t delta = frame - state_.dragOriginFrame;
    if (delta == 0) return;
    EditTrack(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "イベントの移動")), false, [&] {
      MoveSelected(CurrentTrack(), delta);
      return std::optional<uint32_t>(LastStart(CurrentTrack()));
    });
    return;
  }
  if (doc.drag.active) Drop(p);
}

void CTrackView::Drop(QPoint p) {
  CKeldaDoc& doc = Document();
  const std::optional<uint32_t> target = DropTrack(state_, p.y());
  if (!target) return;
  const uint32_t frame = FrameAtX(p.x(), state_.scale);
  if (doc.drag.kind == DragFile) {
    doc.scratchEvent = DefaultEventForFile(doc.Project(), doc.drag.fileId, frame);
  } else if (doc.drag.kind == DragTemplate) {
    doc.scratchEvent.flags &= ~uint32_t{EventSelected};
    doc.scratchEvent.start = frame;
  } else {
    return;
  }
  state_.currentTrack = *target;
  EditTrack(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "イベントの挿入")), false, [&] {
    InsertSorted(CurrentTrack(), 1, &doc.scratchEvent);
    return std::optional<uint32_t>(LastStart(CurrentTrack()));
  });
}

void CTrackView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (DocumentPoint(event->position()).y() < kRowsTop) return;
  TrackData& track = CurrentTrack();
  if (state_.anchorEvent >= track.count || !track.events[state_.anchorEvent].IsSelected()) return;
  Document().QuiesceWorker();
  ClearSelection(track);
  track.events[state_.anchorEvent].flags |= EventSelected;
  SelectionChanged();
  Properties();
  viewport()->update();
}

// --- Keys --------------------------------------------------------------------------------

void CTrackView::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const int width = viewport()->width();
  const QPoint scroll = ScrollPosition();
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
      if (event->modifiers() & Qt::ControlModifier) {
        NudgeSelected(event->key() == Qt::Key_Left ? -1 : 1);
        return;
      }
      StepPosition(state_, event->key() == Qt::Key_Left ? -1 : 1, shift,
                   Document().Project().movieLength);
      SetPosition(state_.position);
      if (!shift) {
        SendPositionPreview(state_.displayMode == DisplaySingleTrack ? PreviewTrack
                                                                     : PreviewAllTracks);
      }
      if (const auto left =
              ScrollForPosition(FrameToX(state_.position, state_.scale), scroll.x(), width)) {
        ScrollToPosition(QPoint(*left, scroll.y()));
      }
      viewport()->update();
      return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down: {
      const int delta = event->key() == Qt::Key_Up ? -1 : 1;
      if (shift) {
        if (delta < 0 && state_.currentTrack > 0) --state_.currentTrack;
        if (delta > 0 && state_.currentTrack + 1 < kTrackCount) ++state_.currentTrack;
        SelectionChanged();
        return;
      }
      Document().QuiesceWorker();
      Document().BreakStepMerging();
      if (StepAnchor(state_, CurrentTrack(), delta)) {
        const int64_t x = FrameToX(CurrentTrack().events[state_.anchorEvent].start, state_.scale);
        if (x < scroll.x() || x >= int64_t{scroll.x()} + width) {
          ScrollToPosition(QPoint(static_cast<int>(std::max<int64_t>(0, x - 100)), scroll.y()));
        }
        SendEventPreview();
      }
      SelectionChanged();
      return;
    }
    default:
      InsertTemplateForKey(event->key());
      return;
  }
}

void CTrackView::NudgeSelected(int frames) {
  if (SelectedIndices(CurrentTrack()).empty()) return;
  // One key for the moves of this track's selection; a change of selection, a mouse release or
  // another edit between two moves ends the step.
  constexpr uint64_t kNudgeKind = 1;
  const uint64_t key = (kNudgeKind << 32) | state_.currentTrack;
  EditTrack(
      QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "イベントの移動")), false,
      [&] {
        MoveSelected(CurrentTrack(), static_cast<uint32_t>(frames));
        return std::optional<uint32_t>(LastStart(CurrentTrack()));
      },
      key);
}

void CTrackView::InsertTemplateForKey(int key) {
  CKeldaDoc& doc = Document();
  const std::optional<int> slot = TemplateForKey(doc.templateKeys, key);
  if (!slot) return;
  doc.scratchEvent = doc.Project().templates[*slot];
  if (!doc.scratchEvent.InUse()) return;
  doc.scratchEvent.flags &= ~uint32_t{EventSelected};
  doc.scratchEvent.start = state_.position;
  EditTrack(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "テンプレートの挿入")), false, [&] {
    InsertSorted(CurrentTrack(), 1, &doc.scratchEvent);
    return std::optional<uint32_t>(LastStart(CurrentTrack()));
  });
}

// --- Commands ----------------------------------------------------------------------------

bool CTrackView::HandlesCommand(CommandId id) const {
  switch (id) {
    case CmdShowAllTracks:
    case CmdZoomIn:
    case CmdZoomOut:
    case CmdAutoExtend:
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

bool CTrackView::CommandEnabled(CommandId id) const {
  if (id == CmdZoomIn) return state_.scale > kMinScale;
  if (id == CmdZoomOut) return state_.scale < kMaxScale;
  return HandlesCommand(id);
}

bool CTrackView::CommandChecked(CommandId id) const {
  if (id == CmdShowAllTracks) return state_.displayMode == DisplayAllTracks;
  if (id == CmdAutoExtend) return state_.autoExtend;
  return CKeldaView::CommandChecked(id);
}

void CTrackView::RunCommand(CommandId id) {
  switch (id) {
    case CmdShowAllTracks:
      state_.displayMode = 1 - state_.displayMode;
      viewport()->update();
      break;
    case CmdZoomIn:
      ZoomIn();
      break;
    case CmdZoomOut:
      ZoomOut();
      break;
    case CmdAutoExtend:
      state_.autoExtend = !state_.autoExtend;
      break;
    case CmdEditCut:
      Cut();
      break;
    case CmdEditCopy:
      Copy();
      break;
    case CmdEditPaste:
      Paste();
      break;
    case CmdEditClear:
      Delete(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "イベントの削除")));
      break;
    case CmdEditSelectAll:
      SelectAll();
      break;
    case CmdProperties:
      Properties();
      break;
    default:
      CKeldaView::RunCommand(id);
      return;
  }
  emit commandStatesChanged();
}

void CTrackView::ZoomIn() {
  if (state_.scale > kMinScale) {
    const QPoint scroll = ScrollPosition();
    state_.scale /= 2;
    UpdateScrollSizes();
    ScrollToPosition(QPoint(scroll.x() * 2, scroll.y()));
  }
  viewport()->update();
}

void CTrackView::ZoomOut() {
  if (state_.scale < kMaxScale) {
    const QPoint scroll = ScrollPosition();
    ScrollToPosition(QPoint(scroll.x() / 2, scroll.y()));
    state_.scale *= 2;
    UpdateScrollSizes();
  }
  viewport()->update();
}

void CTrackView::Copy() {
  const std::vector<EventRecord> records = EventsForClipboard(CurrentTrack());
  if (!records.empty()) PutEventsOnClipboard(records);
}

void CTrackView::Cut() {
  const std::vector<EventRecord> records = EventsForClipboard(CurrentTrack());
  if (records.empty() || !PutEventsOnClipboard(records)) return;
  Delete(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "切り取り")));
}

void CTrackView::Paste() {
  std::optional<std::vector<EventRecord>> records = EventsFromClipboard();
  if (!records) return;
  EditTrack(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "貼り付け")), true, [&] {
    PasteEvents(CurrentTrack(), std::move(*records), state_.position);
    return std::optional<uint32_t>(LastStart(CurrentTrack()));
  });
}

void CTrackView::Delete(const QString& label) {
  // A delete marks the project modified even when nothing was selected.
  Document().Edit({label, EditScope::Track(state_.currentTrack)}, this, [&] {
    RemoveFlagged(CurrentTrack(), EventSelected);
    return true;
  });
  UpdateScrollSizes();
  SelectionChanged();
}

void CTrackView::SelectAll() {
  Document().QuiesceWorker();
  Document().BreakStepMerging();
  SelectAllInUse(CurrentTrack());
  SelectionChanged();
}

void CTrackView::Properties() {
  const std::vector<uint32_t> selected = SelectedIndices(CurrentTrack());
  if (selected.empty()) return;
  CKeldaDoc& doc = Document();
  std::vector<EventRecord*> targets;
  for (uint32_t i : selected) targets.push_back(&CurrentTrack().events[i]);
  const bool one = selected.size() == 1;
  // The dialog writes into the events on OK.
  EditTrack(QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "イベントのプロパティ")), false,
            [&]() -> std::optional<uint32_t> {
              if (!RunEventPropertiesDialog(this, doc.Project(), targets, one)) return std::nullopt;
              if (one) {
                state_.anchorEvent = selected.front();
                const uint32_t start = targets.front()->start;
                Sort(CurrentTrack());
                return start;
              }
              Sort(CurrentTrack());
              return LastStart(CurrentTrack());
            });
}

void CTrackView::EditTrackSound(uint32_t track) {
  if (track >= static_cast<uint32_t>(kTrackCount)) return;
  CKeldaDoc& doc = Document();
  // The dialog edits a copy and writes it into the project on OK, inside the edit, so the undo
  // step holds the header as it was before.
  doc.Edit({QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "トラックの音声")), EditScope::Header()},
           this, [&] { return RunTrackSoundDialog(this, track, doc.Project().trackSound[track]); });
  viewport()->update();
}

QMenu* CTrackView::MakeContextMenu(std::optional<uint32_t> soundTrack) {
  auto* menu = new QMenu(this);
  if (soundTrack) {
    QAction* sound = menu->addAction(QCoreApplication::translate("TrackView", "音声(&U)..."));
    sound->setData(kTrackSoundAction);
    menu->addSeparator();
  }
  auto add = [&](const char* text, CommandId id) {
    QAction* a = menu->addAction(QCoreApplication::translate("TrackView", text));
    a->setData(static_cast<int>(id));
    return a;
  };
  add(QT_TRANSLATE_NOOP("TrackView", "プロパティ(&S)..."), CmdProperties);
  menu->addSeparator();
  add(QT_TRANSLATE_NOOP("TrackView", "切り取り(&T)"), CmdEditCut);
  add(QT_TRANSLATE_NOOP("TrackView", "コピー(&C)"), CmdEditCopy);
  add(QT_TRANSLATE_NOOP("TrackView", "貼り付け(&P)"), CmdEditPaste);
  add(QT_TRANSLATE_NOOP("TrackView", "消去(&E)"), CmdEditClear);
  menu->addSeparator();
  add(QT_TRANSLATE_NOOP("TrackView", "すべて選択(&A)"), CmdEditSelectAll);
  menu->addSeparator();
  QAction* preview = add(QT_TRANSLATE_NOOP("TrackView", "プレビュー表示(&V)"), CmdPreview);
  preview->setCheckable(true);
  preview->setChecked(PreviewEnabled());
  QAction* all = add(QT_TRANSLATE_NOOP("TrackView", "全トラック表示(&A)"), CmdShowAllTracks);
  all->setCheckable(true);
  all->setChecked(state_.displayMode == DisplayAllTracks);
  add(QT_TRANSLATE_NOOP("TrackView", "拡大(&I)"), CmdZoomIn)->setEnabled(state_.scale >= 2);
  add(QT_TRANSLATE_NOOP("TrackView", "縮小(&O)"), CmdZoomOut)->setEnabled(state_.scale < 256);
  QAction* extend = add(QT_TRANSLATE_NOOP("TrackView", "自動拡張(&E)"), CmdAutoExtend);
  extend->setCheckable(true);
  extend->setChecked(state_.autoExtend);
  return menu;
}

}  // namespace tavrona
