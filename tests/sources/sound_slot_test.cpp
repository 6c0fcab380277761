// Movie slots with sound: a movie's own sound, and sound-only files opened as movie slots.
#include <gtest/gtest.h>

#include <fstream>

#include "app/process_state.h"
#include "model/project_file.h"
#include "model/text_encoding.h"
#include "model/track_data.h"
#include "render/compose.h"
#include "render/mix.h"
#include "sound_media.h"
#include "sources/late_sound.h"
#include "sources/movie_file.h"
#include "sources/project_sources.h"
#include "sources/sound_source.h"
#include "test_movies.h"

namespace tavrona {
namespace {

using testing::BeepMediaPath;
using testing::BeepRecipe;
using testing::FindBeep;
using testing::LeftChannel;

std::u16string U16(const std::filesystem::path& path) {
  return FromUtf8(path.string());
}

BeepRecipe Recipe(std::string name, std::string audioOptions, std::string extension,
                  bool picture) {
  BeepRecipe r;
  r.name = std::move(name);
  r.picture = picture;
  r.audioOptions = std::move(audioOptions);
  r.extension = std::move(extension);
  return r;
}

std::vector<float> WholeSound(SoundSamples& sound) {
  std::vector<float> all(static_cast<size_t>(sound.Format().lengthSamples) * kMixChannels);
  EXPECT_TRUE(sound.Read(0, sound.Format().lengthSamples, all.data()));
  return all;
}

// The mean of the blue, green and red bytes of a picture's middle pixel.
int MiddleGrey(const FrameBuffer& picture) {
  const uint32_t p = picture.At(picture.Width() / 2, picture.Height() / 2);
  return static_cast<int>(((p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF)) / 3);
}

class SoundSlotTest : public ::testing::Test {
 protected:
  void SetUp() override { Process().settings = Settings{}; }
  void TearDown() override { ResetFileEntry(entry_); }
  FileEntry entry_;
};

TEST_F(SoundSlotTest, ASecondSlotOfTheSameMovieOpensItsSoundAtTheFirstReadAndHearsTheSame) {
  BeepRecipe r = Recipe("SlotLateAacMp4", "-c:a aac -b:a 160k", "mp4", true);
  r.beepSeconds = {1.0};
  const auto movie = BeepMediaPath(r);
  ASSERT_FALSE(movie.empty());
  ASSERT_TRUE(OpenMovieFile(entry_, U16(movie), u""));
  FileEntry second;
  ASSERT_TRUE(OpenMovieFile(second, U16(movie), u""));
  ASSERT_TRUE(entry_.sound && second.sound);
  auto* late = dynamic_cast<LateSound*>(second.sound.get());
  ASSERT_NE(late, nullptr);
  EXPECT_FALSE(late->Opened());
  EXPECT_EQ(second.sound->Format().lengthSamples, entry_.sound->Format().lengthSamples);
  EXPECT_EQ(second.sound->Format().sourceRate, entry_.sound->Format().sourceRate);
  EXPECT_EQ(WholeSound(*second.sound), WholeSound(*entry_.sound));
  EXPECT_TRUE(late->Opened());
  ResetFileEntry(second);
}

TEST_F(SoundSlotTest, AMovieSlotHoldsTheMoviesSoundInStepWithItsPicture) {
  BeepRecipe avi = Recipe("SlotPcmAvi", "-c:a pcm_s16le", "avi", true);
  avi.beepSeconds = {1.0, 2.5};
  BeepRecipe h264 = Recipe("SlotH264Mp4", "-c:a aac -b:a 160k", "mp4", true);
  h264.beepSeconds = {1.0, 2.5};
  h264.videoOptions = "-c:v libx264 -bf 2 -g 12";  // reordered frames: the picture starts late
  for (const BeepRecipe& r : {avi, h264}) {
    SCOPED_TRACE(r.name);
    const auto movie = BeepMediaPath(r);
    ASSERT_FALSE(movie.empty());
    ASSERT_TRUE(OpenMovieFile(entry_, U16(movie), u""));
    ASSERT_TRUE(entry_.movie);
    ASSERT_TRUE(entry_.sound);
    EXPECT_FALSE(IsSoundOnly(entry_));
    EXPECT_EQ(entry_.sound->Format().sourceRate, 48000);
    EXPECT_EQ(entry_.sound->Format().sourceChannels, 2);
    EXPECT_NEAR(entry_.sound->Format().lengthSamples, 4 * kMixRate, kMixRate / 50);
    EXPECT_EQ(MovieFrameCount(entry_), 100u);
    // The beeps at 1 s and 2.5 s: heard there, and seen in frames 25 and 63 (25 frames a
    // second; a frame shows its start time, and frame 62 starts at 2.48 s).
    const std::vector<float> left = LeftChannel(WholeSound(*entry_.sound));
    EXPECT_NEAR(FindBeep(left, 1000.0, 30.0, 0.5, 1.5), 1.0, 0.001);
    EXPECT_NEAR(FindBeep(left, 1000.0, 30.0, 2.0, 3.0), 2.5, 0.001);
    for (const auto& [frame, white] : {std::pair{24u, false}, {25u, true}, {26u, false},
                                       {62u, false}, {63u, true}}) {
      ASSERT_TRUE(PrepareMovieFrame(entry_, frame));
      EXPECT_EQ(MiddleGrey(entry_.picture) > 128, white) << "frame " << frame;
    }
  }

  // Opening a silent movie over it takes the sound away with the old movie.
  const auto silent = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(silent.empty());
  ASSERT_TRUE(OpenMovieFile(entry_, U16(silent), u""));
  EXPECT_TRUE(entry_.movie);
  EXPECT_FALSE(entry_.sound);
  EXPECT_FALSE(IsSoundOnly(entry_));
}

TEST_F(SoundSlotTest, SoundOnlyFilesOpenAsMovieSlotsWithoutPicture) {
  const std::vector<BeepRecipe> files = {
      Recipe("SlotWav", "-c:a pcm_s16le", "wav", false),
      Recipe("SlotMp3", "-c:a libmp3lame -b:a 192k", "mp3", false),
      Recipe("SlotFlac", "-c:a flac", "flac", false),
      Recipe("SlotOpus", "-c:a libopus", "opus", false),
      Recipe("SlotVorbis", "-c:a libvorbis", "ogg", false),
      Recipe("SlotM4a", "-c:a aac", "m4a", false),
  };
  for (const BeepRecipe& r : files) {
    SCOPED_TRACE(r.name);
    const auto path = BeepMediaPath(r);
    ASSERT_FALSE(path.empty());
    const std::u16string folder = U16(path.parent_path());
    const std::u16string relative = u"\\" + U16(path.filename());
    entry_.referenceFrameDuration100ns = 0;
    entry_.transparentColour = 0x123456;
    ASSERT_TRUE(OpenMovieFile(entry_, relative, folder));
    EXPECT_EQ(entry_.kind, FileMovie);
    EXPECT_FALSE(entry_.movie);
    ASSERT_TRUE(entry_.sound);
    EXPECT_TRUE(IsSoundOnly(entry_));
    EXPECT_TRUE(entry_.picture.Empty());
    EXPECT_EQ(PathView(entry_.path), relative);
    EXPECT_EQ(entry_.transparentColour, 0xFF000000u);
    EXPECT_FALSE(PrepareMovieFrame(entry_, 0));  // nothing to show
    // Without a reference duration it counts in 1/30 s, enough frames to cover the sound.
    const int64_t length = entry_.sound->Format().lengthSamples;
    EXPECT_EQ(MovieFrameDuration100ns(entry_), kSoundOnlyFrameDuration100ns);
    const uint32_t frames = MovieFrameCount(entry_);
    EXPECT_GE(static_cast<__int128>(frames) * 333333 * kMixRate, __int128{length} * 10'000'000);
    EXPECT_LT(static_cast<__int128>(frames - 1) * 333333 * kMixRate,
              __int128{length} * 10'000'000);
    // With a reference duration, in that: 4 s at 25 frames a second.
    entry_.referenceFrameDuration100ns = 400000;
    EXPECT_EQ(MovieFrameDuration100ns(entry_), 400000);
    if (length == 4 * kMixRate) {
      EXPECT_EQ(MovieFrameCount(entry_), 100u);
    } else {
      EXPECT_NEAR(MovieFrameCount(entry_), 100u, 1u);
    }
  }
  // An MP3 with a cover picture is sound only too: the cover is no movie.
  testing::TempFolder covers;
  const auto mp3 = BeepMediaPath(files[1]);
  const auto cover = covers.Path() / "cover.mp3";
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i '" + mp3.string() +
                         "' -f lavfi -i color=c=blue:s=16x16:d=0.04 -frames:v 1 -map 0:a -map 1:v "
                         "-c:a copy -c:v png -disposition:v attached_pic '" +
                         cover.string() + "'")
                            .c_str()),
            0);
  ASSERT_TRUE(OpenMovieFile(entry_, U16(cover), u""));
  EXPECT_TRUE(IsSoundOnly(entry_));
  EXPECT_TRUE(entry_.picture.Empty());

  // A still image or a file that is neither picture nor sound fails, and the slot keeps what
  // it held.
  const SoundSamples* held = entry_.sound.get();
  testing::TempFolder folder;
  const auto text = folder.Path() / "notes.txt";
  std::ofstream(text) << "no sound here\n";
  const auto png = folder.Path() / "still.png";
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i color=c=red:s=8x8:d=0.04 "
                         "-frames:v 1 '" + png.string() + "'").c_str()),
            0);
  for (const auto& path : {text, png}) EXPECT_FALSE(OpenMovieFile(entry_, U16(path), u"")) << path;
  EXPECT_EQ(entry_.sound.get(), held);
  EXPECT_TRUE(IsSoundOnly(entry_));
}

TEST_F(SoundSlotTest, ASoundOnlySlotLoadsWithItsProjectDrawsNothingAndIsMixed) {
  const auto wav = BeepMediaPath(Recipe("ProjectWav", "-c:a pcm_s16le", "wav", false));
  ASSERT_FALSE(wav.empty());
  auto p = AllocateProjectData();
  ASSERT_TRUE(p);
  ApplyNewProjectReset(*p);
  p->outputWidth = 32;
  p->outputHeight = 24;
  p->SetFrameRate(25);
  p->movieLength = 100;
  p->backgroundColour = 0x00102030;
  StandardSourceOpener opener;
  p->files[3].referenceFrameDuration100ns = 400000;
  ASSERT_TRUE(opener.OpenMovie(p->files[3], U16(wav), u""));
  EventRecord e = DefaultEventForFile(*p, 3, 0);
  ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &e));
  testing::TempFolder folder;
  const std::u16string projectPath = U16(folder.Path() / "sound.vpj");
  ASSERT_TRUE(WriteProjectFile(projectPath, *p));

  auto loaded = AllocateProjectData();
  struct No : LoadQuestions {
    bool AskYesNo(const std::u16string&) override { return false; }
  } no;
  ASSERT_TRUE(ReadProjectFile(projectPath, *loaded, opener, no));
  FileEntry& slot = loaded->files[3];
  ASSERT_TRUE(IsSoundOnly(slot));
  EXPECT_EQ(MovieFrameCount(slot), 100u);

  // The picture is the background alone (0x00BBGGRR in the project, 0x00RRGGBB in the frame),
  // and drawing it is no failure.
  StandardMovieFrames movies;
  auto states = std::make_unique<PlaybackStates>();
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, 32, 24));
  ASSERT_TRUE(ComposeFrameAt(*loaded, *states, 25, frame, &movies));
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 32; ++x) ASSERT_EQ(frame.At(x, y) & 0xFFFFFF, 0x302010u) << x << "," << y;
  }
  // The sound plays from the event's start: the beep at 1 s of the file at 1 s of the output.
  std::vector<float> mixed;
  ASSERT_TRUE(MixFrames(*loaded, 0, 100, mixed));
  EXPECT_NEAR(FindBeep(LeftChannel(mixed), 1000.0, 30.0, 0.5, 1.5), 1.0, 0.001);

  // Moving the slot to another ID takes its sound along.
  ASSERT_EQ(ChangeFileId(*loaded, 3, 9), ChangeIdResult::Swapped);
  EXPECT_FALSE(loaded->files[3].sound);
  EXPECT_TRUE(IsSoundOnly(loaded->files[9]));
}

}  // namespace
}  // namespace tavrona
