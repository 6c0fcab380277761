// Sound fixtures the tests make with the ffmpeg command, and the finders that look for what
// they hold in decoded sound: short sine beeps at known times, found again by cross-correlation.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrona::testing {

// A file with a picture (optional) and a sound track of beeps: a sine of beepHz at amplitude
// for beepMs from each of beepSeconds, silence between them.
struct BeepRecipe {
  std::string name;  // letters and digits only: names the file
  double durationSeconds = 4.0;
  std::vector<double> beepSeconds{1.0};
  double beepMs = 30.0;
  double beepHz = 1000.0;
  double amplitude = 0.5;
  int sampleRate = 48000;
  int channels = 2;
  // With a picture: 64 x 48 at framesPerSecond, white during a beep, black otherwise.
  bool picture = true;
  int framesPerSecond = 25;
  // The sound's timestamps are shifted by this much against the picture's (ffmpeg's
  // -itsoffset): positive starts the sound later, negative earlier. Needs a container that keeps
  // stream start times (mkv, mp4).
  double audioOffsetSeconds = 0.0;
  std::string audioOptions = "-c:a pcm_s16le";
  std::string videoOptions = "-c:v mpeg4 -q:v 3";
  std::string extension = "avi";
};

// The file, written once per test process into a temporary folder that goes away at exit; the
// empty path (with the reason on stderr) when the ffmpeg command is missing or fails.
std::filesystem::path BeepMediaPath(const BeepRecipe& recipe);

// The first audio stream of a file decoded by the ffmpeg command to 48 kHz stereo float,
// interleaved. Empty when the file holds no sound or cannot be decoded.
std::vector<float> DecodedSound(const std::filesystem::path& path);

// As DecodedSound, but with the first sample at the file's time 0, as a player places it: sound
// stored before 0 (an encoder's priming kept by negative times, as AAC in Matroska) is left out
// and a stream that starts later is preceded by silence.
std::vector<float> DecodedSoundOnTimeline(const std::filesystem::path& path);

// The left channel of interleaved stereo.
std::vector<float> LeftChannel(const std::vector<float>& stereo);

// Where a beep of beepHz lasting beepMs (at 48 kHz) starts in mono, searched within
// [fromSeconds, toSeconds): the lag of the largest magnitude of the correlation with a complex
// sine of that length (phase-free), refined to the sample. Negative when nothing there reaches
// half the correlation a beep of amplitude minAmplitude gives.
double FindBeep(const std::vector<float>& mono, double beepHz, double beepMs, double fromSeconds,
                double toSeconds, double minAmplitude = 0.1);

// Every beep of beepHz and beepMs in mono, as start times in seconds, in order.
std::vector<double> FindAllBeeps(const std::vector<float>& mono, double beepHz, double beepMs,
                                 double minAmplitude = 0.1);

// The peak absolute sample of mono in [fromSeconds, toSeconds).
float PeakIn(const std::vector<float>& mono, double fromSeconds, double toSeconds);

// The frequency of the strongest sine in [fromSeconds, toSeconds) of mono, from a scan of
// 1 Hz steps between loHz and hiHz (Goertzel).
double DominantHz(const std::vector<float>& mono, double fromSeconds, double toSeconds,
                  double loHz, double hiHz);

}  // namespace tavrona::testing
