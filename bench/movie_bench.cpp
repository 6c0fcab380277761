// Fetches every frame of a 1920 x 1080 H.264 clip in order through the movie source, as the
// export does, and measures `ffmpeg -i CLIP -pix_fmt bgr0 -f null -` (decoding and converting
// to the same 32-bit layout) on the same clip in the same run: the
// ratio of the two speeds is the figure, beside the ratio of the CPU time both spend. Also
// reports the CPU time the fetching thread spent waiting for frames, which should be close to
// zero (all waits block).
//
// The clip is made with the ffmpeg tool (testsrc2, x264 "veryfast") unless TAVRONA_BENCH_CLIP
// names one. Both sides decode with the library's automatic thread count.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "model/file_entry.h"
#include "model/text_encoding.h"
#include "sources/movie_file.h"
#include "sources/movie_source.h"

namespace {

using namespace tavrona;

constexpr int kClipFrames = 150;  // of the clip made here

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
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tavrona-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return c;
    c.folder = pattern;
    const std::filesystem::path path = c.folder / "clip1080.mp4";
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
        "testsrc2=size=1920x1080:rate=30 -frames:v " +
        std::to_string(kClipFrames) + " -c:v libx264 -preset veryfast -pix_fmt yuv420p '" +
        path.string() + "'";
    if (std::system(command.c_str()) == 0) c.path = path;
    return c;
  }();
  return clip.path;
}

struct Run {
  double seconds = 0;      // wall time of the decoding loop
  double cpuSeconds = 0;   // CPU time of all threads over it
  double openSeconds = 0;  // the part of seconds spent opening the movie
  uint32_t frames = 0;     // frames decoded
};

// One `ffmpeg -benchmark -i CLIP -pix_fmt bgr0 -f null -`: its own measure of the transcoding loop
// ("rtime", without process start-up), its CPU time ("utime" + "stime") and the frames it
// decoded (the last "frame=" of its progress lines), so that a clip given in TAVRONA_BENCH_CLIP
// is counted as it is.
bool RunFfmpeg(const std::filesystem::path& clip, Run& run) {
  const std::string command = "ffmpeg -hide_banner -nostdin -benchmark -i '" + clip.string() +
                              "' -pix_fmt bgr0 -f null - 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string output;
  std::array<char, 4096> buffer;
  while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
  pclose(pipe);
  const size_t u = output.find("utime="), st = output.find("stime="), r = output.find("rtime=");
  if (u == std::string::npos || st == std::string::npos || r == std::string::npos) return false;
  run.seconds = std::atof(output.c_str() + r + 6);
  run.cpuSeconds = std::atof(output.c_str() + u + 6) + std::atof(output.c_str() + st + 6);
  const size_t f = output.rfind("frame=");
  if (f == std::string::npos) return false;
  run.frames = static_cast<uint32_t>(std::strtoul(output.c_str() + f + 6, nullptr, 10));
  return run.seconds > 0 && run.frames > 0;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Opens the clip and prepares every frame in order, as the export does.
bool RunMovieSource(const std::filesystem::path& clip, Run& run, MovieWaitStats& waits,
                    uint32_t& frames) {
  FileEntry entry;
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  if (!OpenMovieFile(entry, FromUtf8(clip.string()), u"")) return false;
  run.openSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  frames = MovieFrameCount(entry);
  for (uint32_t i = 0; i < frames; ++i) {
    if (!PrepareMovieFrame(entry, i)) return false;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  waits = entry.movie->WaitStats();
  ResetFileEntry(entry);
  run.cpuSeconds = ProcessCpuSeconds() - cpu0;
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

std::string summary;

// The two runs alternate, so that load from elsewhere on the machine falls on both alike; the
// figure is the median of the per-pair ratios.
void BM_MovieSourceAgainstFfmpeg(benchmark::State& state) {
  const auto& clip = ClipPath();
  if (clip.empty()) return state.SkipWithError("no clip (is the ffmpeg tool installed?)");
  std::vector<double> speedRatios, fetchRatios, cpuRatios, ownFps, ffmpegFps, openMs;
  double waitCpuMs = 0, waitWallMs = 0;
  uint32_t frames = 0, ffmpegFrames = 0;
  for (auto _ : state) {
    Run ffmpeg, own;
    MovieWaitStats waits;
    if (!RunFfmpeg(clip, ffmpeg)) return state.SkipWithError("ffmpeg failed");
    if (!RunMovieSource(clip, own, waits, frames)) return state.SkipWithError("a fetch failed");
    state.SetIterationTime(own.seconds);
    speedRatios.push_back(ffmpeg.seconds / own.seconds);
    fetchRatios.push_back(ffmpeg.seconds / (own.seconds - own.openSeconds));
    cpuRatios.push_back(ffmpeg.cpuSeconds / own.cpuSeconds);
    ownFps.push_back(frames / own.seconds);
    ffmpegFps.push_back(ffmpeg.frames / ffmpeg.seconds);
    openMs.push_back(own.openSeconds * 1e3);
    ffmpegFrames = ffmpeg.frames;
    waitCpuMs = std::max(waitCpuMs, waits.waitCpuNs / 1e6);
    waitWallMs = waits.waitWallNs / 1e6;
  }
  state.counters["frames"] = frames;
  state.counters["ffmpeg_frames"] = ffmpegFrames;
  state.counters["fps"] = Median(ownFps);
  state.counters["ffmpeg_fps"] = Median(ffmpegFps);
  state.counters["ratio"] = Median(speedRatios);
  state.counters["fetch_ratio"] = Median(fetchRatios);
  state.counters["cpu_ratio"] = Median(cpuRatios);
  state.counters["open_ms"] = Median(openMs);
  state.counters["wait_cpu_ms_max"] = waitCpuMs;
  state.counters["wait_wall_ms"] = waitWallMs;
  // ffmpeg's own figure leaves out the opening of its input; the second ratio does the same.
  char line[400];
  std::snprintf(line, sizeof line,
                "movie source %.1f fps, ffmpeg -pix_fmt bgr0 -f null %.1f fps (medians of %zu "
                "pairs): speed ratio %.3f (fetching alone, without the %.1f ms of opening: "
                "%.3f), CPU ratio %.3f; CPU spent waiting at most %.1f ms per pass\n",
                Median(ownFps), Median(ffmpegFps), ownFps.size(), Median(speedRatios),
                Median(openMs), Median(fetchRatios), Median(cpuRatios), waitCpuMs);
  summary = line;
}
BENCHMARK(BM_MovieSourceAgainstFfmpeg)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::fputs(summary.c_str(), stdout);
  return 0;
}
