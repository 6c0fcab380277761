// CImageView: the preview pane (upper left). Shows what the other panes last asked for through
// the document's preview request (a file's picture, the scratch event's picture, one track or
// the whole composition at a frame), and the frames of real-time playback while it runs. The
// pictures are made by the document's composition worker; painting only draws the picture last
// delivered, stretched over the pane (or letterboxed with "縦横比を保つ"); a picture composed at a
// reduced preview resolution is stretched over the same rectangle the full-size one would fill. It can save the
// requested picture as a BMP file. It never changes the project.
//
// Profile section "ImageView": "Preview" (the pane's preview flag, default 1) and "KeepAspect"
// (default 0), read at construction and written at destruction. User-interface thread only.
#pragma once

#include <QImage>
#include <memory>

#include "ui/panes/pane_base.h"

class QMenu;

namespace tavrona {

class CImageView : public CKeldaView {
  Q_OBJECT

 public:
  explicit CImageView(CKeldaDoc& document, QWidget* parent = nullptr);
  ~CImageView() override;

  // No scroll bars: the picture always fills the pane.
  void OnInitialUpdate();

  bool HandlesCommand(CommandId id) const override;
  bool CommandEnabled(CommandId id) const override;
  void RunCommand(CommandId id) override;

  // With the preview flag set, hands the document's request to the worker; then repaints.
  void OnUpdate(QObject* sender) override;
  // Cursor 135 while a drag between panes is active (nothing can be dropped here), else the
  // arrow.
  QCursor CursorAt(QPoint viewportPoint) const override;

  bool KeepAspect() const { return keepAspect_; }
  void SetKeepAspect(bool keep);

  // The picture painting draws (null: none) and the reduction it was composed at.
  const QImage& Picture() const { return picture_; }
  int32_t PictureReduction() const { return pictureReduction_; }
  // The serial of the request handed to the worker whose result is awaited; 0 when none.
  uint64_t PendingSerial() const { return pendingSerial_; }

  // The context menu (the caller owns it): "プレビュー画像を保存(&I)...", separator,
  // "プレビュー表示(&V)" (checked with the preview flag), separator, "縦横比を保つ" (checked
  // when kept).
  std::unique_ptr<QMenu> MakeContextMenu();

 protected:
  void OnDraw(QPainter& painter) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;

 private:
  void HandRequest();
  void OnPreviewReady(quint64 serial, bool ok, const QImage& image, qint32 reduction);
  void OnPlaybackFrame(quint32 frame, const QImage& image, qint32 reduction);
  void SavePreview();
  void UpdateCursor();

  QImage picture_;
  int32_t pictureReduction_ = 1;
  uint64_t pendingSerial_ = 0;
  bool keepAspect_ = false;
};

}  // namespace tavrona
