// The three drag cursors of the panes, 32 x 32 monochrome pictures built into the program
// (drawn at twice the size for high-density screens).
#pragma once

#include <QCursor>
#include <QPixmap>

namespace tavrona {

enum PaneCursorId {
  CursorAdd = 134,     // an arrow with a plus sign and a dotted rectangle: a drop adds something
  CursorNoDrop = 135,  // a circle with a diagonal bar: nothing can be dropped here
  CursorMove = 136,    // an arrow with a dotted rectangle: moving
};

// The cursor with its hot spot: (16, 8) for 134 and 136, (15, 15) for 135, in logical pixels.
// On a screen of device pixel ratio above 1 the picture is 64 x 64 at ratio 2.
QCursor PaneCursor(PaneCursorId id);

// The cursor's picture for a device pixel ratio: 32 x 32 at ratio 1 for a ratio up to 1, else
// 64 x 64 at ratio 2 (the 32 x 32 picture enlarged with its diagonals smoothed).
QPixmap PaneCursorPixmap(PaneCursorId id, qreal ratio);

}  // namespace tavrona
