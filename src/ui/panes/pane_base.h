// CKeldaView: the base of the four panes. A scroll area that draws in document coordinates,
// keeps the pane's "Preview" flag in tavrona.INI (read at construction, written at
// destruction), ends a drag between panes when the focus moves or the right button goes down,
// and answers the main window's command routing.
//
// A drag between panes (the document's PaneDrag) starts with a button press in the file or
// template pane and ends at the next left button release in whichever pane is under the mouse.
// The toolkit keeps sending a pressed mouse's events to the pane it was pressed in, so while a
// drag between panes is active the base hands moves and the release to the pane under the
// mouse, as its own mouse events in its viewport's coordinates, and shows that pane's cursor.
#pragma once

#include <QAbstractScrollArea>

#include "ui/commands.h"

namespace tavrona {

class CKeldaDoc;

// The logical pixel that holds a mouse position. At a scale of 1.5 or 2 a device pixel lies
// inside a logical one (15.5 is the right half of pixel 15); rounding would hand it to the next
// pixel, and so to the next row or frame, when the pane's geometry is in logical pixels.
QPoint PixelAt(QPointF viewportPoint);

class CKeldaView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // profileSection: "TrackView", "EventView", "FileView" or "ImageView".
  CKeldaView(CKeldaDoc& document, const char* profileSection, QWidget* parent = nullptr);
  ~CKeldaView() override;

  CKeldaDoc& Document() const { return document_; }
  const char* ProfileSection() const { return profileSection_; }

  bool PreviewEnabled() const { return previewEnabled_; }
  void SetPreviewEnabled(bool enabled) { previewEnabled_ = enabled; }

  // Command routing: the main window offers each command to the pane with the focus first. A
  // pane that handles a command decides whether it is enabled and checked; a command no pane
  // handles goes to the frame, the document or the application, or stays disabled.
  virtual bool HandlesCommand(CommandId id) const;
  virtual bool CommandEnabled(CommandId id) const;
  virtual bool CommandChecked(CommandId id) const;
  virtual void RunCommand(CommandId id);

  // The document's "update all views" from another pane (or from nobody).
  virtual void OnUpdate(QObject* sender);

  // The cursor the pane shows at a viewport point (what the pane answers when asked for its
  // cursor, also while another pane's drag passes over it). The base: the arrow.
  virtual QCursor CursorAt(QPoint viewportPoint) const;

  // The scroll position in document coordinates.
  QPoint ScrollPosition() const;
  void ScrollToPosition(QPoint position);
  QSize TotalSize() const { return totalSize_; }

 signals:
  // The pane's answers to HandlesCommand/CommandEnabled/CommandChecked may have changed (its
  // selection did): the main window refreshes its menus and toolbar.
  void commandStatesChanged();

 protected:
  // Draws in document coordinates: the painter is translated by the scroll position and has
  // the document's pane font. The base fills nothing; the viewport's background is white.
  virtual void OnDraw(QPainter& painter);
  // Sets the document size the scroll bars cover, with the page and line steps (0 = defaults:
  // a tenth of the page per line).
  void SetScrollSizes(QSize total, QSize page = {}, QSize line = {});

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void UpdateScrollBars();
  // The other pane of the same window under a global point, if any.
  CKeldaView* OtherPaneAt(QPointF globalPoint) const;

  CKeldaDoc& document_;
  const char* profileSection_;
  bool previewEnabled_ = true;
  QSize totalSize_;
  QSize pageSize_;
  QSize lineSize_;
};

}  // namespace tavrona
