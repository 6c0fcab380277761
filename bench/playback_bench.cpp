// Real-time playback of the bundled demo (1280 x 720, 30 frames per second, 210 frames) in the
// desktop program's composition worker: the frames per second it achieves and the share of the
// project's frames it shows, beside composition alone on the same thread count, measured in the
// same run. Playback runs on the clock, so its time is the project's length; frames that would
// come late are skipped, and the figures say how many.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "demo_project.h"
#include "render/compose.h"
#include "sources/project_sources.h"
#include "ui/composition_worker.h"

namespace tavrona {
namespace {

struct Bench {
  std::filesystem::path folder;
  std::unique_ptr<ProjectData> project;
  StandardMovieFrames movies;
};

Bench& TheBench() {
  static Bench bench;
  return bench;
}

bool SetUpBench() {
  Bench& b = TheBench();
  b.folder = std::filesystem::temp_directory_path() /
             ("tavrona_playback_bench_" + std::to_string(::getpid()));
  StandardSourceOpener opener;
  std::string error;
  if (!demo::MakeDemo(b.folder, opener, error)) return false;
  b.project = AllocateProjectData();
  return b.project && demo::BuildDemoProject(*b.project, b.folder, opener);
}

// The demo played from frame 0 to its end through the worker.
void BM_Playback(benchmark::State& state) {
  Bench& b = TheBench();
  CompositionWorker worker(b.movies);
  for (auto _ : state) {
    uint32_t shown = 0;
    uint32_t last = 0;
    QEventLoop loop;
    QObject::connect(&worker, &CompositionWorker::playbackFrame, &loop, [&](quint32 frame) {
      ++shown;
      last = frame;
    });
    QObject::connect(&worker, &CompositionWorker::playbackEnded, &loop, &QEventLoop::quit);
    // A generous limit: the demo lasts 7 s.
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
    const auto start = std::chrono::steady_clock::now();
    if (!worker.StartPlayback(*b.project, 0)) {
      state.SkipWithError("playback did not start");
      return;
    }
    loop.exec();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worker.Quiesce();
    state.SetIterationTime(seconds);
    state.counters["fps"] = shown / seconds;
    state.counters["project_fps"] = b.project->frameRate;
    state.counters["shown_share"] = static_cast<double>(shown) / b.project->movieLength;
    state.counters["last_frame"] = last;
  }
}
BENCHMARK(BM_Playback)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);

// Baseline: the same frames composed one after the other as fast as one thread can.
void BM_ComposeAlone(benchmark::State& state) {
  Bench& b = TheBench();
  FrameBuffer frame;
  if (!CreateFrameBuffer(frame, b.project->outputWidth, b.project->outputHeight)) {
    state.SkipWithError("no memory for a frame");
    return;
  }
  auto states = std::make_unique<PlaybackStates>();
  for (auto _ : state) {
    PrepareExportTracks(*b.project, *states);
    for (uint32_t n = 0; n < b.project->movieLength; ++n) {
      ComposeNextExportFrame(*b.project, *states, frame, &b.movies, false);
    }
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * b.project->movieLength,
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ComposeAlone)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (!tavrona::SetUpBench()) {
    std::fprintf(stderr, "tavrona-playback-bench: the demo could not be made\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tavrona::TheBench().project.reset();
  std::filesystem::remove_all(tavrona::TheBench().folder);
  return 0;
}
