// Undo and redo on the project of 256 tracks x 4,000 events (1,024,000 events): selecting every
// event of one track and moving them by 10 frames through the document's edit path, undoing it
// and redoing it, beside what a save of the same project costs (its serialisation) and a copy of
// the one track the step holds.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "model/project_file.h"
#include "model/track_data.h"
#include "ui/document.h"
#include "ui/panes/track_view_logic.h"

namespace tavrona {
namespace {

constexpr uint32_t kEventsPerTrack = 4000;
constexpr uint32_t kMovedTrack = 128;

// One document holding the big project, made once.
CKeldaDoc& BigDocument() {
  static CKeldaDoc* doc = [] {
    auto* d = new CKeldaDoc;
    ProjectData& p = d->Project();
    std::vector<EventRecord> events(kEventsPerTrack);
    for (uint32_t i = 0; i < kEventsPerTrack; ++i) {
      EventRecord& e = events[i];
      e = EventRecord{};
      e.flags = EventInUse;
      e.start = i * 25;
      e.fileId = static_cast<int32_t>(i % 16);
      e.scale = 1.0f;
    }
    for (TrackData& t : p.tracks) InsertSorted(t, kEventsPerTrack, events.data());
    p.movieLength = kEventsPerTrack * 25;
    return d;
  }();
  return *doc;
}

void SelectAllAndMove(CKeldaDoc& doc) {
  doc.QuiesceWorker();
  TrackData& track = doc.Project().tracks[kMovedTrack];
  SelectAllInUse(track);
  doc.Edit({QStringLiteral("イベントの移動"), EditScope::Track(kMovedTrack).WithHeader()}, nullptr,
           [&] { return MoveSelected(track, 10); });
}

void BM_SelectAllMoveBy10(benchmark::State& state) {
  CKeldaDoc& doc = BigDocument();
  for (auto _ : state) {
    SelectAllAndMove(doc);
    state.PauseTiming();
    doc.Undo();
    state.ResumeTiming();
  }
  SelectAllAndMove(doc);
  state.counters["step_tracks"] = static_cast<double>(doc.History().UndoTracks().size());
  state.counters["history_MiB"] = static_cast<double>(doc.History().HeldBytes()) / (1 << 20);
  doc.Undo();
}

void BM_Undo(benchmark::State& state) {
  CKeldaDoc& doc = BigDocument();
  for (auto _ : state) {
    state.PauseTiming();
    SelectAllAndMove(doc);
    state.ResumeTiming();
    doc.Undo();
  }
}

void BM_Redo(benchmark::State& state) {
  CKeldaDoc& doc = BigDocument();
  for (auto _ : state) {
    state.PauseTiming();
    SelectAllAndMove(doc);
    doc.Undo();
    state.ResumeTiming();
    doc.Redo();
    state.PauseTiming();
    doc.Undo();
    state.ResumeTiming();
  }
}

// Baselines: the bytes a save writes, and a copy of the track the step holds.
void BM_SaveBytesBaseline(benchmark::State& state) {
  CKeldaDoc& doc = BigDocument();
  for (auto _ : state) benchmark::DoNotOptimize(SerializeProject(doc.Project()).size());
}

void BM_CopyOneTrackBaseline(benchmark::State& state) {
  CKeldaDoc& doc = BigDocument();
  for (auto _ : state) {
    TrackData copy;
    CopyTrack(doc.Project().tracks[kMovedTrack], copy);
    benchmark::DoNotOptimize(copy.events.get());
  }
}

BENCHMARK(BM_SaveBytesBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOneTrackBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectAllMoveBy10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redo)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
