#include "ui/cursors.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>

namespace tavrona {
namespace {

// 32 x 32 pictures: '#' black, '.' white, ' ' transparent.
constexpr const char* kAddArrow[32] = {
    "                                ", "                                ",
    "                                ", "                                ",
    "                                ", "                                ",
    "                                ", "                                ",
    "                #               ", "                ##              ",
    "                #.#             ", "                #..#            ",
    "                #...#           ", "                #....#          ",
    "                #.....#         ", "                #......#        ",
    "                #.......#       ", "                #........#      ",
    "                #.....#####     ", "                #..#..#         ",
    "                #.# #..#        ", "                ##  #..#        ",
    "                #    #..# ##### ", "             # # # ##..#.#...#  ",
    "                      ## #...#  ", "             #     ####..#...#  ",
    "                   #...........#", "             #     #...........#",
    "                   #...........#", "             # # # ####..#...#  ",
    "                       # #...#  ", "                         #####  ",
};

constexpr const char* kNoDrop[32] = {
    "                                ", "                                ",
    "                                ", "                                ",
    "            #######             ", "          ##.......##           ",
    "         #...........#          ", "        #....#####....#         ",
    "       #...##     ##...#        ", "      #...#        #....#       ",
    "      #..#        #....#        ", "     #..#        #....#.#       ",
    "     #..#       #....# #.#      ", "     #.#       #....#  #.#      ",
    "     #.#      #....#   #.#      ", "     #.#     #....#    #.#      ",
    "     #.#    #....#     #.#      ", "     #.#   #....#      #.#      ",
    "     #.#  #....#       #.#      ", "      #.##....#       #..#      ",
    "      #.#....#       #..#       ", "       #....#        #...#      ",
    "       #...##     ##...#        ", "        #....#####....#         ",
    "         #...........#          ", "          ##.......##           ",
    "            #######             ", "                                ",
    "                                ", "                                ",
    "                                ", "                                ",
};

constexpr const char* kMoveArrow[32] = {
    "                                ", "                                ",
    "                                ", "                                ",
    "                                ", "                                ",
    "                                ", "                                ",
    "                #               ", "                ##              ",
    "                #.#             ", "                #..#            ",
    "                #...#           ", "                #....#          ",
    "                #.....#         ", "                #......#        ",
    "                #.......#       ", "                #........#      ",
    "                #.....#####     ", "                #..#..#         ",
    "                #.# #..#        ", "                ##  #..#        ",
    "                #    #..#       ", "             # # # # #..# #     ",
    "                      ##        ", "             #              #   ",
    "                                ", "             #              #   ",
    "                                ", "             # # # # # # # #    ",
    "                                ", "                                ",
};

// The picture's pixel (x, y), ' ' outside.
char ArtAt(const char* const (&rows)[32], int x, int y) {
  return x < 0 || y < 0 || x >= 32 || y >= 32 ? ' ' : rows[y][x];
}

// The picture at twice the size for screens of device pixel ratio above 1, enlarged by Scale2x:
// each pixel becomes four, and a quarter takes the colour of the two neighbours it touches when
// they agree, so diagonal edges step by half pixels instead of turning into blocks.
QImage DoubledArt(const char* const (&rows)[32]) {
  QImage picture(64, 64, QImage::Format_ARGB32);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const char p = rows[y][x];
      const char up = ArtAt(rows, x, y - 1), down = ArtAt(rows, x, y + 1);
      const char left = ArtAt(rows, x - 1, y), right = ArtAt(rows, x + 1, y);
      const char quarters[4] = {
          left == up && left != down && up != right ? up : p,
          up == right && up != left && right != down ? right : p,
          down == left && down != right && left != up ? left : p,
          right == down && right != up && down != left ? down : p,
      };
      for (int q = 0; q < 4; ++q) {
        const QRgb colour = quarters[q] == '#'   ? 0xFF000000u
                            : quarters[q] == '.' ? 0xFFFFFFFFu
                                                 : 0x00000000u;
        picture.setPixel(2 * x + q % 2, 2 * y + q / 2, colour);
      }
    }
  }
  return picture;
}

QImage Art(const char* const (&rows)[32]) {
  QImage picture(32, 32, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (rows[y][x] == '#') picture.setPixel(x, y, 0xFF000000u);
      if (rows[y][x] == '.') picture.setPixel(x, y, 0xFFFFFFFFu);
    }
  }
  return picture;
}

const char* const (&ArtOf(PaneCursorId id))[32] {
  switch (id) {
    case CursorAdd:
      return kAddArrow;
    case CursorNoDrop:
      return kNoDrop;
    case CursorMove:
      break;
  }
  return kMoveArrow;
}

}  // namespace

QPixmap PaneCursorPixmap(PaneCursorId id, qreal ratio) {
  const bool doubled = ratio > 1.0;
  QPixmap pixmap = QPixmap::fromImage(doubled ? DoubledArt(ArtOf(id)) : Art(ArtOf(id)));
  pixmap.setDevicePixelRatio(doubled ? 2.0 : 1.0);
  return pixmap;
}

QCursor PaneCursor(PaneCursorId id) {
  const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
  // The hot spot is in logical pixels whichever picture is chosen.
  const QPoint hot = id == CursorNoDrop ? QPoint(15, 15) : QPoint(16, 8);
  return QCursor(PaneCursorPixmap(id, ratio), hot.x(), hot.y());
}

}  // namespace tavrona
