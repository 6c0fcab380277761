// tavrona-recovery-bench: how long one autosave holds the user-interface thread on a large
// project (256 tracks x 4,000 events = 1,024,000 events, 155 MB of events), beside a memcpy of
// the same bytes in one piece, which is what a copy in one go would block for.
//
// The autosaver runs as in the program: the delay is skipped (AutosaveNow), the copy goes in
// slices through the event loop and a writer thread writes the file into a temporary folder.
// Reports per run the longest block of the user-interface thread (the manual time) and as
// counters the first autosave's block, the longest, all slices of the last one and its writer
// thread's time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "model/track_data.h"
#include "ui/document.h"
#include "ui/edit/edit_path.h"
#include "ui/recovery/autosaver.h"

namespace tavrona {
namespace {

constexpr uint32_t kEventsPerTrack = 4000;

void Fill(ProjectData& p) {
  for (int t = 0; t < kTrackCount; ++t) {
    if (!ResetTrack(p.tracks[t], kEventsPerTrack)) {
      std::fprintf(stderr, "no memory for the project\n");
      std::exit(1);
    }
    for (uint32_t i = 0; i < kEventsPerTrack; ++i) {
      EventRecord& e = p.tracks[t].events[i];
      e.flags = EventInUse;
      e.start = i * 2;
      e.fileId = t;
      e.scale = 1;
    }
  }
}

size_t EventBytes() { return size_t{kTrackCount} * kEventsPerTrack * sizeof(EventRecord); }

// Baseline: the same bytes copied in one go, both buffers paged in.
void BM_MemcpyEventsBaseline(benchmark::State& state) {
  const size_t bytes = EventBytes();
  std::unique_ptr<uint8_t[]> to(new uint8_t[bytes]);
  std::unique_ptr<uint8_t[]> from(new uint8_t[bytes]);
  std::memset(from.get(), 1, bytes);
  std::memset(to.get(), 2, bytes);
  for (auto _ : state) {
    std::memcpy(to.get(), from.get(), bytes);
    benchmark::DoNotOptimize(to.get());
  }
}

// One autosave per iteration after an edit; the manual time is the longest block of the
// user-interface thread (the longer of the longest slice and the heartbeat's longest gap). The
// first iteration allocates the mirror, the later ones reuse it.
void BM_AutosaveLongestBlock(benchmark::State& state) {
  QTemporaryDir dir;
  CKeldaDoc document;
  Fill(document.Project());
  Autosaver saver(document, dir.filePath("recovery").toStdString(), 30);
  double worst = 0, first = 0, slices = 0, writer = 0;
  int run = 0;
  for (auto _ : state) {
    // A change, as an edit makes it.
    document.Edit({QStringLiteral("bench"), EditScope::Track(0)}, nullptr, [&] {
      document.Project().tracks[0].events[0].start = static_cast<uint32_t>(run);
      return true;
    });
    QEventLoop loop;
    bool written = false;
    QObject::connect(&saver, &Autosaver::finished, &loop, [&](bool ok) {
      written = ok;
      loop.quit();
    });
    // A heartbeat on the same thread: the longest gap between two of its ticks is the longest
    // the event loop was held, whoever held it.
    QTimer heartbeat;
    heartbeat.setInterval(0);
    auto last = std::chrono::steady_clock::now();
    double longestGapMs = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      const auto now = std::chrono::steady_clock::now();
      longestGapMs =
          std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    });
    heartbeat.start();
    last = std::chrono::steady_clock::now();
    saver.AutosaveNow();
    loop.exec();
    heartbeat.stop();
    if (!written) {
      state.SkipWithError("the autosave failed");
      break;
    }
    const AutosaveTiming& t = saver.LastTiming();
    const double block = std::max(t.longestSliceMs, longestGapMs);
    state.SetIterationTime(block / 1000.0);
    if (run == 0) first = block;
    worst = std::max(worst, block);
    slices = t.sliceTotalMs;
    writer = t.writeMs;
    ++run;
  }
  state.counters["first_block_ms"] = first;
  state.counters["longest_block_ms"] = worst;
  state.counters["last_all_slices_ms"] = slices;
  state.counters["last_writer_ms"] = writer;
  saver.EndCleanly();
}

BENCHMARK(BM_MemcpyEventsBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutosaveLongestBlock)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
