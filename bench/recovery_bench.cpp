// tavrona-recovery-bench: how long one autosave holds the user-interface thread on a large
// project (256 tracks x 4,000 events = 1,024,000 events, 155 MB of events), beside a memcpy of
// the same bytes in one piece, which is what a copy in one go would block for.
//
// The autosaver runs as in the program: the delay is skipped (AutosaveNow), the copy goes in
// slices through the event loop and a writer thread writes the file into a temporary folder.
// Prints per autosave: slices, the longest slice, all slices together, the copy's wall time, the
// writer thread's time and the longest gap of a heartbeat timer on the user-interface thread. The
// first autosave allocates the mirror; the later ones reuse it.
#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
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

int Run() {
  QTemporaryDir dir;
  CKeldaDoc document;
  Fill(document.Project());
  const size_t eventBytes = size_t{kTrackCount} * kEventsPerTrack * sizeof(EventRecord);

  // Baseline: the same bytes copied in one go.
  {
    std::unique_ptr<uint8_t[]> to(new uint8_t[eventBytes]);
    std::unique_ptr<uint8_t[]> from(new uint8_t[eventBytes]);
    std::memset(from.get(), 1, eventBytes);
    std::memset(to.get(), 2, eventBytes);
    // Both buffers are paged in; the best of three copies.
    double ms = 1e9;
    for (int i = 0; i < 3; ++i) {
      const auto start = std::chrono::steady_clock::now();
      std::memcpy(to.get(), from.get(), eventBytes);
      ms = std::min(
          ms, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count());
    }
    std::printf("baseline: memcpy of %zu MB of events in one piece: %.1f ms (best of 3)\n",
                eventBytes / 1000000, ms);
  }

  Autosaver saver(document, dir.filePath("recovery").toStdString(), 30);
  std::printf("project: %d tracks x %u events = %u events (%zu MB)\n", kTrackCount, kEventsPerTrack,
              kTrackCount * kEventsPerTrack, eventBytes / 1000000);
  std::printf("%-10s %7s %12s %12s %12s %12s %12s\n", "autosave", "slices", "longest ms",
              "all slices", "copy wall", "writer ms", "loop gap ms");
  double worst = 0;
  for (int run = 0; run < 5; ++run) {
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
      std::fprintf(stderr, "the autosave failed\n");
      return 1;
    }
    const AutosaveTiming& t = saver.LastTiming();
    std::printf("%-10s %7d %12.2f %12.1f %12.1f %12.1f %12.2f\n", run == 0 ? "first" : "again",
                t.slices, t.longestSliceMs, t.sliceTotalMs, t.copyWallMs, t.writeMs, longestGapMs);
    worst = std::max({worst, t.longestSliceMs, longestGapMs});
  }
  std::printf("longest block of the user-interface thread: %.2f ms (limit 50 ms)\n", worst);
  saver.EndCleanly();
  return worst < 50 ? 0 : 1;
}

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return tavrona::Run();
}
