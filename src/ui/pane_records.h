// The records through which the panes talk to each other, all held by the document: the preview
// request, the drag between panes, and the display cell of the list-like panes.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

class QPainter;

namespace tavrona {

enum PreviewMode : int32_t {
  PreviewNothing = 0,
  PreviewFile = 1,          // a frame of one file: number = file ID, frame = movie frame index
  PreviewScratchEvent = 2,  // the document's scratch event
  PreviewTrack = 3,         // one track at an output frame: number = track
  PreviewAllTracks = 4,     // the whole composition at an output frame
};

// What the preview pane shows. A writer sets needsRender, then updates all views.
struct PreviewRequest {
  bool needsRender = false;
  int32_t mode = PreviewNothing;
  int32_t number = 0;  // file ID or track number
  uint32_t frame = 0;  // movie frame index (mode 1) or output frame (modes 3, 4)
};

enum PaneDragKind : int32_t {
  DragNone = 0,
  DragFile = 2,      // a file row from the file pane
  DragTemplate = 3,  // a template row from the event pane (payload: the scratch event)
};

// A drag from one pane onto another, started by the file or event pane.
struct PaneDrag {
  bool active = false;
  int32_t kind = DragNone;
  int32_t fileId = 0;
};

// COLORREF-style colour 0x00BBGGRR.
inline QColor ColorFromRef(uint32_t ref) {
  return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

enum PaneCellKind : int32_t { CellNone = 0, CellFilledText = 1, CellBox = 2 };
enum PaneCellTextFlags : int32_t { CellLeft = 1, CellCentre = 2, CellRight = 4 };

// One visible row or bar of a list-like pane. A new cell is all zero.
struct PaneCell {
  int32_t kind = CellNone;  // PaneCellKind; other values are not drawn
  // Box cells: 0 = fill colour 1, frame colour 2; 1 = fill colour 1, black frame; 2 = fill
  // colour 2, black frame.
  int32_t colourMode = 0;
  int32_t textFlags = 0;                             // PaneCellTextFlags
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // document coordinates of the pane
  QString text;
  uint32_t colour1 = 0, colour2 = 0;  // 0x00BBGGRR
  int32_t data = 0;                   // the track, event or row the cell stands for
};

// Draws the cell with the painter's font, the text background transparent. Box cells: the
// rectangle filled and framed by the colour mode (the frame on its outer pixels, the same pixels
// however much of the cell the painter's clip cuts off; nothing for an empty rectangle), the
// text single-line and vertically centred (left with CellLeft, else right with CellRight, else
// centred). Filled text cells: the rectangle filled with colour 2, the text in colour 1, tabs
// expanded (right with CellRight, else centred with CellCentre, else left). The painter's pen
// and brush are restored.
void DrawPaneCell(QPainter& painter, const PaneCell& cell);

}  // namespace tavrona
