#include "ui/pane_records.h"

#include <QPainter>

namespace tavrona {

void DrawPaneCell(QPainter& painter, const PaneCell& cell) {
  if (cell.kind != CellFilledText && cell.kind != CellBox) return;
  painter.save();
  painter.setBackgroundMode(Qt::TransparentMode);
  const QRect rect(QPoint(cell.left, cell.top), QPoint(cell.right - 1, cell.bottom - 1));
  if (cell.kind == CellBox) {
    QColor fill = ColorFromRef(cell.colour1);
    QColor frame = ColorFromRef(cell.colour2);
    if (cell.colourMode == 1) frame = Qt::black;
    if (cell.colourMode == 2) {
      fill = ColorFromRef(cell.colour2);
      frame = Qt::black;
    }
    // A framed rectangle covers left..right-1, top..bottom-1, the frame one pixel wide inside;
    // an empty one covers nothing. The frame's four sides are filled, not stroked: an outline
    // reaching far outside the painted area is cut as a line by the clip, which can lose the
    // pixel at the cut, while a filled rectangle is cut at whole pixels.
    if (rect.isEmpty()) {
      painter.restore();
      return;
    }
    painter.fillRect(rect, fill);
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), frame);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), frame);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), frame);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), frame);
    int align = Qt::AlignVCenter | Qt::TextSingleLine;
    if (cell.textFlags & CellLeft) {
      align |= Qt::AlignLeft;
    } else if (cell.textFlags & CellRight) {
      align |= Qt::AlignRight;
    } else {
      align |= Qt::AlignHCenter;
    }
    painter.setPen(Qt::black);
    painter.drawText(rect, align, cell.text);
  } else {
    painter.fillRect(rect, ColorFromRef(cell.colour2));
    painter.setPen(ColorFromRef(cell.colour1));
    int align = Qt::AlignTop | Qt::TextExpandTabs;
    if (cell.textFlags & CellRight) {
      align |= Qt::AlignRight;
    } else if (cell.textFlags & CellCentre) {
      align |= Qt::AlignHCenter;
    } else {
      align |= Qt::AlignLeft;
    }
    painter.drawText(rect, align, cell.text);
  }
  painter.restore();
}

}  // namespace tavrona
