#include "sound_media.h"

#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numbers>
#include <sstream>

namespace tavrona::testing {
namespace {

constexpr double kRate = 48000.0;

// A folder for the process's fixtures, removed at exit.
const std::filesystem::path& FixtureFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrona-sound-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    std::filesystem::path path = made != nullptr ? made : "";
    static struct Remover {
      std::filesystem::path path;
      ~Remover() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
      }
    } remover{path};
    return path;
  }();
  return folder;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The sum of 0/1 gates that is 1 during a beep, as an ffmpeg expression of the time, named time
// (aevalsrc says t, geq says T). comma separates arguments: escaped for a filter argument given
// bare, plain inside a quoted one.
std::string BeepGate(const BeepRecipe& r, const char* time = "t", const char* comma = "\\,") {
  std::ostringstream gate;
  gate.precision(9);
  for (size_t i = 0; i < r.beepSeconds.size(); ++i) {
    if (i > 0) gate << "+";
    gate << "between(" << time << comma << r.beepSeconds[i] << comma << r.beepSeconds[i] + r.beepMs / 1000.0
         << ")";
  }
  if (r.beepSeconds.empty()) gate << "0";
  return gate.str();
}

// The complex correlation of mono[at, at + n) with a sine of hz, recomputed from scratch.
std::complex<double> Correlation(const std::vector<float>& mono, size_t at, size_t n, double hz) {
  std::complex<double> sum = 0;
  const double w = 2 * std::numbers::pi * hz / kRate;
  for (size_t i = 0; i < n && at + i < mono.size(); ++i) {
    sum += static_cast<double>(mono[at + i]) * std::polar(1.0, -w * static_cast<double>(i));
  }
  return sum;
}

// Magnitudes of the correlation at every lag of [from, to), by a sliding DFT refreshed every
// 4096 lags so that rounding cannot build up.
std::vector<double> CorrelationMagnitudes(const std::vector<float>& mono, size_t from, size_t to,
                                          size_t n, double hz) {
  std::vector<double> out;
  if (to <= from) return out;
  out.reserve(to - from);
  const double w = 2 * std::numbers::pi * hz / kRate;
  const std::complex<double> turn = std::polar(1.0, w);
  const std::complex<double> last = std::polar(1.0, -w * static_cast<double>(n - 1));
  std::complex<double> x;
  for (size_t lag = from; lag < to; ++lag) {
    if ((lag - from) % 4096 == 0) {
      x = Correlation(mono, lag, n, hz);
    } else {
      const double leaving = static_cast<double>(mono[lag - 1]);
      const double entering = lag + n - 1 < mono.size() ? mono[lag + n - 1] : 0.0;
      x = (x - leaving) * turn + entering * last;
    }
    out.push_back(std::abs(x));
  }
  return out;
}

size_t SampleAt(double seconds, size_t size) {
  if (seconds <= 0) return 0;
  return std::min(size, static_cast<size_t>(std::llround(seconds * kRate)));
}

}  // namespace

std::filesystem::path BeepMediaPath(const BeepRecipe& r) {
  static std::mutex lock;
  static std::map<std::string, std::filesystem::path> made;
  std::lock_guard guard(lock);
  if (auto it = made.find(r.name); it != made.end()) return it->second;
  if (FixtureFolder().empty()) return {};
  const std::filesystem::path path = FixtureFolder() / (r.name + "." + r.extension);
  std::ostringstream sound;
  sound.precision(9);
  sound << "aevalsrc=exprs=" << r.amplitude << "*sin(2*PI*" << r.beepHz << "*t)*(" << BeepGate(r)
        << ")";
  if (r.channels == 2) sound << "|" << r.amplitude << "*sin(2*PI*" << r.beepHz << "*t)*(" << BeepGate(r) << ")";
  sound << ":s=" << r.sampleRate << ":d=" << r.durationSeconds;
  std::ostringstream command;
  command.precision(9);
  command << "ffmpeg -nostdin -v error -y";
  if (r.picture) {
    command << " -f lavfi -i " << Quote("color=c=black:s=64x48:r=" + std::to_string(r.framesPerSecond) +
                                        ":d=" + std::to_string(r.durationSeconds));
  }
  if (r.audioOffsetSeconds != 0.0) command << " -itsoffset " << r.audioOffsetSeconds;
  command << " -f lavfi -i " << Quote(sound.str());
  if (r.picture) {
    command << " -vf " << Quote("geq=lum='if(" + BeepGate(r, "T", ",") + ",235,16)':cb=128:cr=128")
            << " " << r.videoOptions << " -pix_fmt yuv420p";
  }
  command << " " << r.audioOptions << " " << Quote(path.string()) << " 2>&1";
  if (std::system(command.str().c_str()) != 0 || !std::filesystem::exists(path)) {
    std::fprintf(stderr, "sound fixture %s: the ffmpeg command failed: %s\n", r.name.c_str(),
                 command.str().c_str());
    return {};
  }
  made[r.name] = path;
  return path;
}

namespace {

std::vector<float> DecodedWith(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::vector<float> samples;
  float buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, sizeof(float), std::size(buffer), pipe)) > 0) {
    samples.insert(samples.end(), buffer, buffer + got);
  }
  if (pclose(pipe) != 0) return {};
  samples.resize(samples.size() / 2 * 2);
  return samples;
}

}  // namespace

std::vector<float> DecodedSound(const std::filesystem::path& path) {
  return DecodedWith("ffmpeg -nostdin -v error -i " + Quote(path.string()) +
                     " -map 0:a:0 -f f32le -ac 2 -ar 48000 - 2>/dev/null");
}

std::vector<float> DecodedSoundOnTimeline(const std::filesystem::path& path) {
  return DecodedWith("ffmpeg -nostdin -v error -copyts -i " + Quote(path.string()) +
                     " -map 0:a:0 -af aresample=async=1:first_pts=0 -f f32le -ac 2 -ar 48000 - "
                     "2>/dev/null");
}

std::vector<float> LeftChannel(const std::vector<float>& stereo) {
  std::vector<float> left(stereo.size() / 2);
  for (size_t i = 0; i < left.size(); ++i) left[i] = stereo[2 * i];
  return left;
}

double FindBeep(const std::vector<float>& mono, double beepHz, double beepMs, double fromSeconds,
                double toSeconds, double minAmplitude) {
  const size_t n = static_cast<size_t>(std::llround(beepMs / 1000.0 * kRate));
  const size_t from = SampleAt(fromSeconds, mono.size());
  const size_t to = SampleAt(toSeconds, mono.size());
  const std::vector<double> m = CorrelationMagnitudes(mono, from, to, n, beepHz);
  size_t best = 0;
  for (size_t i = 1; i < m.size(); ++i) best = m[i] > m[best] ? i : best;
  // A full beep of amplitude a gives a * n / 2.
  if (m.empty() || m[best] < minAmplitude * static_cast<double>(n) / 4) return -1;
  return static_cast<double>(from + best) / kRate;
}

std::vector<double> FindAllBeeps(const std::vector<float>& mono, double beepHz, double beepMs,
                                 double minAmplitude) {
  const size_t n = static_cast<size_t>(std::llround(beepMs / 1000.0 * kRate));
  const std::vector<double> m = CorrelationMagnitudes(mono, 0, mono.size(), n, beepHz);
  const double threshold = minAmplitude * static_cast<double>(n) / 4;
  std::vector<double> starts;
  size_t i = 0;
  while (i < m.size()) {
    if (m[i] < threshold) {
      ++i;
      continue;
    }
    // One beep: the largest magnitude of the run above the threshold.
    size_t best = i;
    while (i < m.size() && m[i] >= threshold) {
      best = m[i] > m[best] ? i : best;
      ++i;
    }
    starts.push_back(static_cast<double>(best) / kRate);
  }
  return starts;
}

float PeakIn(const std::vector<float>& mono, double fromSeconds, double toSeconds) {
  float peak = 0;
  for (size_t i = SampleAt(fromSeconds, mono.size()); i < SampleAt(toSeconds, mono.size()); ++i) {
    peak = std::max(peak, std::abs(mono[i]));
  }
  return peak;
}

double DominantHz(const std::vector<float>& mono, double fromSeconds, double toSeconds,
                  double loHz, double hiHz) {
  const size_t from = SampleAt(fromSeconds, mono.size());
  const size_t to = SampleAt(toSeconds, mono.size());
  double bestHz = 0, bestPower = -1;
  for (double hz = loHz; hz <= hiHz; hz += 1.0) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / kRate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < to; ++i) {
      const double s0 = mono[i] + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    if (power > bestPower) {
      bestPower = power;
      bestHz = hz;
    }
  }
  return bestHz;
}

}  // namespace tavrona::testing
