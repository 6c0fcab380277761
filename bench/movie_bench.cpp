// Fetches every frame of a 1920 x 1080 H.264 clip in order through the movie source, as the
// export does, and measures `ffmpeg -i CLIP -f null -` on the same clip in the same run: the
// ratio of the two frame rates is the figure. Also reports the CPU time the fetching thread
// spent waiting for frames, which should be close to zero (all waits block).
//
// The clip is made with the ffmpeg tool (testsrc2, x264 "veryfast") unless TAVRONA_BENCH_CLIP
// names one. Both sides decode with the library's automatic thread count.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/process_state.h"
#include "model/file_entry.h"
#include "model/text_encoding.h"
#include "sources/movie_file.h"
#include "sources/movie_source.h"

namespace {

using namespace tavrona;

constexpr int kClipFrames = 150;

struct Clip {
  std::filesystem::path folder;
  std::filesystem::path path;
  ~Clip() {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }
};

const std::filesystem::path& ClipPath() {
  static Clip clip = [] {
    Clip c;
    if (const char* given = std::getenv("TAVRONA_BENCH_CLIP")) {
      c.path = given;
      return c;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrona-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return c;
    c.folder = pattern;
    const std::filesystem::path path = c.folder / "clip1080.mp4";
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
        "testsrc2=size=1920x1080:rate=30 -frames:v " + std::to_string(kClipFrames) +
        " -c:v libx264 -preset veryfast -pix_fmt yuv420p '" + path.string() + "'";
    if (std::system(command.c_str()) == 0) c.path = path;
    return c;
  }();
  return clip.path;
}

double bestOwnFps = 0;
double bestFfmpegFps = 0;

// ffmpeg's own measure of its transcoding loop ("rtime"), without process start-up.
void BM_FfmpegNullDecode(benchmark::State& state) {
  const auto& clip = ClipPath();
  if (clip.empty()) return state.SkipWithError("no clip (is the ffmpeg tool installed?)");
  for (auto _ : state) {
    const std::string command =
        "ffmpeg -hide_banner -nostdin -benchmark -i '" + clip.string() + "' -f null - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return state.SkipWithError("cannot run ffmpeg");
    std::string output;
    std::array<char, 4096> buffer;
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
    pclose(pipe);
    const size_t at = output.find("rtime=");
    if (at == std::string::npos) return state.SkipWithError("no rtime in ffmpeg's output");
    const double seconds = std::atof(output.c_str() + at + 6);
    state.SetIterationTime(seconds);
    const double fps = kClipFrames / seconds;
    if (fps > bestFfmpegFps) bestFfmpegFps = fps;
  }
  state.counters["fps"] = bestFfmpegFps;
}
BENCHMARK(BM_FfmpegNullDecode)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_FetchEveryFrameInOrder(benchmark::State& state) {
  const auto& clip = ClipPath();
  if (clip.empty()) return state.SkipWithError("no clip (is the ffmpeg tool installed?)");
  double waitCpuMs = 0, waitWallMs = 0;
  for (auto _ : state) {
    FileEntry entry;
    const auto t0 = std::chrono::steady_clock::now();
    if (!OpenMovieFile(entry, FromUtf8(clip.string()), u"")) {
      return state.SkipWithError("cannot open the clip");
    }
    const uint32_t count = MovieFrameCount(entry);
    for (uint32_t i = 0; i < count; ++i) {
      if (!PrepareMovieFrame(entry, i)) return state.SkipWithError("a frame failed");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(seconds);
    const double fps = count / seconds;
    if (fps > bestOwnFps) bestOwnFps = fps;
    const MovieWaitStats& stats = entry.movie->WaitStats();
    waitCpuMs = stats.waitCpuNs / 1e6;
    waitWallMs = stats.waitWallNs / 1e6;
    state.counters["frames"] = count;
    ResetFileEntry(entry);
  }
  state.counters["fps"] = bestOwnFps;
  state.counters["wait_cpu_ms"] = waitCpuMs;
  state.counters["wait_wall_ms"] = waitWallMs;
}
BENCHMARK(BM_FetchEveryFrameInOrder)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (bestOwnFps > 0 && bestFfmpegFps > 0) {
    std::printf("movie source %.1f fps, ffmpeg -f null %.1f fps: ratio %.3f\n", bestOwnFps,
                bestFfmpegFps, bestOwnFps / bestFfmpegFps);
  }
  return 0;
}
