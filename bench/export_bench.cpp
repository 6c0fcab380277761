// Encoding alone: how fast the AVI writer takes 300 ready-made 1280 x 720 frames with each
// compressor. This is the baseline the whole export (composition plus writing) is measured
// against. The frames are composed once before timing; every run writes the same 300 frames.
//
// Output goes to /dev/null (the muxer's seeks succeed there) so that the figures do not depend
// on the disk; set TAVRONA_BENCH_OUT to a file path to include the disk. The memcpy run in the
// same binary is the floor: touching every frame once.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "model/text_encoding.h"
#include "model/frame_buffer.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tavrona {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr uint32_t kFrames = 300;
constexpr int kDistinctFrames = 24;  // a ring of composed frames, 88 MB

// Something like a composition: a gradient background, a textured picture sliding across it
// and a few flat boxes, different in every frame of the ring.
void ComposeBenchFrame(FrameBuffer& frame, uint32_t n) {
  uint32_t seed = 12345u + n * 7919u;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint32_t r = x * 255 / kWidth;
      uint32_t g = y * 255 / kHeight;
      uint32_t b = 128;
      const int px = x - static_cast<int>(n * 13 % 600);
      if (px >= 100 && px < 740 && y >= 120 && y < 600) {  // the "photo": texture plus noise
        seed = seed * 1664525u + 1013904223u;
        const uint32_t noise = seed >> 28;
        r = ((px * 3 + y) & 0xFF) / 2 + noise * 4;
        g = ((px ^ y) & 0xFF) / 2 + noise * 3;
        b = ((px + y * 2) & 0xFF) / 2 + noise * 2;
      }
      for (uint32_t box = 0; box < 3; ++box) {
        const int bx = 200 + static_cast<int>(box * 300 + n * (box + 2) * 5) % 900;
        const int by = 60 + static_cast<int>(box * 200);
        if (x >= bx && x < bx + 160 && y >= by && y < by + 90) {
          r = 40 + box * 80;
          g = 200 - box * 60;
          b = 30 + box * 50;
        }
      }
      frame.At(x, y) = (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
    }
  }
}

const std::vector<FrameBuffer>& BenchFrames() {
  static const std::vector<FrameBuffer> frames = [] {
    std::vector<FrameBuffer> ring(kDistinctFrames);
    for (int i = 0; i < kDistinctFrames; ++i) {
      if (!CreateFrameBuffer(ring[i], kWidth, kHeight)) std::abort();
      ComposeBenchFrame(ring[i], i);
    }
    return ring;
  }();
  return frames;
}

std::u16string OutputPath() {
  const char* out = std::getenv("TAVRONA_BENCH_OUT");
  return FromUtf8(out != nullptr ? out : "/dev/null");
}

void BM_MemcpyFloor(benchmark::State& state) {
  const auto& frames = BenchFrames();
  std::vector<uint8_t> target(frames[0].byteSize);
  for (auto _ : state) {
    for (uint32_t n = 0; n < kFrames; ++n) {
      const FrameBuffer& frame = frames[n % kDistinctFrames];
      std::memcpy(target.data(), frame.pixels, frame.byteSize);
      benchmark::DoNotOptimize(target.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
}

// range(0): encoder threads (0 = one per core)
void BM_Encode(benchmark::State& state, const char* compressor) {
  const auto& frames = BenchFrames();
  const std::u16string path = OutputPath();
  for (auto _ : state) {
    AviWriter writer;
    writer.SetEncoderThreads(static_cast<int>(state.range(0)));
    if (!ChooseCompressor(writer, compressor)) {
      state.SkipWithError("compressor not available");
      return;
    }
    InitAviWriter(writer);
    if (!OpenAviStream(writer, path, frames[0].header, 300000, 10000)) {
      state.SkipWithError("cannot open the output");
      return;
    }
    for (uint32_t n = 0; n < kFrames; ++n) {
      const FrameBuffer& frame = frames[n % kDistinctFrames];
      const FrameBuffer& previous = frames[(n + kDistinctFrames - 1) % kDistinctFrames];
      if (!WriteAviFrame(writer, n, frame.pixels, frame.byteSize, previous.pixels)) {
        state.SkipWithError("write failed");
        return;
      }
    }
    CloseAviWriter(writer);  // drains the encoder: part of the cost
  }
  state.SetItemsProcessed(state.iterations() * kFrames);  // items/s = frames per second
}

void Register() {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::RegisterBenchmark("Memcpy300Frames", BM_MemcpyFloor)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  for (const AviCompressor& c : ListAviCompressors()) {
    const char* name = c.name.c_str();
    auto* b = benchmark::RegisterBenchmark(("Encode300Frames/" + c.name).c_str(),
                                           [name](benchmark::State& s) { BM_Encode(s, name); });
    b->ArgName("threads")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    if (c.name == "raw" || c.name == "mjpeg" || c.name == "h264") b->Arg(1);
  }
}

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tavrona::Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
