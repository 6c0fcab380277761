// Real-time playback in the desktop program's composition worker: the frames per second it
// achieves, the share of the project's frames it shows and the processor time it takes as a
// share of one core, at each preview resolution, beside composition alone on the same thread
// count measured in the same run. Playback runs on the clock, so its time is the project's
// length; frames that would come late are skipped, and the figures say how many. Beside them,
// the time a stop takes after three seconds of playback.
//
//   tavrona-playback-bench [--scene=demo|1080p60|2160p30] [--scene_dir=DIR]
//                          [--project=FILE.vpj] [--resolution=full|half|quarter|auto]
//                          [benchmark options]
//
// --scene picks a generated scene (default demo: the bundled demo, 1280 x 720 at 30 frames per
// second; 1080p60: a 1080p movie under seven turning translucent stills at 60; 2160p30: a 4K
// movie under three at 30). Generated scenes are written into --scene_dir, kept there and
// reused by later runs (default: a temporary folder removed at the end). --project plays a
// project file instead. --resolution limits the run to one preview resolution (default: all
// four).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo_project.h"
#include "model/project_file.h"
#include "render/compose.h"
#include "render/reduced_placement.h"
#include "sources/project_sources.h"
#include "ui/composition_worker.h"

namespace tavrona {
namespace {

struct Bench {
  std::filesystem::path folder;
  bool removeFolder = false;
  std::unique_ptr<ProjectData> project;
  StandardMovieFrames movies;
};

Bench& TheBench() {
  static Bench bench;
  return bench;
}

// Processor time of the whole process (every thread: worker, decoder, kernel pool), seconds.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Answers every question of a project read with no: a missing source ends the read.
class NoQuestions final : public LoadQuestions {
 public:
  bool AskYesNo(const std::u16string&) override { return false; }
};

struct Options {
  std::string scene = "demo";
  std::filesystem::path sceneDir;
  std::filesystem::path project;
  std::optional<PreviewResolution> resolution;
};

bool ParseResolution(const std::string& text, PreviewResolution& out) {
  if (text == "full") out = PreviewResolution::Full;
  else if (text == "half") out = PreviewResolution::Half;
  else if (text == "quarter") out = PreviewResolution::Quarter;
  else if (text == "auto") out = PreviewResolution::Automatic;
  else return false;
  return true;
}

const char* ResolutionName(PreviewResolution r) {
  switch (r) {
    case PreviewResolution::Full: return "full";
    case PreviewResolution::Half: return "half";
    case PreviewResolution::Quarter: return "quarter";
    case PreviewResolution::Automatic: return "auto";
  }
  return "?";
}

// Takes this program's options out of argv (the rest goes to the benchmark library). False, with
// a message, on an unknown scene or resolution.
bool TakeOptions(int& argc, char** argv, Options& options) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      const std::string prefix = std::string("--") + name + "=";
      if (arg.rfind(prefix, 0) != 0) return std::nullopt;
      return arg.substr(prefix.size());
    };
    if (auto v = value("scene")) {
      options.scene = *v;
    } else if (auto v = value("scene_dir")) {
      options.sceneDir = *v;
    } else if (auto v = value("project")) {
      options.project = *v;
    } else if (auto v = value("resolution")) {
      PreviewResolution r;
      if (!ParseResolution(*v, r)) {
        std::fprintf(stderr, "tavrona-playback-bench: unknown resolution %s\n", v->c_str());
        return false;
      }
      options.resolution = r;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  if (options.scene != "demo" && options.scene != "1080p60" && options.scene != "2160p30") {
    std::fprintf(stderr, "tavrona-playback-bench: unknown scene %s\n", options.scene.c_str());
    return false;
  }
  return true;
}

bool SetUpBench(const Options& options) {
  Bench& b = TheBench();
  StandardSourceOpener opener;
  std::string error;
  std::filesystem::path file = options.project;
  if (file.empty()) {
    b.folder = options.sceneDir;
    if (b.folder.empty()) {
      b.folder = std::filesystem::temp_directory_path() /
                 ("tavrona_playback_bench_" + std::to_string(::getpid()));
      b.removeFolder = true;
    }
    bool made = false;
    if (options.scene == "demo") {
      made = demo::MakeDemo(b.folder, opener, error);
      file = b.folder / "demo.vpj";
    } else {
      const demo::PlaybackScene& scene =
          options.scene == "1080p60" ? demo::kScene1080p60 : demo::kScene2160p30;
      made = demo::MakePlaybackScene(b.folder, scene, opener, error);
      file = b.folder / (std::string(scene.name) + ".vpj");
    }
    if (!made) {
      std::fprintf(stderr, "tavrona-playback-bench: %s\n", error.c_str());
      return false;
    }
  }
  b.project = AllocateProjectData();
  NoQuestions questions;
  if (!b.project ||
      !ReadProjectFile(std::filesystem::absolute(file).u16string(), *b.project, opener, questions,
                       &error)) {
    std::fprintf(stderr, "tavrona-playback-bench: %s cannot be read: %s\n", file.c_str(),
                 error.c_str());
    return false;
  }
  std::fprintf(stderr, "playing %s: %d x %d, %g frames per second, %u frames\n", file.c_str(),
               b.project->outputWidth, b.project->outputHeight, b.project->frameRate,
               b.project->movieLength);
  return true;
}

// The project played from frame 0 to its end through the worker at one preview resolution.
void BM_Playback(benchmark::State& state, PreviewResolution resolution) {
  Bench& b = TheBench();
  CompositionWorker worker(b.movies);
  worker.SetPreviewResolution(resolution);
  for (auto _ : state) {
    uint32_t shown = 0;
    uint32_t last = 0;
    int32_t lastReduction = 1;
    uint32_t shownAt[3] = {0, 0, 0};  // frames shown at reductions 1, 2 and 4
    int64_t firstReduced = -1;        // the first frame shown below full size
    QEventLoop loop;
    QObject::connect(&worker, &CompositionWorker::playbackFrame, &loop,
                     [&](quint32 frame, const QImage&, qint32 reduction) {
                       ++shown;
                       last = frame;
                       lastReduction = reduction;
                       ++shownAt[reduction == 4 ? 2 : reduction == 2 ? 1 : 0];
                       if (reduction > 1 && firstReduced < 0) firstReduced = frame;
                     });
    QObject::connect(&worker, &CompositionWorker::playbackEnded, &loop, &QEventLoop::quit);
    // A generous limit: the project's length and a minute more.
    const double length = b.project->movieLength / b.project->frameRate;
    QTimer::singleShot(static_cast<int>((length + 60) * 1000), &loop, &QEventLoop::quit);
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (!worker.StartPlayback(*b.project, 0)) {
      state.SkipWithError("playback did not start");
      return;
    }
    loop.exec();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    worker.Quiesce();
    state.SetIterationTime(seconds);
    state.counters["fps"] = shown / seconds;
    state.counters["project_fps"] = b.project->frameRate;
    state.counters["shown_share"] = static_cast<double>(shown) / b.project->movieLength;
    state.counters["core_share"] = cpu / seconds;
    // Processor time per frame shown (decoding of the frames skipped included): what holding
    // the project's rate would take, less dependent on what else the machine runs.
    state.counters["cpu_ms_per_shown"] = shown > 0 ? cpu * 1000 / shown : 0;
    state.counters["last_frame"] = last;
    state.counters["last_reduction"] = lastReduction;
    if (resolution == PreviewResolution::Automatic) {
      // How "自動" spent the playback: frames shown at each size, and where it first stepped down.
      state.counters["shown_full"] = shownAt[0];
      state.counters["shown_half"] = shownAt[1];
      state.counters["shown_quarter"] = shownAt[2];
      state.counters["first_reduced_frame"] = static_cast<double>(firstReduced);
    }
  }
}

// How long stopping takes: the project played for range(0) milliseconds, from frame 0 or (with
// range(1) = 1) from its middle frame, then StopPlayback and Quiesce (what the program does
// when the user stops and then edits or quits) timed together. A stop abandons the frame being
// composed, so this stays short even when that frame's movies are still being sought, as the
// first frame after a start in the middle of long groups of pictures is.
void BM_StopAfterPlaying(benchmark::State& state) {
  Bench& b = TheBench();
  CompositionWorker worker(b.movies);
  for (auto _ : state) {
    uint32_t shown = 0;
    QObject::connect(&worker, &CompositionWorker::playbackFrame, &worker, [&] { ++shown; });
    const uint32_t from = state.range(1) == 1 ? b.project->movieLength / 2 : 0;
    if (!worker.StartPlayback(*b.project, from)) {
      state.SkipWithError("playback did not start");
      return;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(state.range(0)), &loop, &QEventLoop::quit);
    loop.exec();
    const auto start = std::chrono::steady_clock::now();
    worker.StopPlayback();
    worker.Quiesce();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    QObject::disconnect(&worker, &CompositionWorker::playbackFrame, &worker, nullptr);
    state.SetIterationTime(seconds);
    state.counters["stop_ms"] = seconds * 1000;
    state.counters["frames_shown_before"] = shown;
  }
}

// Baseline: the same frames composed one after the other as fast as the worker's thread can,
// at one reduction, with the processor time as a share of one core.
void BM_ComposeAlone(benchmark::State& state) {
  Bench& b = TheBench();
  const int32_t reduction = static_cast<int32_t>(state.range(0));
  FrameBuffer frame;
  if (!CreateFrameBuffer(frame, ReducedExtent(b.project->outputWidth, reduction),
                         ReducedExtent(b.project->outputHeight, reduction))) {
    state.SkipWithError("no memory for a frame");
    return;
  }
  auto states = std::make_unique<PlaybackStates>();
  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    PrepareExportTracks(*b.project, *states);
    for (uint32_t n = 0; n < b.project->movieLength; ++n) {
      ComposeNextExportFrame(*b.project, *states, frame, &b.movies, false, nullptr, reduction);
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * b.project->movieLength,
                         benchmark::Counter::kIsRate);
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  state.counters["core_share"] = cpu / seconds;
  state.counters["cpu_ms_per_frame"] =
      cpu * 1000 / (static_cast<double>(state.iterations()) * b.project->movieLength);
}

void RegisterBenchmarks(const Options& options) {
  std::vector<PreviewResolution> resolutions = {
      PreviewResolution::Full, PreviewResolution::Half, PreviewResolution::Quarter,
      PreviewResolution::Automatic};
  if (options.resolution) resolutions = {*options.resolution};
  for (PreviewResolution r : resolutions) {
    benchmark::RegisterBenchmark((std::string("BM_Playback/") + ResolutionName(r)).c_str(),
                                 BM_Playback, r)
        ->UseManualTime()
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
  }
  benchmark::RegisterBenchmark("BM_StopAfterPlaying", BM_StopAfterPlaying)
      ->Args({3000, 0})  // milliseconds of playback before the stop, from the middle or not
      ->Args({100, 1})->Args({3000, 1})
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  auto* alone = benchmark::RegisterBenchmark("BM_ComposeAlone", BM_ComposeAlone);
  for (PreviewResolution r : resolutions) {
    if (r != PreviewResolution::Automatic) alone->Arg(StartingReduction(r));
  }
  alone->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
}

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  tavrona::Options options;
  if (!tavrona::TakeOptions(argc, argv, options)) return 2;
  benchmark::Initialize(&argc, argv);
  if (!tavrona::SetUpBench(options)) return 1;
  tavrona::RegisterBenchmarks(options);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tavrona::TheBench().project.reset();
  if (tavrona::TheBench().removeFolder) std::filesystem::remove_all(tavrona::TheBench().folder);
  return 0;
}
