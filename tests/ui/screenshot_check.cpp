// tavrona-screenshot-check SHOT.png REFERENCE.bmp
// Finds the preview pane in a screenshot of the running program and checks that it shows the
// reference frame stretched to the pane: the pane is the largest dark region near the window's
// top-left corner (the frames it is used with are dark at their edges, the window's chrome is
// light), and every pixel in it must match the nearest reference pixel. Exit status 0 when it
// does, 1 when it does not (with the figures), 2 for unreadable input.
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <queue>
#include <vector>

namespace {

bool Dark(QRgb p) {
  return qGray(p) < 110;
}

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;
  int Width() const { return right - left + 1; }
  int Height() const { return bottom - top + 1; }
};

// The bounding box of the largest 4-connected dark region within the search area.
Box LargestDarkRegion(const QImage& shot, int searchWidth, int searchHeight) {
  const int w = std::min(searchWidth, shot.width());
  const int h = std::min(searchHeight, shot.height());
  std::vector<uint8_t> seen(static_cast<size_t>(w) * h, 0);
  Box best;
  long bestArea = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (seen[y * w + x] || !Dark(shot.pixel(x, y))) continue;
      Box box{x, y, x, y};
      long area = 0;
      std::queue<std::pair<int, int>> queue;
      queue.push({x, y});
      seen[y * w + x] = 1;
      while (!queue.empty()) {
        const auto [cx, cy] = queue.front();
        queue.pop();
        ++area;
        box.left = std::min(box.left, cx);
        box.right = std::max(box.right, cx);
        box.top = std::min(box.top, cy);
        box.bottom = std::max(box.bottom, cy);
        const int nx[4] = {cx - 1, cx + 1, cx, cx};
        const int ny[4] = {cy, cy, cy - 1, cy + 1};
        for (int i = 0; i < 4; ++i) {
          if (nx[i] < 0 || ny[i] < 0 || nx[i] >= w || ny[i] >= h) continue;
          uint8_t& s = seen[ny[i] * w + nx[i]];
          if (s || !Dark(shot.pixel(nx[i], ny[i]))) continue;
          s = 1;
          queue.push({nx[i], ny[i]});
        }
      }
      if (area > bestArea) {
        bestArea = area;
        best = box;
      }
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SHOT.png REFERENCE.bmp\n", argv[0]);
    return 2;
  }
  QImage shot(QString::fromLocal8Bit(argv[1]));
  QImage reference(QString::fromLocal8Bit(argv[2]));
  if (shot.isNull() || reference.isNull()) {
    std::fprintf(stderr, "cannot read %s or %s\n", argv[1], argv[2]);
    return 2;
  }
  shot = shot.convertToFormat(QImage::Format_RGB32);
  reference = reference.convertToFormat(QImage::Format_RGB32);
  const Box box = LargestDarkRegion(shot, 800, 700);
  std::printf("preview found at %d,%d size %dx%d\n", box.left, box.top, box.Width(), box.Height());
  if (box.Width() < 200 || box.Height() < 150) {
    std::printf("no preview: the largest dark region is too small\n");
    return 1;
  }
  long total = 0, close = 0;
  double sum = 0;
  for (int y = 0; y < box.Height(); ++y) {
    for (int x = 0; x < box.Width(); ++x) {
      const QRgb s = shot.pixel(box.left + x, box.top + y);
      const QRgb r =
          reference.pixel(static_cast<int>(int64_t(x) * reference.width() / box.Width()),
                          static_cast<int>(int64_t(y) * reference.height() / box.Height()));
      const int d = std::abs(qRed(s) - qRed(r)) + std::abs(qGreen(s) - qGreen(r)) +
                    std::abs(qBlue(s) - qBlue(r));
      sum += d / 3.0;
      ++total;
      if (d <= 3 * 24) ++close;
    }
  }
  const double mean = sum / total;
  const double share = static_cast<double>(close) / total;
  std::printf("mean difference %.2f per channel, %.1f%% of pixels within 24\n", mean,
              100.0 * share);
  return mean < 10.0 && share > 0.9 ? 0 : 1;
}
