// The three drag cursors of the panes, 32 x 32 monochrome pictures built into the program.
#pragma once

#include <QCursor>

namespace tavrona {

enum PaneCursorId {
  CursorAdd = 134,     // an arrow with a plus sign and a dotted rectangle: a drop adds something
  CursorNoDrop = 135,  // a circle with a diagonal bar: nothing can be dropped here
  CursorMove = 136,    // an arrow with a dotted rectangle: moving
};

// The cursor with its hot spot: (16, 8) for 134 and 136, (15, 15) for 135.
QCursor PaneCursor(PaneCursorId id);

}  // namespace tavrona
