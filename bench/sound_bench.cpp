// Sequential reads of a sound source as the mix makes them (one second at a time, front to
// back) for a 16-bit PCM WAV and an AAC (M4A) file of 60 s, 48 kHz stereo, against a memcpy of
// the same amount of decoded sound in the same run. Each iteration opens the file afresh (not
// timed) and reads all of it; the figures are the read speed in samples per second, the memcpy
// speed, and their ratio (how many times slower than copying ready sound reading is).
//
// The files are made with the ffmpeg tool (a sine sweep) into a temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sources/sound_source.h"

namespace {

using namespace tavrona;

constexpr int kSeconds = 60;

struct Files {
  std::filesystem::path folder;
  std::filesystem::path wav;
  std::filesystem::path m4a;
  ~Files() {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }
};

const Files& TestFiles() {
  static Files files = [] {
    Files f;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tavrona-sound-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return f;
    f.folder = pattern;
    const std::string source = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                               "'aevalsrc=exprs=0.4*sin(2*PI*(200+20*t)*t)|0.4*sin(2*PI*(300+10*t)*t)"
                               ":s=48000:d=" +
                               std::to_string(kSeconds) + "' ";
    f.wav = f.folder / "sweep.wav";
    f.m4a = f.folder / "sweep.m4a";
    if (std::system((source + "-c:a pcm_s16le '" + f.wav.string() + "'").c_str()) != 0) {
      f.wav.clear();
    }
    if (std::system((source + "-c:a aac -b:a 192k '" + f.m4a.string() + "'").c_str()) != 0) {
      f.m4a.clear();
    }
    return f;
  }();
  return files;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void SequentialReadAgainstMemcpy(benchmark::State& state, const std::filesystem::path& path) {
  if (path.empty()) {
    state.SkipWithError("the ffmpeg tool could not make the file");
    return;
  }
  std::vector<float> second(static_cast<size_t>(kMixRate) * kMixChannels);
  std::vector<float> ready(static_cast<size_t>(kSeconds) * kMixRate * kMixChannels, 0.25f);
  int64_t samples = 0;
  double readSeconds = 0;
  double copySeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string why;
    std::unique_ptr<SoundSamples> sound = OpenFfmpegSound(path, &why);
    if (!sound) {
      state.SkipWithError(why.c_str());
      return;
    }
    const int64_t length = sound->Format().lengthSamples;
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (int64_t at = 0; at < length; at += kMixRate) {
      sound->Read(at, kMixRate, second.data());
      benchmark::DoNotOptimize(second.data());
    }
    const auto read = std::chrono::steady_clock::now();
    for (int64_t at = 0; at + kMixRate <= static_cast<int64_t>(ready.size()) / kMixChannels;
         at += kMixRate) {
      std::memcpy(second.data(), ready.data() + at * kMixChannels, second.size() * sizeof(float));
      benchmark::DoNotOptimize(second.data());
    }
    const auto copied = std::chrono::steady_clock::now();
    readSeconds += Seconds(read - start);
    copySeconds += Seconds(copied - read);
    samples += length;
  }
  state.SetItemsProcessed(samples);
  state.counters["read_Msamples_per_s"] = static_cast<double>(samples) / readSeconds / 1e6;
  state.counters["memcpy_Msamples_per_s"] =
      static_cast<double>(state.iterations()) * kSeconds * kMixRate / copySeconds / 1e6;
  state.counters["read_over_memcpy_time"] =
      readSeconds / (copySeconds * static_cast<double>(samples) /
                     (static_cast<double>(state.iterations()) * kSeconds * kMixRate));
}

void BM_PcmWav(benchmark::State& state) {
  SequentialReadAgainstMemcpy(state, TestFiles().wav);
}
void BM_AacM4a(benchmark::State& state) {
  SequentialReadAgainstMemcpy(state, TestFiles().m4a);
}

BENCHMARK(BM_PcmWav)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AacM4a)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
