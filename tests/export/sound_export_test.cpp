// Exports that carry the mix: beeps of synthetic slot sound found again in the written files
// (decoded by the ffmpeg command), in every container and sound codec, whole and in parts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/export_part.h"
#include "export/project_export.h"
#include "export/sound_stream.h"
#include "export_test_support.h"
#include "render/mix.h"
#include "sound_media.h"
#include "synthetic_sound.h"

namespace tavrona {
namespace {

using testing::DecodedSound;
using testing::DominantHz;
using testing::FindAllBeeps;
using testing::FindBeep;
using testing::LeftChannel;
using testing::PeakIn;
using testing::SoundEvent;
using testing::SyntheticSound;
using testing::Tone;

constexpr double kMs = 0.001;

class SoundExportTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);
    project_->outputWidth = 8;
    project_->outputHeight = 4;
    project_->SetFrameRate(25.0);
    project_->movieLength = 100;  // 4 s
  }

  void Place(int track, std::vector<EventRecord> events) {
    ASSERT_TRUE(InsertSorted(project_->tracks[static_cast<size_t>(track)],
                             static_cast<uint32_t>(events.size()), events.data()));
  }
  int64_t D() const { return project_->frameDuration100ns; }

  ExportResult Export(const std::string& name, const std::string& codec = "raw",
                      const std::string& soundCodec = {}) {
    ExportRunOptions options;
    options.codec = codec;
    options.soundCodec = soundCodec;
    return ExportProject(*project_, Path16(name), nullptr, options);
  }
  std::vector<float> Left(const std::string& name) {
    return LeftChannel(DecodedSound(PathOf(name)));
  }

  // The mix of the whole project as 16-bit PCM holds it, interleaved.
  std::vector<float> MixAsPcm() {
    std::vector<float> mix;
    EXPECT_TRUE(MixFrames(*project_, 0, project_->movieLength, mix));
    for (float& x : mix) x = SoundSampleToS16(x) / 32768.0f;
    return mix;
  }

  std::unique_ptr<ProjectData> project_;
};

// Two events on one track at speed 1: source beeps at 0.5, 1.0, 2.0 and 2.5 s; event A from
// frame 10 (0.4 s) plays the source from 0.3 s, event B from frame 50 (2.0 s) from 2.4 s.
void PlaceTwoEvents(ProjectData& project) {
  testing::PutSoundInSlot(project, 5,
                          SyntheticSound::Beeps({0.5, 1.0, 2.0, 2.5}, 30, 1000, 0.5f, 6));
  const int64_t d = project.frameDuration100ns;
  EventRecord events[] = {SoundEvent(10, 5, 3'000'000, d), SoundEvent(50, 5, 24'000'000, d)};
  ASSERT_TRUE(InsertSorted(project.tracks[0], 2, events));
}

struct ContainerCase {
  const char* file;
  const char* codec;
  const char* sound;  // empty: the container's default
  bool lossless;
};

class SoundExportContainerTest : public SoundExportTest,
                                 public ::testing::WithParamInterface<ContainerCase> {};

TEST_P(SoundExportContainerTest, BeepsLandWhereTheEventsPutThemAndLastAsLongAsThePictures) {
  const ContainerCase& c = GetParam();
  PlaceTwoEvents(*project_);
  ASSERT_EQ(Export(c.file, c.codec, c.sound), ExportResult::Done)
      << project_->exportWriter->ErrorText();
  // Lossy sound is decoded as a player places it (AAC's priming in Matroska lies before 0).
  const std::vector<float> left =
      c.lossless ? Left(c.file) : LeftChannel(testing::DecodedSoundOnTimeline(PathOf(c.file)));
  const int64_t expected = FrameStartSample(100, D());  // 4 s
  if (c.lossless) {
    EXPECT_EQ(static_cast<int64_t>(left.size()), expected);
  } else {
    EXPECT_LE(std::abs(static_cast<int64_t>(left.size()) - expected), 1024);
  }
  const std::vector<double> beeps = FindAllBeeps(left, 1000, 30);
  ASSERT_EQ(beeps.size(), 3u) << c.file;
  EXPECT_NEAR(beeps[0], 0.6, 1 * kMs);
  EXPECT_NEAR(beeps[1], 1.1, 1 * kMs);
  EXPECT_NEAR(beeps[2], 2.1, 1 * kMs);
  // Lossless sound is the mix itself, to 16-bit rounding.
  if (c.lossless) {
    const std::vector<float> mix = LeftChannel(MixAsPcm());
    ASSERT_EQ(left.size(), mix.size());
    for (size_t i = 0; i < mix.size(); ++i) ASSERT_EQ(left[i], mix[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, SoundExportContainerTest,
                         ::testing::Values(ContainerCase{"pcm.avi", "raw", "", true},
                                           ContainerCase{"flac.mkv", "ffv1", "", true},
                                           ContainerCase{"pcm.mov", "raw", "pcm", true},
                                           ContainerCase{"aac.mp4", "mjpeg", "", false},
                                           ContainerCase{"aac.mkv", "ffv1", "aac", false},
                                           ContainerCase{"aac.mov", "raw", "aac", false}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

TEST_F(SoundExportTest, SourcePositionsAndStartsMoveTheBeeps) {
  testing::PutSoundInSlot(*project_, 7, SyntheticSound::Beeps({1.0}, 20, 2000, 0.4f, 10));
  // The same source beep at 1.0 s through events at frames 0, 33 and 71 from positions 0.75,
  // 0.1 and 0.99 s: heard at 0.25, 1.32 + 0.9 and 2.84 + 0.01 s.
  Place(0, {SoundEvent(0, 7, 7'500'000, D()), SoundEvent(30, 7, 0, 0)});
  Place(1, {SoundEvent(33, 7, 1'000'000, D()), SoundEvent(70, 7, 0, 0)});
  Place(2, {SoundEvent(71, 7, 9'900'000, D())});
  ASSERT_EQ(Export("moved.avi"), ExportResult::Done);
  const std::vector<double> beeps = FindAllBeeps(Left("moved.avi"), 2000, 20);
  ASSERT_EQ(beeps.size(), 3u);
  EXPECT_NEAR(beeps[0], 0.25, 1 * kMs);
  EXPECT_NEAR(beeps[1], 2.22, 1 * kMs);
  EXPECT_NEAR(beeps[2], 2.85, 1 * kMs);
}

TEST_F(SoundExportTest, RatePlaysFasterOrSlowerWithThePitch) {
  // Beeps at 1.0 and 1.4 s, a 500 Hz tone from 1.5 to 1.75 s.
  auto sound = std::make_unique<SyntheticSound>(
      std::vector<Tone>{
          {48000, 1440, 1000, 0.5f}, {67200, 1440, 1000, 0.5f}, {72000, 12000, 500, 0.5f}},
      10 * 48000);
  testing::PutSoundInSlot(*project_, 2, std::move(sound));
  // Twice as fast from frame 0 (source from 0.8 s), half as fast from frame 50 (from 1.0 s).
  Place(0, {SoundEvent(0, 2, 8'000'000, 2 * D()), SoundEvent(50, 2, 10'000'000, D() / 2)});
  ASSERT_EQ(Export("rate.avi"), ExportResult::Done);
  const std::vector<float> left = Left("rate.avi");
  // 2x: source 1.0 and 1.4 s at 0.1 and 0.3 s, 15 ms of 2000 Hz; the tone at 0.35-0.475 s.
  EXPECT_NEAR(FindBeep(left, 2000, 15, 0.0, 0.2), 0.1, 1 * kMs);
  EXPECT_NEAR(FindBeep(left, 2000, 15, 0.2, 0.34), 0.3, 1 * kMs);
  EXPECT_NEAR(DominantHz(left, 0.36, 0.47, 200, 2000), 1000, 3);
  // 0.5x: source 1.0 and 1.4 s at 2.0 and 2.8 s, 60 ms of 500 Hz; the tone at 3.0-3.5 s.
  EXPECT_NEAR(FindBeep(left, 500, 60, 1.9, 2.5), 2.0, 1 * kMs);
  EXPECT_NEAR(FindBeep(left, 500, 60, 2.5, 2.95), 2.8, 1 * kMs);
  EXPECT_NEAR(DominantHz(left, 3.02, 3.48, 100, 1000), 250, 3);
}

TEST_F(SoundExportTest, RateZeroMutedAndQuieterTracks) {
  testing::PutSoundInSlot(
      *project_, 1,
      std::make_unique<SyntheticSound>(std::vector<Tone>{{0, 48000 * 10, 700, 0.6f}}, 48000 * 10));
  // Track 0: rate 0 over frames 0-24 (a still: silent), then speed 1 at full volume over
  // 25-49. Track 1 (muted) over 50-74; track 2 at -6 dB over 75-99.
  Place(0, {SoundEvent(0, 1, 0, 0), SoundEvent(25, 1, 0, D()), SoundEvent(50, 1, 0, 0)});
  Place(1, {SoundEvent(50, 1, 0, D()), SoundEvent(75, 1, 0, 0)});
  Place(2, {SoundEvent(75, 1, 0, D())});
  project_->trackSound[1].muted = true;
  project_->trackSound[2].volumeDb = -6.0206f;
  ASSERT_EQ(Export("levels.avi"), ExportResult::Done);
  const std::vector<float> left = Left("levels.avi");
  EXPECT_EQ(PeakIn(left, 0.0, 1.0), 0.0f);
  const float full = PeakIn(left, 1.1, 1.9);
  EXPECT_NEAR(full, 0.6f, 0.001f);
  EXPECT_EQ(PeakIn(left, 2.0, 3.0), 0.0f);
  EXPECT_NEAR(PeakIn(left, 3.1, 3.9) / full, 0.5f, 0.002f);
}

TEST_F(SoundExportTest, OverlappingTracksAreSummed) {
  testing::PutSoundInSlot(
      *project_, 1,
      std::make_unique<SyntheticSound>(std::vector<Tone>{{0, 48000 * 10, 600, 0.3f}}, 48000 * 10));
  testing::PutSoundInSlot(*project_, 2,
                          std::make_unique<SyntheticSound>(
                              std::vector<Tone>{{0, 48000 * 10, 1500, 0.25f}}, 48000 * 10));
  Place(0, {SoundEvent(0, 1, 0, D())});
  Place(3, {SoundEvent(25, 2, 0, D()), SoundEvent(75, 2, 0, 0)});
  ASSERT_EQ(Export("sum.mkv", "ffv1"), ExportResult::Done);
  const std::vector<float> left = Left("sum.mkv");
  EXPECT_EQ(DominantHz(left, 0.2, 0.9, 100, 3000), 600);
  EXPECT_EQ(DominantHz(left, 3.2, 3.9, 100, 3000), 600);
  EXPECT_EQ(DominantHz(left, 1.2, 2.9, 1000, 3000), 1500);
  EXPECT_EQ(DominantHz(left, 1.2, 2.9, 100, 1000), 600);
  // Both at once: sample for sample the sum of the two sines (16-bit rounding aside).
  for (int64_t n = 48000 * 6 / 5; n < 48000 * 29 / 10; n += 97) {
    const double t = static_cast<double>(n) / 48000;
    const double sum =
        0.3 * std::sin(2 * M_PI * 600 * t) + 0.25 * std::sin(2 * M_PI * 1500 * (t - 1.0));
    ASSERT_NEAR(left[static_cast<size_t>(n)], sum, 1.0 / 32768 + 1e-5) << n;
  }
}

TEST_F(SoundExportTest, CutBetweenTwoEventsFadesInsteadOfStepping) {
  // One 440 Hz tone played from two places: the cut at frame 40 jumps to another phase.
  testing::PutSoundInSlot(
      *project_, 1,
      std::make_unique<SyntheticSound>(std::vector<Tone>{{0, 48000 * 10, 440, 0.8f}}, 48000 * 10));
  Place(0, {SoundEvent(0, 1, 0, D()), SoundEvent(40, 1, 51'234, D())});
  ASSERT_EQ(Export("cut.avi"), ExportResult::Done);
  const std::vector<float> left = Left("cut.avi");
  // The tone's own steepest step, plus what a 4 ms fade of its amplitude adds a sample, plus
  // 16-bit rounding.
  const double toneStep = 0.8 * 2 * M_PI * 440 / 48000;
  const double allowed = toneStep + 0.8 / kMixFadeSamples + 2.0 / 32768;
  double largest = 0;
  for (size_t i = 1; i < left.size(); ++i) {
    largest = std::max(largest, static_cast<double>(std::abs(left[i] - left[i - 1])));
  }
  EXPECT_LE(largest, allowed);
  // The fade reaches silence at the cut: the tone is quiet there, and full again after.
  const size_t cut = static_cast<size_t>(FrameStartSample(40, D()));
  EXPECT_LT(std::abs(left[cut]), 0.8f / kMixFadeSamples * 2);
  EXPECT_NEAR(PeakIn(left, 1.7, 1.9), 0.8f, 0.001f);
}

TEST_F(SoundExportTest, TenMinutesAt2997DoNotDrift) {
  project_->outputWidth = 2;
  project_->outputHeight = 2;
  project_->SetFrameRate(29.97);
  project_->movieLength = 17982;  // 600 s
  // Beeps at 30, 300 and 599 s of the source, played from frame 1 (0.0333667 s) at position
  // 0.1 s: heard 0.0666333 s earlier.
  testing::PutSoundInSlot(*project_, 4, SyntheticSound::Beeps({30, 300, 599}, 10, 3000, 0.5f, 601));
  Place(0, {SoundEvent(1, 4, 1'000'000, D())});
  ASSERT_EQ(Export("long.mkv", "ffv1"), ExportResult::Done);
  const std::vector<float> left = Left("long.mkv");
  EXPECT_EQ(static_cast<int64_t>(left.size()), FrameStartSample(17982, D()));
  // The first output sample whose source time reaches the beep's start, exactly.
  for (double source : {30.0, 300.0, 599.0}) {
    const __int128 num = (static_cast<__int128>(source * 10'000'000) - 1'000'000 + D()) * 48000;
    const double exact = static_cast<double>((num + 10'000'000 - 1) / 10'000'000);
    const double found = FindBeep(left, 3000, 10, source - 0.2, source + 0.1);
    EXPECT_NEAR(found * 48000, exact, 1.0) << source;
  }
}

TEST_F(SoundExportTest, NoAudioAndSilentProjectsWriteTheSameBytesAsBefore) {
  ASSERT_EQ(Export("silent.avi"), ExportResult::Done);
  PlaceTwoEvents(*project_);
  ExportRunOptions options;
  options.sound = false;
  ASSERT_EQ(ExportProject(*project_, Path16("no-audio.avi"), nullptr, options), ExportResult::Done);
  EXPECT_EQ(testing::ReadFileBytes(PathOf("silent.avi")),
            testing::ReadFileBytes(PathOf("no-audio.avi")));
  EXPECT_TRUE(DecodedSound(PathOf("no-audio.avi")).empty());
  // A slot with sound that no event plays still gives the file a (silent) sound stream.
  ASSERT_EQ(Export("sound.avi"), ExportResult::Done);
  EXPECT_NE(testing::ReadFileBytes(PathOf("silent.avi")),
            testing::ReadFileBytes(PathOf("sound.avi")));
}

TEST_F(SoundExportTest, PipelinedAndSequentialWritesGiveTheSameBytes) {
  PlaceTwoEvents(*project_);
  for (const char* codec : {"raw", "mjpeg"}) {
    // Not Matroska: its muxer gives every file fresh random identifiers.
    for (const char* file : {"a.avi", "a.mp4", "a.mov"}) {
      const std::string container = file;
      if (std::string(codec) == "raw" && container == "a.mp4") continue;
      ExportRunOptions options;
      options.codec = codec;
      options.pipelined = true;
      ASSERT_EQ(ExportProject(*project_, Path16(std::string("p") + file), nullptr, options),
                ExportResult::Done);
      options.pipelined = false;
      ASSERT_EQ(ExportProject(*project_, Path16(std::string("s") + file), nullptr, options),
                ExportResult::Done);
      EXPECT_EQ(testing::ReadFileBytes(PathOf(std::string("p") + file)),
                testing::ReadFileBytes(PathOf(std::string("s") + file)))
          << codec << " " << file;
    }
  }
}

// The writer's contract: with a sound stream, every frame needs its sound first; without one,
// sound is refused.
TEST_F(SoundExportTest, AFrameWithoutItsSoundIsRefused) {
  for (bool pipelined : {false, true}) {
    AviWriter writer;
    writer.SetPipelined(pipelined);
    InitAviWriter(writer);
    ASSERT_TRUE(ChooseSoundCodec(writer, "pcm"));
    EXPECT_FALSE(ChooseSoundCodec(writer, "nonesuch"));
    EXPECT_EQ(writer.SoundCodecName(), "pcm");
    FrameBuffer frame;
    ASSERT_TRUE(CreateFrameBuffer(frame, 4, 2));
    ASSERT_TRUE(OpenAviStream(writer, Path16("w.avi"), frame.header, 25, 1));
    EXPECT_TRUE(writer.HasSound());
    EXPECT_FALSE(ChooseSoundCodec(writer, ""));  // not while a stream is open
    const std::vector<float> samples(2 * 1920, 0.25f);
    EXPECT_FALSE(WriteAviFrame(writer, 0, frame.pixels, frame.byteSize, nullptr));
    EXPECT_FALSE(WriteAviSound(writer, 1, samples.data(), 1920));  // not the next frame
    ASSERT_TRUE(WriteAviSound(writer, 0, samples.data(), 1920));
    ASSERT_TRUE(WriteAviFrame(writer, 0, frame.pixels, frame.byteSize, nullptr));
    EXPECT_FALSE(WriteAviFrame(writer, 1, frame.pixels, frame.byteSize, nullptr));
    ASSERT_TRUE(WriteAviSound(writer, 1, samples.data(), 1920));
    ASSERT_TRUE(WriteAviFrame(writer, 1, frame.pixels, frame.byteSize, nullptr));
    ASSERT_TRUE(CloseAviWriter(writer));
    EXPECT_EQ(writer.FramesStored(), 2u);  // pictures only
    EXPECT_EQ(writer.SoundCodecName(), "");
    const std::vector<float> decoded = DecodedSound(PathOf("w.avi"));
    ASSERT_EQ(decoded.size(), 2u * 3840);
    EXPECT_EQ(decoded.front(), SoundSampleToS16(0.25f) / 32768.0f);

    // Without a sound codec there is no sound to hand in.
    InitAviWriter(writer);
    ASSERT_TRUE(OpenAviStream(writer, Path16("v.avi"), frame.header, 25, 1));
    EXPECT_FALSE(writer.HasSound());
    EXPECT_FALSE(WriteAviSound(writer, 0, samples.data(), 1920));
    ASSERT_TRUE(CloseAviWriter(writer));
  }
}

TEST_F(SoundExportTest, UnofferedSoundCodecsAreRefusedBeforeWriting) {
  PlaceTwoEvents(*project_);
  EXPECT_EQ(Export("x.avi", "raw", "aac"), ExportResult::UnknownSoundCodec);
  EXPECT_EQ(Export("x.mp4", "mjpeg", "pcm"), ExportResult::UnknownSoundCodec);
  EXPECT_EQ(Export("x.mkv", "ffv1", "alac"), ExportResult::UnknownSoundCodec);
  EXPECT_FALSE(std::filesystem::exists(PathOf("x.avi")));
  EXPECT_FALSE(std::filesystem::exists(PathOf("x.mp4")));
}

TEST(SoundCodecListTest, DefaultsFirstAndPartsCarryLosslessSound) {
  const auto names = [](OutputContainer c) {
    std::vector<std::string> out;
    for (const SoundCodec& s : ListSoundCodecs(c)) out.push_back(s.name);
    return out;
  };
  EXPECT_EQ(names(OutputContainer::Avi), std::vector<std::string>({"pcm"}));
  EXPECT_EQ(names(OutputContainer::Mp4), std::vector<std::string>({"aac"}));
  EXPECT_EQ(names(OutputContainer::Mkv), std::vector<std::string>({"flac", "aac"}));
  EXPECT_EQ(names(OutputContainer::Mov), std::vector<std::string>({"pcm", "aac"}));
  EXPECT_EQ(PartSoundCodec("aac", OutputContainer::Mp4), "alac");
  EXPECT_EQ(PartSoundCodec("aac", OutputContainer::Mkv), "flac");
  EXPECT_EQ(PartSoundCodec("aac", OutputContainer::Mov), "pcm");
  EXPECT_EQ(PartSoundCodec("flac", OutputContainer::Mkv), "flac");
  EXPECT_EQ(PartSoundCodec("nonesuch", OutputContainer::Mkv), "");
}

TEST(SoundSampleTest, FloatBecomesSixteenBitsRoundedAndClamped) {
  EXPECT_EQ(SoundSampleToS16(0.0f), 0);
  EXPECT_EQ(SoundSampleToS16(1.0f), 32767);
  EXPECT_EQ(SoundSampleToS16(-1.0f), -32768);
  EXPECT_EQ(SoundSampleToS16(7.5f), 32767);
  EXPECT_EQ(SoundSampleToS16(-7.5f), -32768);
  EXPECT_EQ(SoundSampleToS16(0.5f / 32768), 0);  // half to even
  EXPECT_EQ(SoundSampleToS16(1.5f / 32768), 2);
  EXPECT_EQ(SoundSampleToS16(-1.5f / 32768), -2);
  EXPECT_EQ(SoundSampleToS16(0.6f / 32768), 1);
  EXPECT_EQ(SoundSampleToS16(std::nanf("")), 0);
  for (int s = -32768; s < 32768; s += 7) EXPECT_EQ(SoundSampleToS16(s / 32768.0f), s);
}

// ---- parts -----------------------------------------------------------------------------------

TEST(SoundPartCommentTest, SoundIsRecordedOnlyWhenThereIsSomeAndReadsBack) {
  const std::string digest(64, 'c');
  EXPECT_EQ(PartComment(ExportRange{0, 9}, 10, digest, PartSound{}),
            PartComment(ExportRange{0, 9}, 10, digest));
  for (const std::string& d : {std::string(), digest}) {
    const std::string comment = PartComment(ExportRange{3, 9}, 10, d, PartSound{"aac", 9601});
    const auto mark = ParsePartComment(comment);
    ASSERT_TRUE(mark) << comment;
    EXPECT_EQ(mark->digest, d);
    EXPECT_EQ(mark->sound.codec, "aac");
    EXPECT_EQ(mark->sound.samples, 9601);
    EXPECT_EQ(mark->range.first, 3u);
  }
  const std::string base = "tavrona part frames=0-1 length=10";
  for (const std::string& bad : {base + " sound=", base + " sound=aac",
                                 base + " sound=aac samples=", base + " sound=aac samples=-4",
                                 base + " sound=aac samples=4 ", base + " samples=4",
                                 base + " sound=aac samples=4 digest=" + digest}) {
    EXPECT_FALSE(ParsePartComment(bad)) << bad;
  }
}

TEST(SoundPartCommentTest, APartOfOtherSoundIsNotInItsPlace) {
  PartInfo part;
  part.first = 0;
  part.last = 9;
  part.projectLength = 10;
  part.framesPresent = 10;
  part.codec = "rawvideo";
  part.container = "avi";
  part.sound = PartSound{"pcm", 4000};
  part.soundReach = 4000;
  PartRequirement place;
  place.projectLength = 10;
  place.last = 9;
  place.codec = "rawvideo";
  place.container = "avi";
  place.sound = "pcm";
  EXPECT_EQ(CheckPart(part, place).fault, PartFault::None) << CheckPart(part, place).detail;
  place.sound.clear();
  EXPECT_EQ(CheckPart(part, place).fault, PartFault::Sound);
  EXPECT_EQ(CheckPart(part, place).detail, "sound pcm, not none");
}

class SoundPartTest : public SoundExportTest {
 protected:
  // Exports the project in `count` parts (PlanFrameRanges) and joins them into `joined`.
  void ExportInParts(const std::string& stem, const std::string& extension, uint32_t count,
                     const std::string& codec, const std::string& joined) {
    std::vector<std::string> parts;
    const auto ranges = PlanFrameRanges(project_->movieLength, count, 1);
    ASSERT_EQ(ranges.size(), count);
    for (size_t i = 0; i < ranges.size(); ++i) {
      ExportRunOptions options;
      options.codec = codec;
      options.range = ranges[i];
      parts.push_back(PathOf(stem + std::to_string(i) + extension));
      ASSERT_EQ(ExportProject(*project_, FromUtf8(parts.back()), nullptr, options),
                ExportResult::Done);
    }
    std::string why;
    ASSERT_TRUE(JoinParts(parts, PathOf(joined), &why)) << why;
  }
};

TEST_F(SoundPartTest, LosslessPartsJoinToTheWholeExportsSoundSampleForSample) {
  project_->movieLength = 97;  // parts of unequal lengths, seams inside beeps
  testing::PutSoundInSlot(
      *project_, 5, SyntheticSound::Beeps({0.1, 0.55, 1.2, 1.6, 2.3, 3.3}, 300, 800, 0.5f, 6));
  Place(0, {SoundEvent(0, 5, 0, D())});
  Place(1, {SoundEvent(17, 5, 3'330'000, D() * 3 / 2)});
  for (const auto& [extension, codec] :
       std::vector<std::pair<std::string, std::string>>{{".avi", "raw"}, {".mkv", "ffv1"}}) {
    ASSERT_EQ(Export("whole" + extension, codec), ExportResult::Done);
    const std::vector<float> whole = DecodedSound(PathOf("whole" + extension));
    ASSERT_EQ(static_cast<int64_t>(whole.size()), 2 * FrameStartSample(97, D()));
    for (uint32_t count : {1u, 3u, 7u}) {
      const std::string joined = "joined" + std::to_string(count) + extension;
      ExportInParts("part" + std::to_string(count) + "-", extension, count, codec, joined);
      EXPECT_TRUE(DecodedSound(PathOf(joined)) == whole) << joined;
    }
  }
}

TEST_F(SoundPartTest, LossyPartsCarryLosslessSoundAndJoinWithoutGapsOrClicks) {
  project_->movieLength = 96;
  testing::PutSoundInSlot(
      *project_, 5,
      std::make_unique<SyntheticSound>(std::vector<Tone>{{0, 48000 * 10, 440, 0.4f},
                                                         {48000 / 2, 1440, 3000, 0.3f},
                                                         {48000 * 3 / 2, 1440, 3000, 0.3f},
                                                         {48000 * 3, 1440, 3000, 0.3f}},
                                       48000 * 10));
  Place(0, {SoundEvent(0, 5, 0, D())});
  ASSERT_EQ(Export("whole.mp4", "mjpeg"), ExportResult::Done);
  const std::vector<float> whole = LeftChannel(DecodedSound(PathOf("whole.mp4")));
  for (uint32_t count : {1u, 3u, 7u}) {
    const std::string joined = "joined" + std::to_string(count) + ".mp4";
    ExportInParts("part" + std::to_string(count) + "-", ".mp4", count, "mjpeg", joined);
    // A part records the joined file's codec and carries lossless sound of its samples.
    const std::string middle =
        PathOf("part" + std::to_string(count) + "-" + std::to_string(count / 2) + ".mp4");
    std::string why;
    const auto info = ReadPartInfo(middle, &why);
    ASSERT_TRUE(info) << why;
    EXPECT_EQ(info->sound.codec, "aac");
    EXPECT_EQ(info->sound.samples,
              FrameStartSample(info->last + 1, D()) - FrameStartSample(info->first, D()));
    const std::vector<float> part = DecodedSound(middle);
    std::vector<float> mix;
    ASSERT_TRUE(MixFrames(*project_, info->first, info->last + 1, mix));
    ASSERT_EQ(part.size(), mix.size());
    for (size_t i = 0; i < mix.size(); ++i) ASSERT_EQ(part[i], SoundSampleToS16(mix[i]) / 32768.0f);

    // Coded once over the seams from the very samples a whole export codes: the same sound.
    const std::vector<float> left = LeftChannel(DecodedSound(PathOf(joined)));
    ASSERT_EQ(left.size(), whole.size()) << joined;
    EXPECT_TRUE(left == whole) << joined;
    for (double at : {0.5, 1.5, 3.0}) {
      EXPECT_NEAR(FindBeep(left, 3000, 30, at - 0.1, at + 0.1), at, 1 * kMs) << joined;
    }
  }
}

// A part whose last sound packets, written after its last picture, were cut off by the end of
// the file holds every frame but is incomplete, and the join refuses it.
TEST_F(SoundPartTest, APartWhoseSoundIsCutShortIsIncomplete) {
  PlaceTwoEvents(*project_);
  ExportRunOptions options;
  options.codec = "ffv1";
  options.range = ExportRange{0, 49};
  ASSERT_EQ(ExportProject(*project_, Path16("a.mkv"), nullptr, options), ExportResult::Done);
  options.range = ExportRange{50, 99};
  ASSERT_EQ(ExportProject(*project_, Path16("b.mkv"), nullptr, options), ExportResult::Done);
  std::string why;
  auto whole = ReadPartInfo(PathOf("a.mkv"), &why);
  ASSERT_TRUE(whole) << why;
  EXPECT_TRUE(PartComplete(*whole));
  EXPECT_GE(whole->soundReach + 48, whole->sound.samples);
  EXPECT_LE(whole->soundReach, whole->sound.samples + 48);

  // Cut inside the last sound packet.
  FILE* probe = popen(
      ("ffprobe -v error -select_streams a -show_entries packet=pos -of csv=p=0 " + PathOf("a.mkv"))
          .c_str(),
      "r");
  ASSERT_NE(probe, nullptr);
  long long lastPos = -1, pos = 0;
  while (std::fscanf(probe, "%lld", &pos) == 1) lastPos = std::max(lastPos, pos);
  pclose(probe);
  ASSERT_GT(lastPos, 0);
  std::filesystem::resize_file(PathOf("a.mkv"), static_cast<uintmax_t>(lastPos) + 4);
  const auto cut = ReadPartInfo(PathOf("a.mkv"), &why);
  ASSERT_TRUE(cut) << why;
  EXPECT_EQ(cut->framesPresent, 50u);
  EXPECT_FALSE(PartComplete(*cut));
  EXPECT_LT(cut->soundReach, cut->sound.samples);
  EXPECT_FALSE(JoinParts({PathOf("a.mkv"), PathOf("b.mkv")}, PathOf("ab.mkv"), &why));
  EXPECT_NE(why.find("its sound ends after"), std::string::npos) << why;
}

TEST_F(SoundPartTest, PartsOfOtherSoundDoNotJoinAndAJoinOfLessStaysLossless) {
  PlaceTwoEvents(*project_);
  ExportRunOptions options;
  options.codec = "ffv1";
  options.soundCodec = "aac";
  options.range = ExportRange{0, 39};
  ASSERT_EQ(ExportProject(*project_, Path16("a.mkv"), nullptr, options), ExportResult::Done);
  options.range = ExportRange{40, 59};
  ASSERT_EQ(ExportProject(*project_, Path16("b.mkv"), nullptr, options), ExportResult::Done);
  options.soundCodec = "flac";
  options.range = ExportRange{40, 59};
  ASSERT_EQ(ExportProject(*project_, Path16("b-flac.mkv"), nullptr, options), ExportResult::Done);
  options.sound = false;
  ASSERT_EQ(ExportProject(*project_, Path16("b-silent.mkv"), nullptr, options), ExportResult::Done);

  std::string why;
  EXPECT_FALSE(JoinParts({PathOf("a.mkv"), PathOf("b-flac.mkv")}, PathOf("x.mkv"), &why));
  EXPECT_NE(why.find("sound flac, not aac"), std::string::npos) << why;
  EXPECT_FALSE(JoinParts({PathOf("a.mkv"), PathOf("b-silent.mkv")}, PathOf("x.mkv"), &why));
  EXPECT_NE(why.find("sound none, not aac"), std::string::npos) << why;

  // Frames 0-59 of 100: itself a part, of lossless sound, that joins on with the rest.
  ASSERT_TRUE(JoinParts({PathOf("a.mkv"), PathOf("b.mkv")}, PathOf("ab.mkv"), &why)) << why;
  const auto ab = ReadPartInfo(PathOf("ab.mkv"), &why);
  ASSERT_TRUE(ab) << why;
  EXPECT_EQ(ab->sound.codec, "aac");
  EXPECT_EQ(ab->sound.samples, FrameStartSample(60, D()));
  std::vector<float> mix;
  ASSERT_TRUE(MixFrames(*project_, 0, 60, mix));
  const std::vector<float> decoded = DecodedSound(PathOf("ab.mkv"));
  ASSERT_EQ(decoded.size(), mix.size());
  for (size_t i = 0; i < mix.size(); ++i)
    ASSERT_EQ(decoded[i], SoundSampleToS16(mix[i]) / 32768.0f);
}

}  // namespace
}  // namespace tavrona
