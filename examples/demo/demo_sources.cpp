#include "demo_sources.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "export/avi_writer.h"

namespace tavrona::demo {
namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t Rgb(double r, double g, double b) {
  auto byte = [](double v) {
    return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0) + 0.5) & 0xFFu;
  };
  return byte(r) << 16 | byte(g) << 8 | byte(b);
}

double Mix(double a, double b, double t) {
  return a + (b - a) * t;
}

double SmoothStep(double edge0, double edge1, double x) {
  const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// A small deterministic generator, so every run draws the same pictures.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  // 0 <= value < 1
  double Unit() { return (Next() & 0xFFFFFF) / 16777216.0; }
  int Range(int low, int high) { return low + static_cast<int>(Unit() * (high - low + 1)); }

 private:
  uint32_t state_;
};

void FillRect(FrameBuffer& picture, int left, int top, int right, int bottom, uint32_t pixel) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, picture.Width());
  bottom = std::min(bottom, picture.Height());
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) picture.At(x, y) = pixel;
  }
}

// sin over one turn in 4096 steps, for the per-pixel colour field of the clip frames.
const std::array<float, 4096>& SineTable() {
  static const std::array<float, 4096> table = [] {
    std::array<float, 4096> t{};
    for (int i = 0; i < 4096; ++i) t[i] = static_cast<float>(std::sin(2 * kPi * i / 4096));
    return t;
  }();
  return table;
}

// sin of a phase given in turns (1.0 = 2 pi).
float SinTurns(float turns) {
  const int index = static_cast<int>(turns * 4096.0f) & 4095;
  return SineTable()[index];
}

}  // namespace

bool DrawBackdrop(FrameBuffer& picture, int width, int height) {
  if (!CreateFrameBuffer(picture, width, height)) return false;
  const double glowX = width * 0.72, glowY = height * 0.3, glowR = height * 0.55;
  for (int y = 0; y < height; ++y) {
    const double t = static_cast<double>(y) / height;
    // navy at the top, violet in the middle, a warm dusk near the horizon
    double r = t < 0.6 ? Mix(8, 52, t / 0.6) : Mix(52, 150, (t - 0.6) / 0.4);
    double g = t < 0.6 ? Mix(12, 22, t / 0.6) : Mix(22, 60, (t - 0.6) / 0.4);
    double b = t < 0.6 ? Mix(38, 96, t / 0.6) : Mix(96, 110, (t - 0.6) / 0.4);
    for (int x = 0; x < width; ++x) {
      const double d = std::hypot(x - glowX, y - glowY) / glowR;
      const double glow = std::max(0.0, 1 - d);
      picture.At(x, y) = Rgb(r + 30 * glow * glow, g + 50 * glow * glow, b + 90 * glow * glow);
    }
  }
  Random random(7);
  for (int i = 0; i < width * height / 2500; ++i) {
    const int x = random.Range(1, width - 2);
    const int y = random.Range(1, static_cast<int>(height * 0.65));
    const double light = 120 + 135 * random.Unit();
    const uint32_t core = Rgb(light, light, light * 0.95 + 12);
    picture.At(x, y) = core;
    if (light > 230) {  // the brightest stars get a small cross
      const uint32_t halo = Rgb(light * 0.5, light * 0.5, light * 0.6);
      picture.At(x - 1, y) = halo;
      picture.At(x + 1, y) = halo;
      picture.At(x, y - 1) = halo;
      picture.At(x, y + 1) = halo;
    }
  }
  return true;
}

bool DrawSkyline(FrameBuffer& picture, int width, int height) {
  if (!CreateFrameBuffer(picture, width, height)) return false;
  FillRect(picture, 0, 0, width, height, kSkylineKey);
  Random random(2024);
  int x = 0;
  while (x < width) {
    const int w = random.Range(50, 130);
    const int top = random.Range(height / 8, height * 3 / 4);
    const double shade = random.Unit();
    const uint32_t wall = Rgb(14 + 10 * shade, 16 + 10 * shade, 34 + 16 * shade);
    FillRect(picture, x, top, x + w, height, wall);
    if (random.Unit() < 0.3) {  // an antenna with a red light
      const int ax = x + w / 2;
      FillRect(picture, ax - 1, top - 26, ax + 1, top, wall);
      FillRect(picture, ax - 2, top - 30, ax + 2, top - 26, Rgb(255, 60, 50));
    }
    for (int wy = top + 12; wy + 9 < height; wy += 18) {
      for (int wx = x + 8; wx + 7 < x + w - 6; wx += 14) {
        const double lit = random.Unit();
        const uint32_t pane = lit < 0.42  ? Rgb(255, 206 + 30 * lit, 110 + 60 * lit)
                              : lit < 0.5 ? Rgb(150, 210, 255)
                                          : Rgb(30 + 8 * shade, 34 + 8 * shade, 62);
        FillRect(picture, wx, wy, wx + 7, wy + 9, pane);
      }
    }
    x += w + random.Range(-6, 10);
  }
  return true;
}

bool DrawEmblem(FrameBuffer& picture, int size) {
  if (!CreateFrameBuffer(picture, size, size)) return false;
  const double c = size / 2.0, outer = size * 0.46;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double dx = x + 0.5 - c, dy = y + 0.5 - c;
      const double r = std::hypot(dx, dy) / outer;  // 1 at the petal tips
      const double a = std::atan2(dy, dx);
      const double edge = 0.74 + 0.26 * std::cos(8 * a);
      uint32_t pixel = kEmblemKey;
      if (r <= edge) {
        const double petal = 0.5 + 0.5 * std::cos(8 * a);
        const double t = r / edge;
        pixel = Rgb(255, Mix(236, 120, t) + 20 * petal, Mix(150, 20, t) + 30 * petal);
        if (r > 0.42 && r < 0.5) pixel = Rgb(255, 250, 228);  // the ring
        if (r <= 0.34) {                                      // a deep red core with a highlight
          const double h =
              std::max(0.0, 1 - std::hypot(dx + size * 0.05, dy + size * 0.05) / (size * 0.12));
          pixel = Rgb(Mix(150, 250, h), Mix(20, 140, h * h), Mix(50, 160, h * h));
        }
      }
      picture.At(x, y) = pixel;
    }
  }
  return true;
}

bool DrawShadow(FrameBuffer& picture, int size) {
  if (!CreateFrameBuffer(picture, size, size)) return false;
  const double c = size / 2.0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double r = std::hypot(x + 0.5 - c, y + 0.5 - c) / (size * 0.47);
      const double v = 120 * (1 - SmoothStep(0.35, 1.0, r));
      picture.At(x, y) = Rgb(v, v, v);
    }
  }
  return true;
}

bool DrawFlare(FrameBuffer& picture, int size) {
  if (!CreateFrameBuffer(picture, size, size)) return false;
  const double c = size / 2.0, sigma = size * 0.12;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double dx = x + 0.5 - c, dy = y + 0.5 - c;
      const double r2 = dx * dx + dy * dy;
      double v = 255 * std::exp(-r2 / (2 * sigma * sigma));
      v += 160 * std::exp(-dy * dy / 10.0) * std::exp(-std::abs(dx) / (size * 0.2));
      v += 60 * std::exp(-dx * dx / 10.0) * std::exp(-std::abs(dy) / (size * 0.12));
      // fade to exact black at the border so the square never shows
      v *= 1 - SmoothStep(0.8, 1.0, std::max(std::abs(dx), std::abs(dy)) / c);
      picture.At(x, y) = Rgb(v, v, v);
    }
  }
  return true;
}

bool DrawVignette(FrameBuffer& picture, int width, int height) {
  if (!CreateFrameBuffer(picture, width, height)) return false;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = (x + 0.5) / width - 0.5, dy = (y + 0.5) / height - 0.5;
      const double d = std::hypot(dx * 1.4, dy * 1.6);
      const double v = 255 - 150 * SmoothStep(0.45, 1.0, d);
      picture.At(x, y) = Rgb(v, v, v * 0.97 + 6);
    }
  }
  return true;
}

bool DrawTile(FrameBuffer& picture, int width, int height, int variant) {
  if (!CreateFrameBuffer(picture, width, height)) return false;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      uint32_t pixel = 0;
      if (variant == 0) {  // checks over a warm gradient
        const bool check = ((x / 32) + (y / 32)) % 2 == 0;
        pixel = Rgb(200 + 55 * u, 90 + 100 * v, check ? 40 : 120);
      } else if (variant == 1) {  // rings
        const double r = std::hypot(u - 0.5, v - 0.5);
        const double ring = 0.5 + 0.5 * std::cos(r * 60);
        pixel = Rgb(40 + 60 * ring, 120 + 120 * ring, 200 + 55 * v);
      } else {  // diagonal stripes
        const bool stripe = ((x + y) / 24) % 2 == 0;
        pixel = stripe ? Rgb(250, 250, 240) : Rgb(60 + 140 * u, 30, 110 + 100 * v);
      }
      picture.At(x, y) = pixel;
    }
  }
  return true;
}

void DrawClipFrame(FrameBuffer& frame, uint32_t n, uint32_t frameCount) {
  const int width = frame.Width(), height = frame.Height();
  if (frame.Empty() || frameCount == 0) return;
  // Coordinates in units of a 640-pixel-wide frame, so every size shows the same picture.
  const float unit = 640.0f / static_cast<float>(width);
  const float t = static_cast<float>(n) / 30.0f;
  const float cx = 320 + 120 * SinTurns(t * 0.13f), cy = 180 + 80 * SinTurns(t * 0.17f + 0.25f);
  for (int y = 0; y < height; ++y) {
    uint32_t* row = frame.TopRow() - static_cast<ptrdiff_t>(y) * width;
    const float fy = y * unit;
    const float rowWave = SinTurns(fy * 0.0064f - t * 0.21f);
    for (int x = 0; x < width; ++x) {
      const float fx = x * unit;
      const float dx = fx - cx, dy = fy - cy;
      const float v = SinTurns(fx * 0.0048f + t * 0.16f) + rowWave +
                      SinTurns((fx + fy) * 0.0032f + t * 0.11f) +
                      SinTurns(std::sqrt(dx * dx + dy * dy) * 0.008f - t * 0.32f);
      const float phase = v * 0.125f;
      // teal through violet to warm orange
      row[x] = Rgb(130 + 100 * SinTurns(phase), 110 + 70 * SinTurns(phase + 0.2f),
                   150 + 90 * SinTurns(phase + 0.45f));
    }
  }
  // Three shaded balls bouncing inside the frame.
  for (int i = 0; i < 3; ++i) {
    const double radius = (28 + 10 * i) / unit;
    const double speedX = 170 + 60 * i, speedY = 130 + 45 * i;
    auto bounce = [](double travel, double span) {
      if (span <= 0) return 0.0;
      const double m = std::fmod(travel, 2 * span);
      return m < span ? m : 2 * span - m;
    };
    const double bx = (radius + bounce(t * speedX / unit + i * 200 / unit, width - 2 * radius));
    const double by = (radius + bounce(t * speedY / unit + i * 90 / unit, height - 2 * radius));
    const double colours[3][3] = {{255, 90, 70}, {90, 230, 120}, {255, 220, 80}};
    for (int y = static_cast<int>(by - radius); y <= static_cast<int>(by + radius); ++y) {
      for (int x = static_cast<int>(bx - radius); x <= static_cast<int>(bx + radius); ++x) {
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        const double d = std::hypot(x - bx, y - by) / radius;
        if (d > 1) continue;
        const double light = 0.55 + 0.45 * std::max(0.0, 1 - std::hypot(x - bx + radius * 0.35,
                                                                        y - by + radius * 0.35) /
                                                                 radius);
        frame.At(x, y) = Rgb(colours[i][0] * light + 40 * light * light,
                             colours[i][1] * light + 40 * light * light,
                             colours[i][2] * light + 40 * light * light);
      }
    }
  }
  // Progress bar and border.
  const int border = std::max(2, static_cast<int>(6 / unit));
  const int barTop = height - border - std::max(3, static_cast<int>(10 / unit));
  const int barEnd = border + static_cast<int>((width - 2 * border) * (n + 1.0) / frameCount);
  FillRect(frame, border, barTop, width - border, height - border, Rgb(20, 20, 36));
  FillRect(frame, border, barTop, barEnd, height - border, Rgb(255, 255, 255));
  const uint32_t white = Rgb(250, 250, 250);
  FillRect(frame, 0, 0, width, border, white);
  FillRect(frame, 0, height - border, width, height, white);
  FillRect(frame, 0, 0, border, height, white);
  FillRect(frame, width - border, 0, width, height, white);
}

bool WriteClip(const std::filesystem::path& path, int width, int height, uint32_t frameCount,
               uint32_t framesPerSecond, std::string_view compressor) {
  FrameBuffer frame;
  if (!CreateFrameBuffer(frame, width, height)) return false;
  AviWriter writer;
  if (!ChooseCompressor(writer, compressor)) return false;
  InitAviWriter(writer);
  if (!OpenAviStream(writer, path.u16string(), frame.header, framesPerSecond, 1)) {
    CloseAviWriter(writer);
    return false;
  }
  bool ok = true;
  for (uint32_t n = 0; n < frameCount && ok; ++n) {
    DrawClipFrame(frame, n, frameCount);
    ok = WriteAviFrame(writer, n, frame.pixels, frame.byteSize, nullptr);
  }
  CloseAviWriter(writer);
  return ok;
}

}  // namespace tavrona::demo
