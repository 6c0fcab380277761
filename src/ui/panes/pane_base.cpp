#include "ui/panes/pane_base.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

#include "ui/document.h"
#include "ui/profile.h"

namespace tavrona {

QPoint PixelAt(QPointF viewportPoint) {
  return QPoint(static_cast<int>(std::floor(viewportPoint.x())),
                static_cast<int>(std::floor(viewportPoint.y())));
}

CKeldaView::CKeldaView(CKeldaDoc& document, const char* profileSection, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document), profileSection_(profileSection) {
  previewEnabled_ = AppProfile().GetInt(profileSection_, "Preview", 1) != 0;
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::StyledPanel);
  QPalette palette = viewport()->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::Base, Qt::white);
  viewport()->setPalette(palette);
  viewport()->setAutoFillBackground(true);
  // The cursor follows the mouse without a button pressed too.
  viewport()->setMouseTracking(true);
  viewport()->setFont(document.paneFont);
  setFont(document.paneFont);
  SetScrollSizes(QSize(0, 0));
}

CKeldaView::~CKeldaView() {
  AppProfile().SetInt(profileSection_, "Preview", previewEnabled_ ? 1 : 0);
}

bool CKeldaView::HandlesCommand(CommandId id) const {
  return id == CmdPreview;
}

bool CKeldaView::CommandEnabled(CommandId id) const {
  return HandlesCommand(id);
}

bool CKeldaView::CommandChecked(CommandId id) const {
  return id == CmdPreview && previewEnabled_;
}

void CKeldaView::RunCommand(CommandId id) {
  if (id == CmdPreview) previewEnabled_ = !previewEnabled_;
}

void CKeldaView::OnUpdate(QObject*) {
  viewport()->update();
}

QPoint CKeldaView::ScrollPosition() const {
  return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CKeldaView::ScrollToPosition(QPoint position) {
  horizontalScrollBar()->setValue(position.x());
  verticalScrollBar()->setValue(position.y());
}

void CKeldaView::OnDraw(QPainter&) {}

QCursor CKeldaView::CursorAt(QPoint) const {
  return QCursor(Qt::ArrowCursor);
}

CKeldaView* CKeldaView::OtherPaneAt(QPointF globalPoint) const {
  QWidget* under = QApplication::widgetAt(PixelAt(globalPoint));
  for (QWidget* w = under; w != nullptr; w = w->parentWidget()) {
    if (auto* pane = qobject_cast<CKeldaView*>(w)) {
      return pane != this && pane->window() == window() ? pane : nullptr;
    }
  }
  return nullptr;
}

bool CKeldaView::viewportEvent(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool leftRelease =
        type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton;
    if (document_.drag.active && (type == QEvent::MouseMove || leftRelease)) {
      if (CKeldaView* target = OtherPaneAt(mouse->globalPosition())) {
        // The event belongs to the pane under the mouse.
        const QPointF local = target->viewport()->mapFromGlobal(mouse->globalPosition());
        QMouseEvent forwarded(type, local, mouse->globalPosition(), mouse->button(),
                              mouse->buttons(), mouse->modifiers());
        QApplication::sendEvent(target->viewport(), &forwarded);
        viewport()->setCursor(target->CursorAt(PixelAt(local)));
        return true;
      }
    }
    if (type == QEvent::MouseMove) viewport()->setCursor(CursorAt(PixelAt(mouse->position())));
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void CKeldaView::SetScrollSizes(QSize total, QSize page, QSize line) {
  totalSize_ = total;
  pageSize_ = page;
  lineSize_ = line;
  UpdateScrollBars();
}

void CKeldaView::UpdateScrollBars() {
  const QSize view = viewport()->size();
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  h->setRange(0, std::max(0, totalSize_.width() - view.width()));
  v->setRange(0, std::max(0, totalSize_.height() - view.height()));
  const QSize page = pageSize_.isEmpty() ? view : pageSize_;
  h->setPageStep(std::max(1, page.width()));
  v->setPageStep(std::max(1, page.height()));
  h->setSingleStep(std::max(1, lineSize_.width() > 0 ? lineSize_.width() : page.width() / 10));
  v->setSingleStep(std::max(1, lineSize_.height() > 0 ? lineSize_.height() : page.height() / 10));
}

void CKeldaView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(document_.paneFont);
  painter.translate(-ScrollPosition());
  OnDraw(painter);
}

void CKeldaView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void CKeldaView::scrollContentsBy(int, int) {
  viewport()->update();
}

void CKeldaView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  document_.drag.active = false;
}

void CKeldaView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  document_.drag.active = false;
}

void CKeldaView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) document_.drag.active = false;
  QAbstractScrollArea::mousePressEvent(event);
}

}  // namespace tavrona
