// Timeline pane paint: the all-tracks mode of a project with 256 tracks of 2,000 events each,
// painted into an image at every zoom level (1 to 1024 frames per 32 pixels) from the middle of
// the project, and a scroll across the whole project at the initial zoom. A paint must stay
// below one 60 Hz frame (16 ms). The baseline is a paint of an empty project at the same size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <memory>

#include "model/project_data.h"
#include "ui/document.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"

namespace tavrona {
namespace {

constexpr int kEventsPerTrack = 2000;
constexpr uint32_t kSpacing = 50;  // frames between events

struct Fixture {
  Fixture(bool filled) {
    doc = std::make_unique<CKeldaDoc>();
    ProjectData& p = doc->Project();
    p.frameRate = 30.0;
    p.movieLength = kEventsPerTrack * kSpacing;
    if (filled) {
      std::vector<EventRecord> events(kEventsPerTrack);
      for (int t = 0; t < kTrackCount; ++t) {
        for (int i = 0; i < kEventsPerTrack; ++i) {
          events[i] = EventRecord{};
          events[i].flags = EventInUse | ((i + t) % 5 == 0 ? EventSelected : 0);
          events[i].start = static_cast<uint32_t>(i) * kSpacing + static_cast<uint32_t>(t % 17);
          events[i].fileId = i % 1024;
        }
        ResetTrack(p.tracks[t], 0);
        InsertSorted(p.tracks[t], kEventsPerTrack, events.data());
      }
    }
    view = std::make_unique<CTrackView>(*doc);
    view->resize(1280, 720);
    view->show();
    view->OnUpdate(nullptr);
    image = QImage(view->viewport()->size(), QImage::Format_RGB32);
  }
  void Paint() {
    QPainter painter(&image);
    view->viewport()->render(&painter);
  }
  void ZoomTo(uint32_t scale) {
    while (view->State().scale > scale) view->RunCommand(CmdZoomIn);
    while (view->State().scale < scale) view->RunCommand(CmdZoomOut);
  }
  std::unique_ptr<CKeldaDoc> doc;
  std::unique_ptr<CTrackView> view;
  QImage image;
};

Fixture& Filled() {
  static Fixture f(true);
  return f;
}
Fixture& Empty() {
  static Fixture f(false);
  return f;
}

void PaintAt(benchmark::State& state, Fixture& f) {
  const auto scale = static_cast<uint32_t>(state.range(0));
  f.ZoomTo(scale);
  // The middle of the project, the first rows.
  f.view->ScrollToPosition(QPoint(f.view->TotalSize().width() / 2, 0));
  // One paint per iteration: the reported time is the time of one paint.
  for (auto _ : state) f.Paint();
}

void BM_PaintAllTracks(benchmark::State& state) {
  PaintAt(state, Filled());
}
void BM_PaintEmptyBaseline(benchmark::State& state) {
  PaintAt(state, Empty());
}

// A scroll across the project: one paint per page step from the left edge to the right.
void BM_ScrollAcross(benchmark::State& state) {
  Fixture& f = Filled();
  f.ZoomTo(4);
  const int width = f.view->TotalSize().width();
  const int step = f.view->viewport()->width();
  int64_t paints = 0;
  const auto begin = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int x = 0; x < width; x += step) {
      f.view->ScrollToPosition(QPoint(x, 0));
      f.Paint();
      ++paints;
    }
  }
  state.counters["paints"] = static_cast<double>(paints) / state.iterations();
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - begin;
  state.counters["ms_per_paint"] = elapsed.count() / static_cast<double>(paints);
}

BENCHMARK(BM_PaintEmptyBaseline)->RangeMultiplier(2)->Range(1, 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintAllTracks)->RangeMultiplier(2)->Range(1, 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollAcross)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tavrona::AppProfile().Load("/tmp/tavrona-track-view-bench.INI");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
