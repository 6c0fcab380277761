// CTrackView: the timeline pane (lower right). Shows the 256 tracks against a time ruler, in
// the all-tracks mode (one row per track) or the single-track mode (the current track's event
// band and the list of its events from the position on), and edits them: position and range in
// the tick strip, selecting and moving events, drops from the file and template panes, template
// keys, the edit commands and the clipboard. The decisions live in track_view_logic.h; this
// class turns input into calls of it and paints what it computed.
//
// The profile section "TrackView" holds "Preview" (the base) and "AutoExtend", both read at
// construction and written at destruction.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "ui/panes/pane_base.h"
#include "ui/panes/track_view_logic.h"

class QMenu;

namespace tavrona {

class CTrackView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CTrackView(CKeldaDoc& document, QWidget* parent = nullptr);
  ~CTrackView() override;

  const TrackViewState& State() const { return state_; }
  // The cells the last paint produced (what the mouse hit test searches).
  const TrackViewCells& Cells() const { return cells_; }

  bool HandlesCommand(CommandId id) const override;
  bool CommandEnabled(CommandId id) const override;
  bool CommandChecked(CommandId id) const override;
  void RunCommand(CommandId id) override;
  void OnUpdate(QObject* sender) override;
  QCursor CursorAt(QPoint viewportPoint) const override;

  // The pane's context menu with its own check and grey states (owned by the caller). A right
  // click on a track's number (soundTrack) puts "音声(&U)..." first, which opens that track's
  // sound settings; its action's data is kTrackSoundAction.
  QMenu* MakeContextMenu(std::optional<uint32_t> soundTrack = std::nullopt);
  static constexpr int kTrackSoundAction = -1;
  // The sound settings dialog of track (volume and mute), applied as one undoable edit.
  void EditTrackSound(uint32_t track);

 protected:
  void OnDraw(QPainter& painter) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TrackData& CurrentTrack();
  QPoint DocumentPoint(QPointF viewportPoint) const;
  void UpdateScrollSizes();
  void SetPosition(uint32_t frame);
  void SendPositionPreview(int32_t mode);
  void SendEventPreview();
  void SelectionChanged();
  // One edit of the current track (an insertion, move, paste or property change) through the
  // document's edit path. apply returns the start the movie is auto-extended to, or nothing
  // when it left the track as it was. Afterwards the pane repaints; scrollSizes recomputes the
  // scroll range even when the movie kept its length. Edits with the same non-zero mergeKey in
  // a row are one undo step.
  bool EditTrack(const QString& label, bool scrollSizes,
                 const std::function<std::optional<uint32_t>()>& apply, uint64_t mergeKey = 0);
  // Ctrl+Left / Ctrl+Right: the selected events move by frames; the moves of one selection in a
  // row are one undo step.
  void NudgeSelected(int frames);
  void ReleaseGesture(QPoint doc);
  void Drop(QPoint doc);
  void InsertTemplateForKey(int key);

  void Copy();
  void Cut();
  void Paste();
  void Delete(const QString& label);
  void SelectAll();
  void Properties();
  void ZoomIn();
  void ZoomOut();

  TrackViewState state_;
  TrackViewCells cells_;
  std::vector<TrackDrawOp> ops_;
};

}  // namespace tavrona
