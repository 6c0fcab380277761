// Whole-project export: a 1280 x 720, 300-frame project of one 720p H.264 movie (MP4) and three
// 1920 x 1080 stills shrunk to tiles that turn about their centres at opacities 0.85, 0.70 and
// 0.60, drawn bilinearly, exported through ExportProject with full frames, MJPEG and H.264.
//
// Baselines measured in the same run:
//   - an ffmpeg filter graph doing the same work on the same files (decode the movie, scale,
//     rotate and overlay the three tiles, 32-bit BGRA frames out), to a null output and with
//     ffmpeg's own x264 at the writer's settings into an AVI file;
//   - the AVI writer alone, encoding the project's 300 frames composed beforehand (the cost that
//     export cannot avoid);
//   - composition alone (every frame composed, nothing written), and the movie's frames alone;
//   - the same export with a sequential writer (each frame written before the next is composed)
//     against the default, whose encoding thread overlaps the two;
//   - the same export with one stereo clip of sound in the movie's slot (the mix coded as 16-bit
//     PCM in AVI, as AAC in MP4) against the export without it, in processor time: what the
//     sound adds to an export;
//   - melt (a benchmark-only package) composing the same scene with its qtblend transition into
//     a raw BGRA AVI file, against the raw export, in wall time and in processor time (frames
//     per second of CPU time, all threads; melt's counted by wait4);
//   - the 1080p layer scenes (demo::BuildLayerBenchProject): a 1080p movie under 4 and under 8
//     rotated, turning, translucent 1080p stills, exported raw and rendered by melt alternately,
//     in processor time per frame; the summary prints the slope between 4 and 8 stills (what
//     each added still costs per frame) for both, and their ratios.
// The last benchmark, Ratios, reports the figures against each other. Files go to a folder in
// /tmp that is removed at the end. ffmpeg and melt must be on the PATH for their baselines.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "demo_project.h"
#include "export/avi_writer.h"
#include "export/project_export.h"
#include "model/sound_samples.h"
#include "render/compose.h"
#include "render/mix.h"
#include "sources/project_sources.h"
#include "sources/source_cache.h"

extern "C" {
#include <libavutil/log.h>
}

extern char** environ;

namespace tavrona {
namespace {

constexpr uint32_t kFrames = demo::kBenchFrames;

struct Bench {
  std::filesystem::path folder;
  std::unique_ptr<ProjectData> project;
  StandardMovieFrames movies;
  std::vector<FrameBuffer> composed;  // all frames, made on first use by the encoding baseline
  std::map<std::string, double> framesPerSecond;
  // Frames per second of processor time (every thread), where measured.
  std::map<std::string, double> framesPerCpuSecond;
};

Bench& TheBench() {
  static Bench bench;
  return bench;
}

bool SetUpBench() {
  Bench& b = TheBench();
  b.folder = std::filesystem::temp_directory_path() /
             ("tavrona_project_export_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(b.folder);
  if (!demo::WriteBenchSources(b.folder)) return false;
  b.project = AllocateProjectData();
  StandardSourceOpener opener;
  return b.project && demo::BuildBenchProject(*b.project, b.folder, opener);
}

// User and system time in seconds.
double UsageSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec * 1e-6;
}

// Records frames per second of processor time under key, from runs of kFrames frames that used
// cpuSeconds in all.
void RecordCpuSpeed(benchmark::State& state, const std::string& key, int64_t runs,
                    double cpuSeconds) {
  if (cpuSeconds <= 0) return;
  TheBench().framesPerCpuSecond[key] = runs * kFrames / cpuSeconds;
  state.counters["cpu_fps"] = runs * kFrames / cpuSeconds;
}

// Runs a program and waits for it; true when it exited with 0. extraEnvironment: variables
// added to this process's environment. cpuSeconds: when given, receives the processor time the
// program used (user and system, every thread).
bool Run(const std::vector<std::string>& args,
         const std::vector<std::string>& extraEnvironment = {}, double* cpuSeconds = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  for (const std::string& e : extraEnvironment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  if (cpuSeconds != nullptr) *cpuSeconds = UsageSeconds(usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Processor time of this process so far, every thread.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return UsageSeconds(usage);
}

// Times the loop body by the wall clock and records frames per second under key.
template <class Body>
void TimeFrames(benchmark::State& state, const std::string& key, Body body) {
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!body()) {
      state.SkipWithError((key + " failed").c_str());
      return;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++runs;
  }
  const double fps = seconds > 0 ? runs * kFrames / seconds : 0;
  TheBench().framesPerSecond[key] = fps;
  state.counters["fps"] = fps;
  state.SetItemsProcessed(runs * kFrames);
}

std::vector<std::string> FfmpegInputs() {
  const Bench& b = TheBench();
  std::vector<std::string> args = {
      "ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
      "error",  "-y",       "-i",           (b.folder / demo::kBenchClipName).string()};
  for (const demo::BenchTile& tile : demo::kBenchTiles) {
    for (const char* a : {"-loop", "1", "-framerate", "30", "-i"}) args.push_back(a);
    args.push_back((b.folder / tile.fileName).string());
  }
  args.push_back("-filter_complex");
  args.push_back(demo::BenchFilterGraph());
  args.push_back("-frames:v");
  args.push_back(std::to_string(kFrames));
  return args;
}

void BM_FfmpegGraph(benchmark::State& state) {
  std::vector<std::string> args = FfmpegInputs();
  for (const char* a : {"-f", "null", "-"}) args.push_back(a);
  TimeFrames(state, "ffmpeg graph", [&] { return Run(args); });
}

// The same graph into ffmpeg's x264 with the AVI writer's settings (every frame a key frame).
void BM_FfmpegGraphX264(benchmark::State& state) {
  const std::string out = (TheBench().folder / "ffmpeg_x264.avi").string();
  std::vector<std::string> args = FfmpegInputs();
  for (const char* a :
       {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-preset", "medium", "-crf", "20", "-g", "1",
        "-bf", "0", "-x264-params", "rc-lookahead=0:sync-lookahead=0:sliced-threads=0"}) {
    args.push_back(a);
  }
  args.push_back(out);
  TimeFrames(state, "ffmpeg graph + x264", [&] { return Run(args); });
  std::filesystem::remove(out);
}

void BM_ComposeOnly(benchmark::State& state) {
  Bench& b = TheBench();
  FrameBuffer frame;
  if (!CreateFrameBuffer(frame, b.project->outputWidth, b.project->outputHeight)) {
    state.SkipWithError("no memory for a frame");
    return;
  }
  auto states = std::make_unique<PlaybackStates>();
  TimeFrames(state, "compose", [&] {
    PrepareExportTracks(*b.project, *states);
    for (uint32_t n = 0; n < kFrames; ++n) {
      ComposeNextExportFrame(*b.project, *states, frame, &b.movies, false);
    }
    return true;
  });
}

// The movie's share of composition: its 300 frames brought into the entry's picture, nothing
// drawn.
void BM_MovieFramesOnly(benchmark::State& state) {
  Bench& b = TheBench();
  FileEntry& movie = b.project->files[0];
  TimeFrames(state, "movie frames", [&] {
    ForgetCachedFrames(*b.project);
    for (uint32_t n = 0; n < kFrames; ++n) {
      if (!b.movies.PrepareFrame(movie, n)) return false;
    }
    return true;
  });
}

// pipelined: the writer compresses frame n on its encoding thread while frame n + 1 is composed
// (ExportProject's default); otherwise every frame is written before the next is composed.
void BM_Export(benchmark::State& state, const std::string& codec, bool pipelined) {
  Bench& b = TheBench();
  const std::filesystem::path out = b.folder / ("export_" + codec + ".avi");
  ExportRunOptions options;
  options.codec = codec;
  options.pipelined = pipelined;
  const std::string key = (pipelined ? "export " : "sequential export ") + codec;
  double cpu = 0;
  int64_t runs = 0;
  TimeFrames(state, key, [&] {
    const double start = ProcessCpuSeconds();
    const bool done =
        ExportProject(*b.project, out.u16string(), &b.movies, options) == ExportResult::Done;
    cpu += ProcessCpuSeconds() - start;
    ++runs;
    return done;
  });
  RecordCpuSpeed(state, key, runs, cpu);
  std::filesystem::remove(out);
}

// One stereo clip as a decoded source holds it: ten seconds of two tones with a little noise,
// read from memory (decoding is the sources' cost, not the export's).
class ClipSound final : public SoundSamples {
 public:
  ClipSound() : samples_(static_cast<size_t>(kLength) * kMixChannels) {
    uint32_t noise = 1;
    for (int64_t i = 0; i < kLength; ++i) {
      noise = noise * 1664525u + 1013904223u;
      const double t = static_cast<double>(i) / kMixRate;
      const float n = static_cast<float>(noise >> 8) / 16777216.0f * 0.01f;
      samples_[2 * i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 440 * t)) + n;
      samples_[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 660 * t)) - n;
    }
  }
  SoundFormat Format() const override { return {kMixRate, kMixChannels, kLength}; }
  bool Read(int64_t first, int64_t count, float* out) override {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t at = first + i;
      const bool inside = at >= 0 && at < kLength;
      out[2 * i] = inside ? samples_[2 * at] : 0.0f;
      out[2 * i + 1] = inside ? samples_[2 * at + 1] : 0.0f;
    }
    return true;
  }

 private:
  static constexpr int64_t kLength = 10 * kMixRate;
  std::vector<float> samples_;
};

// The project's movie slot, which its movie events play.
FileEntry* MovieSlot() {
  for (FileEntry& f : TheBench().project->files) {
    if (f.kind == FileMovie) return &f;
  }
  return nullptr;
}

// The export of codec into file (whose extension names the container) without and with the
// clip's sound in the movie's slot, alternately, kRepeats times each: the least processor time
// of each is kept under "silent WHAT" and "sound WHAT" (alternating keeps a load that comes and
// goes on this shared machine from favouring either).
void BM_SoundCost(benchmark::State& state, const std::string& codec, const std::string& file,
                  const std::string& what) {
  constexpr int kRepeats = 4;
  Bench& b = TheBench();
  FileEntry* slot = MovieSlot();
  if (slot == nullptr) {
    state.SkipWithError("the project has no movie");
    return;
  }
  const std::filesystem::path out = b.folder / file;
  ExportRunOptions options;
  options.codec = codec;
  double least[2] = {1e30, 1e30};
  TimeFrames(state, "sound cost " + what, [&] {
    for (int i = 0; i < kRepeats; ++i) {
      for (int withSound = 0; withSound < 2; ++withSound) {
        if (withSound != 0) slot->sound = std::make_unique<ClipSound>();
        if (ProjectHasSound(*b.project) != (withSound != 0)) return false;
        const double start = ProcessCpuSeconds();
        const bool done =
            ExportProject(*b.project, out.u16string(), &b.movies, options) == ExportResult::Done;
        least[withSound] = std::min(least[withSound], ProcessCpuSeconds() - start);
        slot->sound.reset();
        if (!done) return false;
      }
    }
    return true;
  });
  RecordCpuSpeed(state, "silent " + what, 1, least[0]);
  RecordCpuSpeed(state, "sound " + what, 1, least[1]);
  state.counters["sound_cpu_share"] = least[1] / least[0] - 1;
  std::filesystem::remove(out);
}

// One layer of a melt scene: a picture placed with its centre at (centreX, centreY), scaled,
// at an opacity, turned from firstTurn degrees on the first frame to lastTurn on the last.
struct MeltLayer {
  std::filesystem::path file;
  int width, height;
  double scale, centreX, centreY, opacity, firstTurn, lastTurn;
};

// A scene for melt: the movie on track 0 and each layer on a track of its own, put over the
// tracks below by a qtblend transition whose rectangle is the scaled layer around its centre,
// at the layer's opacity, turned about that centre as the project's keys turn it.
std::string MeltScene(int width, int height, uint32_t frames, const std::filesystem::path& movie,
                      const std::vector<MeltLayer>& layers) {
  const uint32_t last = frames - 1;
  char text[1024];
  std::snprintf(text, sizeof text,
                "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mlt>\n"
                "<profile width=\"%d\" height=\"%d\" frame_rate_num=\"30\" "
                "frame_rate_den=\"1\" progressive=\"1\" sample_aspect_num=\"1\" "
                "sample_aspect_den=\"1\" display_aspect_num=\"16\" display_aspect_den=\"9\" "
                "colorspace=\"709\"/>\n",
                width, height);
  std::string xml = text;
  auto producer = [&](const std::string& id, const std::filesystem::path& file) {
    std::snprintf(text, sizeof text,
                  "<producer id=\"%s\" in=\"0\" out=\"%u\"><property name=\"resource\">%s"
                  "</property><property name=\"length\">%u</property></producer>\n"
                  "<playlist id=\"p%s\"><entry producer=\"%s\" in=\"0\" out=\"%u\"/>"
                  "</playlist>\n",
                  id.c_str(), last, file.c_str(), frames, id.c_str(), id.c_str(), last);
    xml += text;
  };
  producer("m", movie);
  for (size_t i = 0; i < layers.size(); ++i) producer("l" + std::to_string(i), layers[i].file);
  std::snprintf(text, sizeof text,
                "<tractor id=\"t\" in=\"0\" out=\"%u\"><multitrack><track producer=\"pm\"/>",
                last);
  xml += text;
  for (size_t i = 0; i < layers.size(); ++i) {
    xml += "<track producer=\"pl" + std::to_string(i) + "\"/>";
  }
  xml += "</multitrack>\n";
  for (size_t i = 0; i < layers.size(); ++i) {
    const MeltLayer& layer = layers[i];
    const double w = layer.width * layer.scale, h = layer.height * layer.scale;
    const double x = layer.centreX - w / 2, y = layer.centreY - h / 2;
    std::snprintf(text, sizeof text,
                  "<transition in=\"0\" out=\"%u\"><property name=\"mlt_service\">qtblend"
                  "</property><property name=\"a_track\">0</property><property "
                  "name=\"b_track\">%zu</property><property name=\"rect\">0=%g %g %g %g %g;"
                  "%u=%g %g %g %g %g</property><property name=\"rotation\">0=%g;%u=%g</property>"
                  "<property name=\"rotate_center\">1</property><property "
                  "name=\"compositing\">0</property></transition>\n",
                  last, i + 1, x, y, w, h, layer.opacity, last, x, y, w, h, layer.opacity,
                  layer.firstTurn, last, layer.lastTurn);
    xml += text;
  }
  xml += "</tractor>\n</mlt>\n";
  return xml;
}

// The benchmark project's scene for melt.
std::string MeltScene() {
  const Bench& b = TheBench();
  std::vector<MeltLayer> layers;
  for (const demo::BenchTile& tile : demo::kBenchTiles) {
    layers.push_back({b.folder / tile.fileName, tile.width, tile.height, tile.scale, tile.centreX,
                      tile.centreY, tile.opacity, 0.0,
                      tile.turns * 360.0 * (kFrames - 1) / kFrames});
  }
  return MeltScene(demo::kDemoWidth, demo::kDemoHeight, kFrames, b.folder / demo::kBenchClipName,
                   layers);
}

// melt renders a scene into a raw BGRA AVI file, one render thread, no frame dropped; true when
// the whole file came out. cpuSeconds receives melt's processor time. Its Qt module wants a
// display only to start; the offscreen platform draws without one.
bool RunMelt(const std::string& sceneText, const std::string& name, uintmax_t frameBytes,
             uint32_t frames, double& cpuSeconds) {
  const Bench& b = TheBench();
  const std::filesystem::path scene = b.folder / (name + ".mlt");
  const std::filesystem::path out = b.folder / (name + "_raw.avi");
  {
    std::ofstream file(scene);
    file << sceneText;
  }
  const std::filesystem::path runtime = b.folder / "runtime";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  const std::vector<std::string> environment = {
      "DISPLAY=:tavrona-bench", "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime.string()};
  const std::vector<std::string> args = {"melt",
                                         "-quiet",
                                         scene.string(),
                                         "-consumer",
                                         "avformat:" + out.string(),
                                         "vcodec=rawvideo",
                                         "pix_fmt=bgra",
                                         "an=1",
                                         "real_time=-1"};
  const bool done = Run(args, environment, &cpuSeconds);
  // A scene that melt could not build still exits with 0: demand the whole file.
  std::error_code error;
  const bool whole = std::filesystem::file_size(out, error) >= frameBytes * frames;
  std::filesystem::remove(out, error);
  return done && whole;
}

void BM_Melt(benchmark::State& state) {
  double cpu = 0;
  int64_t runs = 0;
  const std::string scene = MeltScene();
  TimeFrames(state, "melt qtblend raw", [&] {
    double seconds = 0;
    const bool done =
        RunMelt(scene, "scene", uintmax_t{1280} * 720 * 4, kFrames, seconds);
    cpu += seconds;
    ++runs;
    return done;
  });
  RecordCpuSpeed(state, "melt qtblend raw", runs, cpu);
}

// ---- Layer scenes: what one more still costs ---------------------------------------------------

// The 1080p scenes of demo::BuildLayerBenchProject with 4 and 8 stills, each exported raw and
// rendered by melt (qtblend) alternately, kLayerRepeats times; the least processor time of each
// is kept, in seconds per frame, under the layer count.
struct LayerFigures {
  double exportSecondsPerFrame = 0;
  double meltSecondsPerFrame = 0;
};
std::map<int, LayerFigures>& LayerResults() {
  static std::map<int, LayerFigures> results;
  return results;
}

void BM_Layers(benchmark::State& state, int layers) {
  constexpr int kLayerRepeats = 2;
  const Bench& b = TheBench();
  static const bool sources = demo::WriteLayerBenchSources(b.folder);
  if (!sources) {
    state.SkipWithError("cannot write the layer scenes' sources");
    return;
  }
  auto project = AllocateProjectData();
  StandardSourceOpener opener;
  if (!project || !demo::BuildLayerBenchProject(*project, b.folder, opener, layers)) {
    state.SkipWithError("cannot build the layer scene");
    return;
  }
  std::vector<MeltLayer> meltLayers;
  for (int i = 0; i < layers; ++i) {
    const demo::BenchTile& tile = demo::kBenchTiles[i % 3];
    const demo::LayerStill still = demo::LayerBenchStill(i);
    constexpr uint32_t kLast = demo::kLayerFrames - 1;
    meltLayers.push_back({b.folder / tile.fileName, tile.width, tile.height, still.scale,
                          still.centreX, still.centreY, still.opacity, still.rotation,
                          still.rotation + still.turns * 360.0 * kLast / demo::kLayerFrames});
  }
  const std::string scene = MeltScene(demo::kLayerWidth, demo::kLayerHeight, demo::kLayerFrames,
                                      b.folder / demo::kLayerClipName, meltLayers);
  const std::filesystem::path out = b.folder / "layers.avi";
  StandardMovieFrames movies;
  double least[2] = {1e30, 1e30};
  for (auto _ : state) {
    for (int i = 0; i < kLayerRepeats; ++i) {
      const double start = ProcessCpuSeconds();
      const bool exported =
          ExportProject(*project, out.u16string(), &movies, ExportRunOptions{}) ==
          ExportResult::Done;
      least[0] = std::min(least[0], ProcessCpuSeconds() - start);
      double meltSeconds = 0;
      const bool melted = RunMelt(scene, "layers", uintmax_t{demo::kLayerWidth} *
                                                       demo::kLayerHeight * 4,
                                  demo::kLayerFrames, meltSeconds);
      least[1] = std::min(least[1], meltSeconds);
      if (!exported || !melted) {
        state.SkipWithError(exported ? "melt failed" : "the export failed");
        return;
      }
    }
  }
  std::filesystem::remove(out);
  LayerFigures& f = LayerResults()[layers];
  f.exportSecondsPerFrame = least[0] / demo::kLayerFrames;
  f.meltSecondsPerFrame = least[1] / demo::kLayerFrames;
  state.counters["export_cpu_ms_per_frame"] = f.exportSecondsPerFrame * 1e3;
  state.counters["melt_cpu_ms_per_frame"] = f.meltSecondsPerFrame * 1e3;
  state.counters["cpu_ratio"] = f.exportSecondsPerFrame / f.meltSecondsPerFrame;
}

// The project's frames, composed once and kept (300 x 3.7 MB).
bool ComposeAllFrames() {
  Bench& b = TheBench();
  if (!b.composed.empty()) return true;
  b.composed.resize(kFrames);
  auto states = std::make_unique<PlaybackStates>();
  PrepareExportTracks(*b.project, *states);
  for (FrameBuffer& frame : b.composed) {
    if (!CreateFrameBuffer(frame, b.project->outputWidth, b.project->outputHeight)) return false;
    ComposeNextExportFrame(*b.project, *states, frame, &b.movies, false);
  }
  return true;
}

void BM_EncodeAlone(benchmark::State& state, const std::string& codec) {
  Bench& b = TheBench();
  if (!ComposeAllFrames()) {
    state.SkipWithError("cannot compose the frames");
    return;
  }
  const std::filesystem::path out = b.folder / ("encode_" + codec + ".avi");
  TimeFrames(state, "encode " + codec, [&] {
    AviWriter writer;  // encoder threads as the export's writer has them
    if (!ChooseCompressor(writer, codec)) return false;
    InitAviWriter(writer);
    const uint32_t rate = 30;
    if (!OpenAviStream(writer, out.u16string(), b.composed[0].header, rate, 1)) return false;
    for (uint32_t n = 0; n < kFrames; ++n) {
      const FrameBuffer& f = b.composed[n];
      const uint8_t* previous = n > 0 ? b.composed[n - 1].pixels : nullptr;
      if (!WriteAviFrame(writer, n, f.pixels, f.byteSize, previous)) return false;
    }
    CloseAviWriter(writer);
    return true;
  });
  std::filesystem::remove(out);
}

double Ratio(const std::string& a, const std::string& b, bool cpu = false) {
  const auto& fps = cpu ? TheBench().framesPerCpuSecond : TheBench().framesPerSecond;
  const auto ia = fps.find(a), ib = fps.find(b);
  if (ia == fps.end() || ib == fps.end() || ib->second <= 0) return 0;
  return ia->second / ib->second;
}

const std::pair<const char*, std::pair<const char*, const char*>> kRatios[] = {
    {"raw/ffmpeg", {"export raw", "ffmpeg graph"}},
    {"mjpeg/ffmpeg", {"export mjpeg", "ffmpeg graph"}},
    {"h264/ffmpeg_x264", {"export h264", "ffmpeg graph + x264"}},
    {"h264/encode_alone", {"export h264", "encode h264"}},
    {"mjpeg/encode_alone", {"export mjpeg", "encode mjpeg"}},
    {"raw/encode_alone", {"export raw", "encode raw"}},
    {"h264/sequential", {"export h264", "sequential export h264"}},
    {"mjpeg/sequential", {"export mjpeg", "sequential export mjpeg"}},
    {"raw/sequential", {"export raw", "sequential export raw"}},
    {"compose/ffmpeg", {"compose", "ffmpeg graph"}},
    {"raw/melt_wall", {"export raw", "melt qtblend raw"}},
};

// Ratios of frames per second of processor time.
const std::pair<const char*, std::pair<const char*, const char*>> kCpuRatios[] = {
    {"raw/melt_cpu", {"export raw", "melt qtblend raw"}},
    // Above 1 by what sound adds to the processor time of the export (goal: at most 1.05).
    {"mjpeg_avi/with_pcm_sound_cpu", {"silent mjpeg avi", "sound mjpeg avi"}},
    {"h264_mp4/with_aac_sound_cpu", {"silent h264 mp4", "sound h264 mp4"}},
};

void BM_Ratios(benchmark::State& state) {
  for (auto _ : state) {
  }
  for (const auto& [name, pair] : kRatios) {
    const double r = Ratio(pair.first, pair.second);
    if (r > 0) state.counters[name] = r;
  }
  for (const auto& [name, pair] : kCpuRatios) {
    const double r = Ratio(pair.first, pair.second, true);
    if (r > 0) state.counters[name] = r;
  }
}

void Register() {
  av_log_set_level(AV_LOG_ERROR);
  auto setup = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  };
  setup(benchmark::RegisterBenchmark("FfmpegGraph/null", BM_FfmpegGraph));
  setup(benchmark::RegisterBenchmark("FfmpegGraph/x264", BM_FfmpegGraphX264));
  setup(benchmark::RegisterBenchmark("ComposeOnly", BM_ComposeOnly));
  setup(benchmark::RegisterBenchmark("MovieFramesOnly", BM_MovieFramesOnly));
  setup(benchmark::RegisterBenchmark("Melt/qtblend", BM_Melt));
  for (const std::string codec : {"raw", "mjpeg", "h264"}) {
    setup(benchmark::RegisterBenchmark(
        ("ExportSequential/" + codec).c_str(),
        [codec](benchmark::State& s) { BM_Export(s, codec, /*pipelined=*/false); }));
    setup(benchmark::RegisterBenchmark(("Export/" + codec).c_str(), [codec](benchmark::State& s) {
      BM_Export(s, codec, /*pipelined=*/true);
    }));
    setup(benchmark::RegisterBenchmark(("EncodeAlone/" + codec).c_str(),
                                       [codec](benchmark::State& s) { BM_EncodeAlone(s, codec); }));
  }
  for (const auto& [codec, file] : std::vector<std::pair<std::string, std::string>>{
           {"mjpeg", "sound.avi"}, {"h264", "sound.mp4"}}) {
    const std::string what = codec + " " + file.substr(file.size() - 3);
    setup(benchmark::RegisterBenchmark(("SoundCost/" + what).c_str(), [=](benchmark::State& s) {
      BM_SoundCost(s, codec, file, what);
    }));
  }
  for (int layers : {4, 8}) {
    setup(benchmark::RegisterBenchmark(("Layers/" + std::to_string(layers)).c_str(),
                                       [layers](benchmark::State& s) { BM_Layers(s, layers); }));
  }
  benchmark::RegisterBenchmark("Ratios", BM_Ratios)->Iterations(1);
}

// Processor time per frame of the layer scenes, and the slope between 4 and 8 stills: what each
// added still costs the export and melt.
void PrintLayerSummary() {
  const auto& results = LayerResults();
  const auto four = results.find(4), eight = results.find(8);
  if (four == results.end() || eight == results.end()) return;
  const LayerFigures& a = four->second;
  const LayerFigures& b = eight->second;
  std::printf("\nlayer scenes (%d x %d, %u frames), processor ms per frame, export raw / melt:\n",
              demo::kLayerWidth, demo::kLayerHeight, demo::kLayerFrames);
  for (const auto& [layers, f] : results) {
    std::printf("  %d stills %8.2f %8.2f  ratio %.2f\n", layers, f.exportSecondsPerFrame * 1e3,
                f.meltSecondsPerFrame * 1e3, f.exportSecondsPerFrame / f.meltSecondsPerFrame);
  }
  const double exportSlope = (b.exportSecondsPerFrame - a.exportSecondsPerFrame) / 4;
  const double meltSlope = (b.meltSecondsPerFrame - a.meltSecondsPerFrame) / 4;
  std::printf("  per added still     %8.2f %8.2f  ratio %.2f\n", exportSlope * 1e3,
              meltSlope * 1e3, meltSlope > 0 ? exportSlope / meltSlope : 0.0);
}

void PrintSummary() {
  PrintLayerSummary();
  const auto& fps = TheBench().framesPerSecond;
  if (fps.empty()) return;
  std::printf("\nframes per second (%u frames of 1280x720):\n", kFrames);
  for (const auto& [key, value] : fps) std::printf("  %-22s %8.1f\n", key.c_str(), value);
  std::printf("frames per second of processor time:\n");
  for (const auto& [key, value] : TheBench().framesPerCpuSecond) {
    std::printf("  %-22s %8.1f\n", key.c_str(), value);
  }
  std::printf("ratios:\n");
  for (const auto& [name, pair] : kRatios) {
    const double r = Ratio(pair.first, pair.second);
    if (r > 0) std::printf("  %-22s %8.2f\n", name, r);
  }
  for (const auto& [name, pair] : kCpuRatios) {
    const double r = Ratio(pair.first, pair.second, true);
    if (r > 0) std::printf("  %-22s %8.2f\n", name, r);
  }
}

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!tavrona::SetUpBench()) {
    std::fprintf(stderr, "cannot make the benchmark's project in %s\n",
                 tavrona::TheBench().folder.c_str());
    std::filesystem::remove_all(tavrona::TheBench().folder);
    return 1;
  }
  tavrona::Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tavrona::PrintSummary();
  std::filesystem::remove_all(tavrona::TheBench().folder);
  tavrona::TheBench().composed.clear();
  return 0;
}
