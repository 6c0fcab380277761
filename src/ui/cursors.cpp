#include "ui/cursors.h"

#include <QBitmap>
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

QCursor MakeCursor(const char* const (&rows)[32], int hotX, int hotY) {
  QImage picture(32, 32, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (rows[y][x] == '#') picture.setPixel(x, y, 0xFF000000u);
      if (rows[y][x] == '.') picture.setPixel(x, y, 0xFFFFFFFFu);
    }
  }
  return QCursor(QPixmap::fromImage(picture), hotX, hotY);
}

}  // namespace

QCursor PaneCursor(PaneCursorId id) {
  switch (id) {
    case CursorAdd:
      return MakeCursor(kAddArrow, 16, 8);
    case CursorNoDrop:
      return MakeCursor(kNoDrop, 15, 15);
    case CursorMove:
      break;
  }
  return MakeCursor(kMoveArrow, 16, 8);
}

}  // namespace tavrona
