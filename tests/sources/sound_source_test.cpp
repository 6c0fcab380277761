#include "sources/sound_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <atomic>
#include <random>
#include <thread>

#include "sound_media.h"
#include "test_movies.h"

namespace tavrona {
namespace {

using testing::BeepMediaPath;
using testing::BeepRecipe;
using testing::FindBeep;
using testing::LeftChannel;

constexpr double kOneMs = 0.001;

BeepRecipe SoundOnly(std::string name, std::string audioOptions, std::string extension) {
  BeepRecipe r;
  r.name = std::move(name);
  r.picture = false;
  r.beepSeconds = {1.0, 2.5};
  r.audioOptions = std::move(audioOptions);
  r.extension = std::move(extension);
  return r;
}

BeepRecipe WithPicture(std::string name, std::string audioOptions, std::string extension) {
  BeepRecipe r = SoundOnly(std::move(name), std::move(audioOptions), std::move(extension));
  r.picture = true;
  return r;
}

// Every format the sources open, with what its stream itself holds.
struct FormatCase {
  BeepRecipe recipe;
  int rate;
  int channels;
  bool lossless;
};

std::vector<FormatCase> FormatCases() {
  BeepRecipe mono = SoundOnly("MonoWav44k", "-c:a pcm_s16le", "wav");
  mono.sampleRate = 44100;
  mono.channels = 1;
  // 44.1 kHz MP3 frames alternate between two sizes: seeking by bytes cannot be exact.
  BeepRecipe mp3At44k = SoundOnly("Mp3At44k", "-c:a libmp3lame -b:a 128k", "mp3");
  mp3At44k.sampleRate = 44100;
  return {
      {WithPicture("PcmAvi", "-c:a pcm_s16le", "avi"), 48000, 2, true},
      {WithPicture("AacMp4", "-c:a aac -b:a 160k", "mp4"), 48000, 2, false},
      {SoundOnly("Wav", "-c:a pcm_s16le", "wav"), 48000, 2, true},
      {SoundOnly("Mp3", "-c:a libmp3lame -b:a 192k", "mp3"), 48000, 2, false},
      {SoundOnly("Flac", "-c:a flac", "flac"), 48000, 2, true},
      {SoundOnly("Opus", "-c:a libopus -b:a 128k", "opus"), 48000, 2, false},
      {SoundOnly("Vorbis", "-c:a libvorbis -q:a 5", "ogg"), 48000, 2, false},
      {SoundOnly("AacM4a", "-c:a aac -b:a 160k", "m4a"), 48000, 2, false},
      {mono, 44100, 1, true},
      {mp3At44k, 44100, 2, false},
  };
}

std::unique_ptr<SoundSamples> Open(const BeepRecipe& recipe) {
  const auto path = BeepMediaPath(recipe);
  if (path.empty()) return nullptr;
  std::string why;
  auto sound = OpenFfmpegSound(path, &why);
  EXPECT_TRUE(sound) << recipe.name << ": " << why;
  return sound;
}

std::vector<float> ReadSpan(SoundSamples& sound, int64_t first, int64_t count, bool* ok = nullptr) {
  std::vector<float> out(static_cast<size_t>(count) * kMixChannels, 123.0f);
  const bool read = sound.Read(first, count, out.data());
  if (ok != nullptr) *ok = read;
  return out;
}

// Reads the whole sound front to back in pieces of `piece` samples.
std::vector<float> ReadAll(SoundSamples& sound, int64_t piece) {
  const int64_t length = sound.Format().lengthSamples;
  std::vector<float> all(static_cast<size_t>(length) * kMixChannels);
  for (int64_t at = 0; at < length; at += piece) {
    const int64_t n = std::min(piece, length - at);
    EXPECT_TRUE(sound.Read(at, n, all.data() + at * kMixChannels)) << at;
  }
  return all;
}

TEST(SoundSource, BeepsSitAtTheirTimesInEveryFormat) {
  for (const FormatCase& c : FormatCases()) {
    SCOPED_TRACE(c.recipe.name);
    auto sound = Open(c.recipe);
    if (!sound) continue;
    const SoundFormat format = sound->Format();
    EXPECT_EQ(format.sourceRate, c.rate);
    EXPECT_EQ(format.sourceChannels, c.channels);
    const int64_t expected = static_cast<int64_t>(c.recipe.durationSeconds * kMixRate);
    if (c.lossless) {
      EXPECT_EQ(format.lengthSamples, expected);
    } else {
      EXPECT_NEAR(format.lengthSamples, expected, kMixRate / 20);  // lossy: within a frame or so
    }
    const std::vector<float> all = ReadAll(*sound, 4801);
    const std::vector<float> left = LeftChannel(all);
    for (double at : c.recipe.beepSeconds) {
      EXPECT_NEAR(FindBeep(left, 1000.0, c.recipe.beepMs, at - 0.25, at + 0.25), at, kOneMs)
          << "beep at " << at;
    }
    // Both channels carry the beep (mono is spread to both).
    std::vector<float> right(left.size());
    for (size_t i = 0; i < right.size(); ++i) right[i] = all[2 * i + 1];
    EXPECT_NEAR(FindBeep(right, 1000.0, c.recipe.beepMs, 0.75, 1.25), 1.0, kOneMs);
  }
}

TEST(SoundSource, AgreesWithTheFfmpegCommandOnALosslessFile) {
  auto sound = Open(SoundOnly("Wav", "-c:a pcm_s16le", "wav"));
  ASSERT_TRUE(sound);
  const std::vector<float> reference =
      testing::DecodedSound(BeepMediaPath(SoundOnly("Wav", "-c:a pcm_s16le", "wav")));
  const std::vector<float> ours = ReadAll(*sound, 48000);
  ASSERT_EQ(ours.size(), reference.size());
  EXPECT_TRUE(ours == reference);
}

// A long lossless sound (more blocks than the cache holds) read in a shuffled order of spans of
// every size, crossing blocks, equals the same sound read front to back, sample for sample.
TEST(SoundSource, RandomReadsEqualSequentialReadsForLosslessSources) {
  for (std::string extension : {"wav", "flac", "avi"}) {
    BeepRecipe r = extension == "avi" ? WithPicture("LongPcmAvi", "-c:a pcm_s16le", "avi")
                   : extension == "wav" ? SoundOnly("LongWav", "-c:a pcm_s16le", "wav")
                                        : SoundOnly("LongFlac", "-c:a flac", "flac");
    r.durationSeconds = 20;
    r.beepSeconds = {0.5, 3.3, 7.7, 12.1, 19.2};
    SCOPED_TRACE(r.name);
    auto sequential = Open(r);
    auto random = Open(r);
    if (!sequential || !random) continue;
    const std::vector<float> all = ReadAll(*sequential, 1000);
    // The sound is there, not silence.
    EXPECT_NEAR(FindBeep(LeftChannel(all), 1000.0, r.beepMs, 12.0, 12.3), 12.1, kOneMs);

    const int64_t length = random->Format().lengthSamples;
    ASSERT_EQ(length, sequential->Format().lengthSamples);
    std::mt19937_64 rng(20261209);
    std::uniform_int_distribution<int64_t> at(-1000, length + 1000);
    std::uniform_int_distribution<int64_t> size(1, 3 * kSoundBlockSamples);
    int mismatches = 0;
    for (int i = 0; i < 60 && mismatches == 0; ++i) {
      const int64_t first = at(rng);
      const int64_t count = size(rng);
      const std::vector<float> got = ReadSpan(*random, first, count);
      for (int64_t k = 0; k < count && mismatches == 0; ++k) {
        const int64_t n = first + k;
        for (int ch = 0; ch < kMixChannels; ++ch) {
          const float want =
              n >= 0 && n < length ? all[static_cast<size_t>(n * kMixChannels + ch)] : 0.0f;
          if (got[static_cast<size_t>(k * kMixChannels + ch)] != want) {
            ++mismatches;
            ADD_FAILURE() << "read " << first << " + " << count << ": sample " << n << " channel "
                          << ch << " is " << got[k * kMixChannels + ch] << ", front to back "
                          << want;
          }
        }
      }
    }
  }
}

// Two threads reading one source at once (playback and export) each get what a reader alone
// gets.
TEST(SoundSource, ReadsFromTwoThreadsAtOnceGetTheSameSamples) {
  BeepRecipe r = SoundOnly("ThreadsFlac", "-c:a flac", "flac");
  r.durationSeconds = 15;
  auto reference = Open(r);
  auto shared = Open(r);
  ASSERT_TRUE(reference && shared);
  const std::vector<float> all = ReadAll(*reference, 7000);
  const int64_t length = shared->Format().lengthSamples;
  std::atomic<int> mismatches{0};
  auto reader = [&](uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int64_t> at(0, length - 1);
    for (int i = 0; i < 40; ++i) {
      const int64_t first = at(rng);
      const int64_t count = std::min<int64_t>(length - first, 9000);
      std::vector<float> got(static_cast<size_t>(count) * kMixChannels);
      shared->Read(first, count, got.data());
      if (!std::equal(got.begin(), got.end(), all.begin() + first * kMixChannels)) ++mismatches;
    }
  };
  std::thread a(reader, 1);
  std::thread b(reader, 2);
  a.join();
  b.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// Lossy sources read backwards (every read a seek) still find their beeps in place.
TEST(SoundSource, SeekingKeepsLossyBeepsInPlace) {
  for (const FormatCase& c : FormatCases()) {
    if (c.lossless) continue;
    BeepRecipe r = c.recipe;
    r.name = "Long" + r.name;
    r.durationSeconds = 30;
    r.beepSeconds = {2.2, 5.35, 9.9, 17.45, 27.1};
    SCOPED_TRACE(r.name);
    auto sound = Open(r);
    if (!sound) continue;
    for (auto it = r.beepSeconds.rbegin(); it != r.beepSeconds.rend(); ++it) {
      const int64_t first = static_cast<int64_t>((*it - 0.3) * kMixRate);
      const std::vector<float> span = ReadSpan(*sound, first, kMixRate * 6 / 10);
      const double found = FindBeep(LeftChannel(span), 1000.0, r.beepMs, 0.0, 0.6);
      EXPECT_NEAR(found + static_cast<double>(first) / kMixRate, *it, kOneMs) << *it;
    }
  }
}

TEST(SoundSource, OutsideTheSoundIsSilence) {
  auto sound = Open(SoundOnly("Wav", "-c:a pcm_s16le", "wav"));
  ASSERT_TRUE(sound);
  const int64_t length = sound->Format().lengthSamples;
  // Before 0 and after the end: zeros, and the read still succeeds.
  bool ok = false;
  std::vector<float> before = ReadSpan(*sound, -5000, 5000, &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](float v) { return v == 0.0f; }));
  std::vector<float> after = ReadSpan(*sound, length + 10, 70000, &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](float v) { return v == 0.0f; }));
  // A span across time 0 holds the beep-free start of the sound after the silence; a span over
  // the beep and across the start gives the beep where it belongs.
  std::vector<float> across = ReadSpan(*sound, -48000, 3 * 48000);
  EXPECT_NEAR(FindBeep(LeftChannel(across), 1000.0, 30.0, 1.5, 2.5), 2.0, kOneMs);
  // Zero samples ask for nothing and touch nothing.
  float untouched = 7.0f;
  EXPECT_TRUE(sound->Read(100, 0, &untouched));
  EXPECT_EQ(untouched, 7.0f);
}

TEST(SoundSource, MovieTimeZeroIsTheFirstPicture) {
  // The sound starts half a second after the picture: it is preceded by silence, and the beep
  // made at 1 s of the sound's own time is heard at 1.5 s of the movie's.
  BeepRecipe late = WithPicture("LateSoundMkv", "-c:a flac", "mkv");
  late.audioOffsetSeconds = 0.5;
  auto sound = Open(late);
  ASSERT_TRUE(sound);
  const std::vector<float> all = ReadAll(*sound, 9000);
  const std::vector<float> left = LeftChannel(all);
  EXPECT_NEAR(FindBeep(left, 1000.0, late.beepMs, 1.25, 1.75), 1.5, kOneMs);
  EXPECT_NEAR(static_cast<double>(sound->Format().lengthSamples) / kMixRate, 4.5, 0.05);

  // The picture starts half a second after the sound: the first half second is dropped.
  BeepRecipe early = WithPicture("EarlySoundMkv", "-c:a flac", "mkv");
  early.audioOffsetSeconds = -0.5;
  sound = Open(early);
  ASSERT_TRUE(sound);
  const std::vector<float> left2 = LeftChannel(ReadAll(*sound, 9000));
  EXPECT_NEAR(FindBeep(left2, 1000.0, early.beepMs, 0.25, 0.75), 0.5, kOneMs);
}

TEST(SoundSource, FilesWithoutUsableSoundGiveNoSourceAndAReason) {
  testing::TempFolder folder;
  const auto text = folder.Path() / "notes.txt";
  std::ofstream(text) << "not a sound at all\n";
  const auto garbage = folder.Path() / "noise.mp3";
  {
    std::ofstream out(garbage, std::ios::binary);
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) out.put(static_cast<char>(rng() & 0x7F));
  }
  // A WAV cut off right after its header: the format is known, no sample is there.
  const auto wav = BeepMediaPath(SoundOnly("Wav", "-c:a pcm_s16le", "wav"));
  ASSERT_FALSE(wav.empty());
  const auto headerOnly = folder.Path() / "header.wav";
  {
    std::ifstream in(wav, std::ios::binary);
    std::vector<char> bytes(44);
    in.read(bytes.data(), 44);
    std::ofstream(headerOnly, std::ios::binary).write(bytes.data(), 44);
  }
  const auto silentMovie = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(silentMovie.empty());
  for (const auto& path : {text, garbage, headerOnly, silentMovie, folder.Path() / "missing.wav",
                           folder.Path()}) {
    std::string why;
    EXPECT_EQ(OpenFfmpegSound(path, &why), nullptr) << path;
    EXPECT_FALSE(why.empty()) << path;
  }
  std::string why;
  EXPECT_EQ(OpenFfmpegSound(silentMovie, &why), nullptr);
  EXPECT_EQ(why, "the file holds no sound");
  EXPECT_EQ(OpenFfmpegSound(text, nullptr), nullptr);  // no reason wanted: none written
}

TEST(SoundSource, CutFilesOpenWhatIsThereAndNeverReadOutside) {
  testing::TempFolder folder;
  for (const FormatCase& c : FormatCases()) {
    const auto path = BeepMediaPath(c.recipe);
    if (path.empty()) continue;
    SCOPED_TRACE(c.recipe.name);
    const auto cut = folder.Path() / ("cut-" + path.filename().string());
    {
      std::ifstream in(path, std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
      bytes.resize(bytes.size() * 6 / 10);
      std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string why;
    auto sound = OpenFfmpegSound(cut, &why);
    if (!sound) {
      EXPECT_FALSE(why.empty());
      continue;
    }
    // Whatever it holds reads, in any order, within the buffer it is given.
    const int64_t length = sound->Format().lengthSamples;
    EXPECT_LE(length, static_cast<int64_t>(c.recipe.durationSeconds * kMixRate) + kMixRate / 10);
    for (int64_t first : {length - 1000, int64_t{0}, length / 2, length + 5}) {
      std::vector<float> span(2 * 3000 + 2, 55.0f);
      sound->Read(first, 3000, span.data());
      EXPECT_EQ(span[6000], 55.0f);
      EXPECT_EQ(span[6001], 55.0f);
    }
  }
}

TEST(SoundSource, TheCacheStaysWithinItsLimitOnALongFile) {
  BeepRecipe r = SoundOnly("TenMinutes", "-c:a pcm_s16le", "wav");
  r.durationSeconds = 600;
  r.channels = 1;
  r.beepSeconds = {1.0, 300.0, 599.0};
  auto sound = Open(r);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->Format().lengthSamples, 600 * kMixRate);
  const size_t limit = static_cast<size_t>(kSoundCacheBlocks) * kSoundBlockSamples * kMixChannels *
                       sizeof(float);
  EXPECT_EQ(CachedSoundBytes(*sound), 0u);
  // Near the end first: the beep is placed to the sample, with no drift over ten minutes.
  const int64_t first = 598 * kMixRate;
  const std::vector<float> end = LeftChannel(ReadSpan(*sound, first, 2 * kMixRate));
  const double found = FindBeep(end, 1000.0, r.beepMs, 0.5, 1.5) + 598.0;
  EXPECT_NEAR(found, 599.0, 0.5 / kMixRate);
  // The sound one second at a time, front to back: the cache holds at most its blocks.
  std::vector<float> second(2 * kMixRate);
  size_t most = 0;
  for (int64_t s = 0; s < 600; s += 3) {
    ASSERT_TRUE(sound->Read(s * kMixRate, kMixRate, second.data()));
    most = std::max(most, CachedSoundBytes(*sound));
  }
  EXPECT_GT(most, 0u);
  EXPECT_LE(most, limit);
  // Another kind of source holds no cache to report.
  struct Silent : SoundSamples {
    SoundFormat Format() const override { return {}; }
    bool Read(int64_t, int64_t, float*) override { return true; }
  } silent;
  EXPECT_EQ(CachedSoundBytes(silent), 0u);
}

}  // namespace
}  // namespace tavrona
