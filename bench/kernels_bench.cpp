// The four drawing kernels drawing a 1920x1080 picture into a 1920x1080 frame, in Mpix/s of
// destination pixels covered, beside two baselines measured in the same run: memcpy of one
// frame (the memory-bandwidth ceiling) and pixman's nearest and bilinear affine composites of
// the same picture under the same placement.
//
//   build/bin/tavrona-bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
//   python3 bench/ratios.py bench.json    (after --benchmark_out=bench.json) for the ratios
//
// Three groups: separate runs "<kernel>/<placement>/<case>/threads:<n>" beside "memcpy/frame" and
// "pixman/<placement>/<filter>"; "paired/..." runs that time a kernel and pixman alternately in
// thread time (ratio counter, steadier on a shared machine); "threads/..." runs that alternate
// one and two threads (speedup counter).
//
// Names: <kernel>/<placement>/<case>/threads:<n>. Placements: "rotated" (scale 1.37, 17
// degrees about the centre), "scaled" (scale 1.37 about the centre) and "unscaled" (identity).
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
#include <vector>

#include "model/frame_buffer.h"
#include "render/kernels.h"
#include "render/matrix.h"

#ifdef TAVRONA_BENCH_PIXMAN
#include <pixman.h>
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

#ifdef TAVRONA_BENCH_PIXMAN
// pixman composites the same picture with the same (unadjusted) inverse placement; it samples
// at pixel centres like methods 2 to 4. pixman wants top-down rows, so it gets its own top-down
// copy of the same pixels.
class PixmanComposite {
 public:
  PixmanComposite(const Placement& placement, bool bilinear)
      : src_(size_t{kWidth} * kHeight), dst_(size_t{kWidth} * kHeight) {
    Pictures& pictures = SharedPictures();
    for (int y = 0; y < kHeight; ++y) {
      std::memcpy(&src_[size_t(y) * kWidth], pictures.source.TopRow() - size_t(y) * kWidth,
                  kWidth * 4);
    }
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

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
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
  double kernelSeconds = 0, pixmanSeconds = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    composite.Run();
    benchmark::ClobberMemory();
    const double t1 = ThreadSeconds();
    DrawWithMethod(method, p);
    benchmark::ClobberMemory();
    kernelSeconds += ThreadSeconds() - t1;
    pixmanSeconds += t1 - t0;
  }
  const double n = static_cast<double>(state.iterations());
  const double kernelRate = covered * n / kernelSeconds * 1e-6;
  const double pixmanRate = coveredPixman * n / pixmanSeconds * 1e-6;
  state.counters["kernel_Mpix/s"] = kernelRate;
  state.counters["pixman_Mpix/s"] = pixmanRate;
  state.counters["ratio"] = kernelRate / pixmanRate;
  SetRenderThreadCount(0);
}
#endif

// One and two threads alternately in every iteration, in wall-clock time (a second thread's
// work is not the caller's processor time). Counter: speedup = time with 1 / time with 2.
void ThreadsBenchmark(benchmark::State& state, int method, const Placement& placement,
                      const Case& c) {
  const KernelParams p = MakeParams(placement, c, method);
  double one = 0, two = 0;
  for (auto _ : state) {
    SetRenderThreadCount(1);
    auto t0 = std::chrono::steady_clock::now();
    DrawWithMethod(method, p);
    auto t1 = std::chrono::steady_clock::now();
    SetRenderThreadCount(2);
    auto t2 = std::chrono::steady_clock::now();
    DrawWithMethod(method, p);
    auto t3 = std::chrono::steady_clock::now();
    one += std::chrono::duration<double>(t1 - t0).count();
    two += std::chrono::duration<double>(t3 - t2).count();
  }
  state.counters["speedup"] = one / two;
  SetRenderThreadCount(0);
}

void RegisterAll() {
  benchmark::RegisterBenchmark("memcpy/frame", MemcpyBenchmark)
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
  // TAVRONA_KERNEL_VARIANT=portable|sse4.1|avx2 measures one instruction-set variant.
  if (const char* wanted = std::getenv("TAVRONA_KERNEL_VARIANT")) {
    bool found = false;
    for (tavrona::KernelVariant v : {tavrona::KernelVariant::Portable,
                                     tavrona::KernelVariant::Sse41, tavrona::KernelVariant::Avx2}) {
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
