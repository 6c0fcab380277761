// The four drawing kernels drawing a 1920x1080 picture into a 1920x1080 frame, in Mpix/s of
// destination pixels covered, beside baselines measured in the same run: memcpy of one frame
// (the memory-bandwidth ceiling), pixman's nearest and bilinear affine composites and Qt's
// raster painter (QPainter::drawImage, plain, with opacity and smooth) of the same picture
// under the same placement.
//
//   build/bin/tavrona-bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
//   python3 bench/ratios.py bench.json    (after --benchmark_out=bench.json) for the ratios
//
// Groups: separate runs "<kernel>/<placement>/<case>/threads:<n>" beside "memcpy/frame",
// "pixman/<placement>/<filter>" and "qt/<placement>/<style>"; "paired/..." and "qtpaired/..."
// runs that time a kernel and pixman or Qt alternately in thread time (ratio counter, steadier
// on a shared machine); "keyed/..." runs that time a kernel keyed and unkeyed alternately;
// "threads/..." runs that alternate turns of one and two threads (speedup, first and work
// counters), with "threads/memcpy" as the ceiling memory sets; "memcpypaired/..." runs that time
// the unscaled opacity draws and a memcpy alternately.
//
// Names: <kernel>/<placement>/<case>/threads:<n>. Placements: "rotated" (scale 1.37, 17
// degrees about the centre), "scaled" (scale 1.37 about the centre), "unscaled" (identity) and
// "minified" (scale 0.4, 17 degrees about the centre: a large still shrunk to a tile).
// Cases: opaque (mode 0), opacity (mode 0 at opacity 128), add (mode 5), keyed (mode 0 with a
// transparent colour that a quarter of the texels carry).
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/frame_buffer.h"
#include "render/kernels.h"
#include "render/matrix.h"
#include "render/worker_pool.h"

#ifdef TAVRONA_BENCH_PIXMAN
#include <pixman.h>
#endif
#ifdef TAVRONA_BENCH_QT
#include <QImage>
#include <QPainter>
#include <QTransform>
#endif

namespace tavrona {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr uint32_t kKeyPixel = 0x00203040;  // in pixel order; project colour 0x00403020

struct Placement {
  const char* name;
  float scale;
  float rotation;
  bool centred;
};

constexpr Placement kPlacements[] = {
    {"rotated", 1.37f, 17.0f, true},
    {"scaled", 1.37f, 0.0f, true},
    {"unscaled", 1.0f, 0.0f, false},
    {"minified", 0.4f, 17.0f, true},
};

struct Case {
  const char* name;
  uint32_t mode;
  uint32_t colourWord;
  uint32_t transparentColour;
};

constexpr Case kCases[] = {
    {"opaque", 0, 0x00FFFFFF, 0xFF000000},
    {"opacity", 0, 0x80FFFFFF, 0xFF000000},
    {"add", 5, 0x00FFFFFF, 0xFF000000},
    {"keyed", 0, 0x00FFFFFF, 0x00403020},
};

const char* const kKernelNames[] = {"DrawNormal", "DrawBoundaryCorrected", "DrawLinear",
                                    "DrawLinearColourCorrected"};

struct Pictures {
  FrameBuffer source;
  FrameBuffer destination;
  Pictures() {
    CreateFrameBuffer(source, kWidth, kHeight);
    CreateFrameBuffer(destination, kWidth, kHeight);
    std::mt19937 rng(1);
    uint32_t* s = source.Words();
    for (uint32_t i = 0; i < source.byteSize / 4; ++i) {
      s[i] = rng() % 4 == 0 ? kKeyPixel : (rng() & 0x00FFFFFF);
    }
    FillFrameBuffer(destination, 0x00102030);
  }
};

Pictures& SharedPictures() {
  static Pictures pictures;
  return pictures;
}

EventRecord PlacedEvent(const Placement& placement, int method) {
  EventRecord e{};
  e.drawingMethod = method;
  e.scale = placement.scale;
  e.rotation = placement.rotation;
  if (placement.centred) {
    e.baseX = kWidth / 2.0f;
    e.baseY = kHeight / 2.0f;
    e.positionX = kWidth / 2.0f;
    e.positionY = kHeight / 2.0f;
  }
  BuildPlacementMatrices(e);
  return e;
}

KernelParams MakeParams(const Placement& placement, const Case& c, int method) {
  Pictures& pictures = SharedPictures();
  EventRecord e = PlacedEvent(placement, method);
  ApplyHalfPixelOffset(e);
  KernelParams p;
  p.clipRight = kWidth;
  p.clipBottom = kHeight;
  p.regionRight = kWidth;
  p.regionBottom = kHeight;
  p.destinationPixels = pictures.destination.Words();
  p.destinationWidth = kWidth;
  p.destinationHeight = kHeight;
  p.sourcePixels = pictures.source.Words();
  p.sourceWidth = kWidth;
  p.sourceHeight = kHeight;
  p.transparentColour = c.transparentColour;
  p.colourWord = c.colourWord;
  p.blendMode = c.mode;
  std::copy(e.matrix, e.matrix + 9, p.matrix);
  std::copy(e.inverseMatrix, e.inverseMatrix + 9, p.inverseMatrix);
  return p;
}

// Destination pixels the placed picture covers: a draw of an all-ones picture into a zero frame.
int64_t CoveredPixels(const Placement& placement, int method) {
  FrameBuffer ones, frame;
  CreateFrameBuffer(ones, kWidth, kHeight);
  CreateFrameBuffer(frame, kWidth, kHeight);
  FillFrameBuffer(ones, 0x00010101);
  KernelParams p = MakeParams(placement, kCases[0], method);
  p.sourcePixels = ones.Words();
  p.destinationPixels = frame.Words();
  DrawWithMethod(method, p);
  int64_t covered = 0;
  for (uint32_t i = 0; i < frame.byteSize / 4; ++i) covered += frame.Words()[i] != 0;
  return covered;
}

void SetRate(benchmark::State& state, int64_t pixels) {
  state.SetItemsProcessed(state.iterations() * pixels);
  state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(pixels) * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void KernelBenchmark(benchmark::State& state, int method, const Placement& placement, const Case& c,
                     int threads) {
  SetRenderThreadCount(threads);
  const KernelParams p = MakeParams(placement, c, method);
  const int64_t covered = CoveredPixels(placement, method);
  for (auto _ : state) {
    DrawWithMethod(method, p);
    benchmark::ClobberMemory();
  }
  SetRate(state, covered);
  SetRenderThreadCount(0);
}

void MemcpyBenchmark(benchmark::State& state) {
  Pictures& pictures = SharedPictures();
  for (auto _ : state) {
    std::memcpy(pictures.destination.pixels, pictures.source.pixels, pictures.source.byteSize);
    benchmark::ClobberMemory();
  }
  SetRate(state, int64_t{kWidth} * kHeight);
}

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Processor time of every thread of the process.
double ProcessSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Runs first() then second() in every iteration, each timed by clock (the thread's or the
// process's processor time); returns their total seconds, first's then second's. On a machine
// shared with other work a ratio of two draws timed so is far steadier than two separate runs.
template <typename Clock, typename First, typename Second>
std::pair<double, double> TimeAlternately(benchmark::State& state, Clock clock, First first,
                                          Second second) {
  double firstSeconds = 0, secondSeconds = 0;
  for (auto _ : state) {
    const double t0 = clock();
    first();
    benchmark::ClobberMemory();
    const double t1 = clock();
    second();
    benchmark::ClobberMemory();
    secondSeconds += clock() - t1;
    firstSeconds += t1 - t0;
  }
  return {firstSeconds, secondSeconds};
}

// A kernel (one thread) and a memcpy of one frame alternately, each timed in thread time.
// Counter: ratio = the kernel's rate over memcpy's, in pixels (for draws whose goal is a share
// of the memory-copy rate, steadier than two separate figures).
void MemcpyPairedBenchmark(benchmark::State& state, int method, const Placement& placement,
                           const Case& c) {
  SetRenderThreadCount(1);
  Pictures& pictures = SharedPictures();
  std::vector<uint8_t> copy(pictures.source.byteSize);
  const KernelParams p = MakeParams(placement, c, method);
  const int64_t covered = CoveredPixels(placement, method);
  const auto [memcpySeconds, kernelSeconds] = TimeAlternately(
      state, ThreadSeconds,
      [&] { std::memcpy(copy.data(), pictures.source.pixels, pictures.source.byteSize); },
      [&] { DrawWithMethod(method, p); });
  const double n = static_cast<double>(state.iterations());
  state.counters["ratio"] = (covered * n / kernelSeconds) / (int64_t{kWidth} * kHeight * n /
                                                             memcpySeconds);
  SetRenderThreadCount(0);
}

// The placed picture in top-down rows, as pixman and Qt want it; the fourth byte set to 255
// when opaque is true (Qt's RGB32 format requires it).
std::vector<uint32_t> TopDownSource(bool opaque) {
  Pictures& pictures = SharedPictures();
  std::vector<uint32_t> out(size_t{kWidth} * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const uint32_t* row = pictures.source.TopRow() - size_t(y) * kWidth;
    for (int x = 0; x < kWidth; ++x)
      out[size_t(y) * kWidth + x] = row[x] | (opaque ? 0xFF000000u : 0u);
  }
  return out;
}

#ifdef TAVRONA_BENCH_PIXMAN
// pixman composites the same picture with the same (unadjusted) inverse placement; it samples
// at pixel centres like methods 2 to 4. pixman wants top-down rows, so it gets its own top-down
// copy of the same pixels.
class PixmanComposite {
 public:
  PixmanComposite(const Placement& placement, bool bilinear)
      : src_(TopDownSource(false)), dst_(size_t{kWidth} * kHeight) {
    source_ = pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, src_.data(), kWidth * 4);
    destination_ =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, dst_.data(), kWidth * 4);
    const EventRecord e = PlacedEvent(placement, 2);
    pixman_transform_t t;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        t.matrix[r][c] = pixman_double_to_fixed(e.inverseMatrix[r * 3 + c]);
      }
    }
    pixman_image_set_transform(source_, &t);
    pixman_image_set_filter(source_, bilinear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                            nullptr, 0);
  }
  ~PixmanComposite() {
    pixman_image_unref(source_);
    pixman_image_unref(destination_);
  }
  PixmanComposite(const PixmanComposite&) = delete;
  PixmanComposite& operator=(const PixmanComposite&) = delete;

  void Run() {
    pixman_image_composite32(PIXMAN_OP_SRC, source_, nullptr, destination_, 0, 0, 0, 0, 0, 0,
                             kWidth, kHeight);
  }

 private:
  std::vector<uint32_t> src_, dst_;
  pixman_image_t* source_ = nullptr;
  pixman_image_t* destination_ = nullptr;
};

void PixmanBenchmark(benchmark::State& state, const Placement& placement, bool bilinear) {
  PixmanComposite composite(placement, bilinear);
  for (auto _ : state) {
    composite.Run();
    benchmark::ClobberMemory();
  }
  SetRate(state, CoveredPixels(placement, 2));
}

// Kernel and pixman alternately in every iteration, each timed by the thread's processor time:
// on a machine shared with other work this ratio is far steadier than two separate figures.
// Counters: both speeds in Mpix/s and ratio = kernel / pixman (nearest for methods 1 and 2,
// bilinear for 3 and 4).
void PairedBenchmark(benchmark::State& state, int method, const Placement& placement,
                     const Case& c) {
  SetRenderThreadCount(1);
  PixmanComposite composite(placement, method >= 3);
  const KernelParams p = MakeParams(placement, c, method);
  const int64_t covered = CoveredPixels(placement, method);
  const int64_t coveredPixman = CoveredPixels(placement, 2);
  const auto [pixmanSeconds, kernelSeconds] = TimeAlternately(
      state, ThreadSeconds, [&] { composite.Run(); }, [&] { DrawWithMethod(method, p); });
  const double n = static_cast<double>(state.iterations());
  const double kernelRate = covered * n / kernelSeconds * 1e-6;
  const double pixmanRate = coveredPixman * n / pixmanSeconds * 1e-6;
  state.counters["kernel_Mpix/s"] = kernelRate;
  state.counters["pixman_Mpix/s"] = pixmanRate;
  state.counters["ratio"] = kernelRate / pixmanRate;
  SetRenderThreadCount(0);
}
#endif

#ifdef TAVRONA_BENCH_QT
// Qt's raster painter drawing the same picture onto an RGB32 frame with the same forward
// placement: QPainter::drawImage, non-smooth or with SmoothPixmapTransform (bilinear), at full
// opacity or with setOpacity. The picture is RGB32 too, so Qt knows it is opaque.
class QtComposite {
 public:
  QtComposite(const Placement& placement, bool smooth, double opacity,
              QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver)
      : pixels_(TopDownSource(true)),
        source_(reinterpret_cast<const uchar*>(pixels_.data()), kWidth, kHeight, kWidth * 4,
                QImage::Format_RGB32),
        destination_(kWidth, kHeight, QImage::Format_RGB32),
        smooth_(smooth),
        opacity_(opacity),
        mode_(mode) {
    destination_.fill(0xFF102030u);
    const EventRecord e = PlacedEvent(placement, 2);
    const float* f = e.matrix;
    // Ours is row by row on column vectors; Qt's m11 m12 m13 are the first column.
    transform_ = QTransform(f[0], f[3], f[6], f[1], f[4], f[7], f[2], f[5], f[8]);
  }

  void Run() {
    QPainter painter(&destination_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth_);
    painter.setCompositionMode(mode_);
    painter.setOpacity(opacity_);
    painter.setTransform(transform_);
    painter.drawImage(0, 0, source_);
  }

 private:
  std::vector<uint32_t> pixels_;
  QImage source_;
  QImage destination_;
  QTransform transform_;
  bool smooth_;
  double opacity_;
  QPainter::CompositionMode mode_;
};

// Qt's painter in the style a case of a method compares with: smooth for the bilinear methods,
// the case's opacity, Qt's Plus for the add mode (Qt has no keying; keyed cases compare with
// the plain draw).
double QtOpacity(const Case& c) {
  const uint32_t a = c.colourWord >> 24;
  return a == 0 ? 1.0 : a / 256.0;
}

void QtBenchmark(benchmark::State& state, const Placement& placement, bool smooth, double opacity) {
  QtComposite composite(placement, smooth, opacity);
  for (auto _ : state) {
    composite.Run();
    benchmark::ClobberMemory();
  }
  SetRate(state, CoveredPixels(placement, 2));
}

// Kernel (one thread) and Qt alternately, as PairedBenchmark does with pixman, but in the
// processor time of the whole process: Qt spreads smooth draws over a thread pool of its own,
// so its figure is the speed of one thread doing all of the work. Counters: kernel_Mpix/s,
// qt_Mpix/s and ratio = kernel / Qt.
void QtPairedBenchmark(benchmark::State& state, int method, const Placement& placement,
                       const Case& c) {
  SetRenderThreadCount(1);
  QtComposite composite(
      placement, method >= 3, QtOpacity(c),
      c.mode == 5 ? QPainter::CompositionMode_Plus : QPainter::CompositionMode_SourceOver);
  const KernelParams p = MakeParams(placement, c, method);
  const int64_t covered = CoveredPixels(placement, method);
  const int64_t coveredQt = CoveredPixels(placement, 2);
  const auto [qtSeconds, kernelSeconds] = TimeAlternately(
      state, ProcessSeconds, [&] { composite.Run(); }, [&] { DrawWithMethod(method, p); });
  const double n = static_cast<double>(state.iterations());
  const double kernelRate = covered * n / kernelSeconds * 1e-6;
  const double qtRate = coveredQt * n / qtSeconds * 1e-6;
  state.counters["kernel_Mpix/s"] = kernelRate;
  state.counters["qt_Mpix/s"] = qtRate;
  state.counters["ratio"] = kernelRate / qtRate;
  SetRenderThreadCount(0);
}
#endif

// A kernel with keying (a quarter of the texels carry the key) and without, alternately in
// thread time, one thread. Counter: ratio = keyed speed / unkeyed speed, in covered pixels.
void KeyedBenchmark(benchmark::State& state, int method, const Placement& placement,
                    const Case& keyedCase) {
  SetRenderThreadCount(1);
  Case plainCase = keyedCase;
  plainCase.transparentColour = 0xFF000000u;
  const KernelParams keyed = MakeParams(placement, keyedCase, method);
  const KernelParams plain = MakeParams(placement, plainCase, method);
  const auto [plainSeconds, keyedSeconds] = TimeAlternately(
      state, ThreadSeconds, [&] { DrawWithMethod(method, plain); },
      [&] { DrawWithMethod(method, keyed); });
  state.counters["ratio"] = plainSeconds / keyedSeconds;
  SetRenderThreadCount(0);
}

// One and two threads alternately in every iteration, in wall-clock time (a second thread's
// work is not the caller's processor time). Each turn is kLayers draws in a row, as a frame's
// layers come, so a worker is woken from sleep for the first draw of a turn and finds the rows
// the caller drew alone in the other core's cache. useThreads(n) readies n threads; draw() draws
// once with them. Counters:
//   speedup = time with 1 / time with 2;
//   first = the same for the first draw of each turn only;
//   work = the process's processor time with 2 / with 1, which is above 1 when the threads slow
//   each other down (memory bandwidth) rather than wait for each other.
template <typename UseThreads, typename Draw>
void AlternateThreadCounts(benchmark::State& state, UseThreads useThreads, Draw draw) {
  constexpr int kLayers = 4;
  double wall[2] = {0, 0}, first[2] = {0, 0}, work[2] = {0, 0};
  for (auto _ : state) {
    for (int turn : {0, 1}) {
      useThreads(turn + 1);
      const double w0 = ProcessSeconds();
      const auto t0 = std::chrono::steady_clock::now();
      draw();
      const auto t1 = std::chrono::steady_clock::now();
      for (int layer = 1; layer < kLayers; ++layer) draw();
      const auto t2 = std::chrono::steady_clock::now();
      // A worker's processor time is added to the process's when it stops running; let it
      // finish watching for a next draw and sleep, so the turn's time is all counted here.
      // Both turns then start alike: the caller just woken and the worker asleep.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      work[turn] += ProcessSeconds() - w0;
      first[turn] += std::chrono::duration<double>(t1 - t0).count();
      wall[turn] += std::chrono::duration<double>(t2 - t0).count();
    }
  }
  state.counters["speedup"] = wall[0] / wall[1];
  state.counters["first"] = first[0] / first[1];
  state.counters["work"] = work[1] / work[0];
}

void ThreadsBenchmark(benchmark::State& state, int method, const Placement& placement,
                      const Case& c) {
  const KernelParams p = MakeParams(placement, c, method);
  AlternateThreadCounts(
      state, [](int threads) { SetRenderThreadCount(threads); },
      [&] { DrawWithMethod(method, p); });
  SetRenderThreadCount(0);
}

// The frame copied row by row by one and by two threads of a WorkerPool (the kernels' kind of
// pool), as ThreadsBenchmark times a draw: the speed-up that memory allows a draw that only
// moves pixels.
void MemcpyThreadsBenchmark(benchmark::State& state) {
  Pictures& pictures = SharedPictures();
  const size_t rowBytes = size_t{kWidth} * 4;
  const WorkerPool::RangeTask copyRows = [&](int64_t begin, int64_t end) {
    const size_t offset = static_cast<size_t>(begin) * rowBytes;
    std::memcpy(pictures.destination.pixels + offset, pictures.source.pixels + offset,
                static_cast<size_t>(end - begin) * rowBytes);
  };
  WorkerPool pool(1);
  AlternateThreadCounts(
      state, [&](int threads) { pool.SetThreadCount(threads); },
      [&] { pool.Run(kHeight, 8, copyRows); });
}

void RegisterAll() {
  benchmark::RegisterBenchmark("memcpy/frame", MemcpyBenchmark)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("threads/memcpy", MemcpyThreadsBenchmark)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  for (const Placement& placement : kPlacements) {
#ifdef TAVRONA_BENCH_PIXMAN
    for (bool bilinear : {false, true}) {
      const std::string name =
          std::string("pixman/") + placement.name + (bilinear ? "/bilinear" : "/nearest");
      benchmark::RegisterBenchmark(
          name.c_str(),
          [&placement, bilinear](benchmark::State& s) { PixmanBenchmark(s, placement, bilinear); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
#endif
#ifdef TAVRONA_BENCH_QT
    struct QtStyle {
      const char* name;
      bool smooth;
      double opacity;
    };
    for (const QtStyle style :
         {QtStyle{"plain", false, 1.0}, QtStyle{"opacity", false, 0.5},
          QtStyle{"smooth", true, 1.0}, QtStyle{"smooth-opacity", true, 0.5}}) {
      const std::string name = std::string("qt/") + placement.name + "/" + style.name;
      benchmark::RegisterBenchmark(name.c_str(),
                                   [&placement, style](benchmark::State& s) {
                                     QtBenchmark(s, placement, style.smooth, style.opacity);
                                   })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
#endif
    for (int method = 1; method <= 4; ++method) {
      for (const Case& c : kCases) {
        for (int threads : {1, 2}) {
          const std::string name = std::string(kKernelNames[method - 1]) + "/" + placement.name +
                                   "/" + c.name + "/threads:" + std::to_string(threads);
          benchmark::RegisterBenchmark(name.c_str(),
                                       [method, &placement, &c, threads](benchmark::State& s) {
                                         KernelBenchmark(s, method, placement, c, threads);
                                       })
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
        }
      }
    }
  }
  for (const Placement& placement : kPlacements) {
    for (int method = 1; method <= 4; ++method) {
      for (const Case& c : kCases) {
        const std::string suffix =
            std::string(kKernelNames[method - 1]) + "/" + placement.name + "/" + c.name;
#ifdef TAVRONA_BENCH_PIXMAN
        benchmark::RegisterBenchmark(("paired/" + suffix).c_str(), [method, &placement,
                                                                    &c](benchmark::State& s) {
          PairedBenchmark(s, method, placement, c);
        })->Unit(benchmark::kMillisecond);
#endif
#ifdef TAVRONA_BENCH_QT
        benchmark::RegisterBenchmark(("qtpaired/" + suffix).c_str(), [method, &placement,
                                                                      &c](benchmark::State& s) {
          QtPairedBenchmark(s, method, placement, c);
        })->Unit(benchmark::kMillisecond);
#endif
        if (std::string(placement.name) == "unscaled" && std::string(c.name) == "opacity") {
          benchmark::RegisterBenchmark(("memcpypaired/" + suffix).c_str(),
                                       [method, &placement, &c](benchmark::State& s) {
                                         MemcpyPairedBenchmark(s, method, placement, c);
                                       })
              ->Unit(benchmark::kMillisecond);
        }
        if (c.transparentColour < 0x01000000u) {
          benchmark::RegisterBenchmark(("keyed/" + suffix).c_str(), [method, &placement,
                                                                     &c](benchmark::State& s) {
            KeyedBenchmark(s, method, placement, c);
          })->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(("threads/" + suffix).c_str(),
                                     [method, &placement, &c](benchmark::State& s) {
                                       ThreadsBenchmark(s, method, placement, c);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
}

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // TAVRONA_KERNEL_VARIANT=portable|sse4.1|avx2|avx512 measures one instruction-set variant.
  if (const char* wanted = std::getenv("TAVRONA_KERNEL_VARIANT")) {
    bool found = false;
    for (tavrona::KernelVariant v : tavrona::AllKernelVariants()) {
      if (std::strcmp(wanted, tavrona::KernelVariantName(v)) == 0) {
        found = tavrona::ForceKernelVariant(v);
      }
    }
    if (!found) {
      std::fprintf(stderr, "kernel variant %s is not available\n", wanted);
      return 1;
    }
  }
  benchmark::AddCustomContext("kernel variant",
                              tavrona::KernelVariantName(tavrona::ActiveKernelVariant()));
  tavrona::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
