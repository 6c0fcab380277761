// Runs the real tavrona-cli program on projects the test writes, and compares what it writes
// with the same work done in this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <tuple>

#include "../export/avi_file_reader.h"
#include "cjk_text.h"
#include "cli/cli_farm.h"
#include "farm/farm_lock.h"
#include "model/project_data.h"
#include "model/project_file.h"
#include "model/text_encoding.h"
#include "render/bitmap_save.h"
#include "render/compose.h"
#include "sound_media.h"
#include "sources/movie_file.h"
#include "sources/project_sources.h"
#include "test_movies.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;  // exit status, or -1 when the program did not exit normally (a crash)
  std::string out, err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (qGuiApp == nullptr) {
      static int argc = 1;
      static char name[] = "cli_tests";
      static char* argv[] = {name, nullptr};
      app_ = new QGuiApplication(argc, argv);
    }
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }

  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavrona_cli_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  CliRun Cli(const std::string& args) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string command = std::string(TAVRONA_CLI) + " " + args + " >" + out.string() +
                                " 2>" + err.string() + " </dev/null";
    const int raw = std::system(command.c_str());
    CliRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  // Writes good (a project file's bytes) as track.vpj with the number of its first track record
  // made 256; trackTagAt receives where that record's tag starts.
  void WriteBeyondLastTrack(const std::string& good, size_t& trackTagAt) {
    std::string wrongTrack = good;
    // The first track record: tag 5 after the file slots.
    const char tag5[4] = {5, 0, 0, 0};
    trackTagAt = wrongTrack.find(std::string(tag5, 4), 568);
    ASSERT_NE(trackTagAt, std::string::npos);
    wrongTrack[trackTagAt + 5] = 1;  // track number 0x100
    std::ofstream(dir_ / "track.vpj", std::ios::binary) << wrongTrack;
  }

  // A project with a still picture (relative path, found in the project folder), a text and a
  // movie of 40 frames, on three tracks.
  void WriteProject(const std::string& name = "p.vpj") {
    FrameBuffer picture;
    ASSERT_TRUE(CreateFrameBuffer(picture, 20, 12));
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 20; ++x)
        picture.At(x, y) = static_cast<uint32_t>((x * 12) << 16 | (y * 20) << 8 | 0x40);
    ASSERT_TRUE(SaveFrameBufferBmp(picture, dir_ / "pic.bmp"));
    testing::TestMovieRecipe recipe = testing::Ffv1Avi30();
    recipe.frameCount = 40;
    ASSERT_TRUE(testing::WriteTestMovie(dir_ / "clip.avi", recipe));

    auto p = AllocateProjectData();
    ApplyNewProjectReset(*p);
    p->outputWidth = 80;
    p->outputHeight = 60;
    p->movieLength = 8;
    p->backgroundColour = 0x00402010;
    StandardSourceOpener opener;
    const std::u16string folder = FromUtf8(dir_.string());
    ASSERT_TRUE(opener.OpenImage(p->files[0], u"\\pic.bmp", folder));
    ASSERT_TRUE(opener.OpenMovie(p->files[1], u"\\clip.avi", folder));
    LOGFONTW font{};
    font.lfHeight = -16;
    const std::u16string face = u"IPAGothic";
    std::copy(face.begin(), face.end(), font.lfFaceName);
    ASSERT_TRUE(opener.MakeText(p->files[2], u"テスト", 0x00FFFFFF, font));

    EventRecord movie = DefaultEventForFile(*p, 1, 0);
    movie.drawingMethod = 2;
    EventRecord still = DefaultEventForFile(*p, 0, 0);
    still.flags |= EventInterpolate;
    still.positionX = 5;
    still.positionY = 8;
    EventRecord still2 = DefaultEventForFile(*p, 0, 7);
    still2.positionX = 50;
    still2.rotation = 40;
    EventRecord text = DefaultEventForFile(*p, 2, 2);
    text.positionY = 30;
    text.blendMode = 5;
    EventRecord stills[] = {still, still2};
    ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &movie));
    ASSERT_TRUE(InsertSorted(p->tracks[1], 2, stills));
    ASSERT_TRUE(InsertSorted(p->tracks[2], 1, &text));
    ASSERT_TRUE(WriteProjectFile(FromUtf8(P(name)), *p));
  }

  // The project loaded in this process, as the command loads it.
  std::unique_ptr<ProjectData> Load(const std::string& name = "p.vpj") {
    auto p = AllocateProjectData();
    StandardSourceOpener opener;
    struct No : LoadQuestions {
      bool AskYesNo(const std::u16string&) override { return false; }
    } no;
    if (!ReadProjectFile(FromUtf8(P(name)), *p, opener, no)) return nullptr;
    return p;
  }

  static QGuiApplication* app_;
  fs::path dir_;
};

QGuiApplication* CliTest::app_ = nullptr;

TEST_F(CliTest, InfoSummarisesTheProject) {
  WriteProject();
  const CliRun r = Cli("info " + P("p.vpj"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("80 x 60"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ID:0000  still image  \\pic.bmp  (20 x 12)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ID:0001  movie"), std::string::npos);
  EXPECT_NE(r.out.find("ID:0002  text         \"テスト\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Track 001  2 events"), std::string::npos);
  EXPECT_EQ(r.out.find("Track 003"), std::string::npos);
}

TEST_F(CliTest, InfoListsTheSoundOfMovieSlotsWhenTheProjectHasSound) {
  WriteProject();
  // No sound anywhere: the summary says nothing of sound.
  const CliRun silent = Cli("info " + P("p.vpj"));
  ASSERT_EQ(silent.status, 0) << silent.err;
  EXPECT_NE(silent.out.find("ID:0001  movie        \\clip.avi  (64 x 64)\n  ID:0002"),
            std::string::npos)
      << silent.out;
  EXPECT_EQ(silent.out.find("音声"), std::string::npos) << silent.out;

  testing::BeepRecipe wav;
  wav.name = "InfoMonoWav";
  wav.picture = false;
  wav.sampleRate = 44100;
  wav.channels = 1;
  wav.extension = "wav";
  testing::BeepRecipe avi;
  avi.name = "InfoPcmAvi";
  const fs::path wavPath = testing::BeepMediaPath(wav);
  const fs::path aviPath = testing::BeepMediaPath(avi);
  ASSERT_FALSE(wavPath.empty());
  ASSERT_FALSE(aviPath.empty());
  fs::copy_file(wavPath, dir_ / "beep.wav");
  fs::copy_file(aviPath, dir_ / "beep.avi");
  auto p = Load();
  ASSERT_TRUE(p);
  StandardSourceOpener opener;
  const std::u16string folder = FromUtf8(dir_.string());
  ASSERT_TRUE(opener.OpenMovie(p->files[4], u"\\beep.wav", folder));
  ASSERT_TRUE(opener.OpenMovie(p->files[5], u"\\beep.avi", folder));
  ASSERT_TRUE(WriteProjectFile(FromUtf8(P("s.vpj")), *p));

  const CliRun ja = Cli("info " + P("s.vpj"));
  ASSERT_EQ(ja.status, 0) << ja.err;
  for (const char* lines : {
           "  ID:0001  movie        \\clip.avi  (64 x 64)\n           音声なし\n",
           "  ID:0004  movie        \\beep.wav\n           音声のみ: 44100 Hz、1 チャンネル、00:04.000\n",
           "  ID:0005  movie        \\beep.avi  (64 x 48)\n           音声: 48000 Hz、2 チャンネル、00:04.000\n"}) {
    EXPECT_NE(ja.out.find(lines), std::string::npos) << lines << "\nin\n" << ja.out;
  }
  // Movie slots only: the still image and the text have no sound line.
  size_t soundLines = 0;
  for (size_t at = ja.out.find("\n           音声"); at != std::string::npos;
       at = ja.out.find("\n           音声", at + 1)) {
    ++soundLines;
  }
  EXPECT_EQ(soundLines, 3u) << ja.out;
  const CliRun en = Cli("--lang en info " + P("s.vpj"));
  ASSERT_EQ(en.status, 0) << en.err;
  for (const char* lines : {
           "  ID:0001  movie        \\clip.avi  (64 x 64)\n           no sound\n",
           "  ID:0004  movie        \\beep.wav\n           sound only: 44100 Hz, 1 channel, 00:04.000\n",
           "  ID:0005  movie        \\beep.avi  (64 x 48)\n           sound: 48000 Hz, 2 channels, 00:04.000\n"}) {
    EXPECT_NE(en.out.find(lines), std::string::npos) << lines << "\nin\n" << en.out;
  }
  // A sound-only slot has no picture to write.
  const CliRun source = Cli("--lang en source " + P("s.vpj") + " --file 4 -o " + P("s.bmp"));
  EXPECT_EQ(source.status, 1);
  EXPECT_NE(source.err.find("ID:0004 holds no picture"), std::string::npos) << source.err;
}

TEST_F(CliTest, ExportCarriesTheSoundOfRealMoviesAndSoundOnlyFilesWhereTheEventsPutIt) {
  // A movie with beeps at 1.0 s and 2.5 s, placed from output frame 25 (1 s at 25 frames per
  // second); an MP3 of one higher beep at 0.5 s, 44.1 kHz mono, placed from frame 0.
  testing::BeepRecipe movie;
  movie.name = "ExportBeepAvi";
  movie.beepSeconds = {1.0, 2.5};
  testing::BeepRecipe music;
  music.name = "ExportBeepMp3";
  music.picture = false;
  music.beepSeconds = {0.5};
  music.beepHz = 1500;
  music.sampleRate = 44100;
  music.channels = 1;
  music.audioOptions = "-c:a libmp3lame -b:a 128k";
  music.extension = "mp3";
  const fs::path moviePath = testing::BeepMediaPath(movie);
  const fs::path musicPath = testing::BeepMediaPath(music);
  ASSERT_FALSE(moviePath.empty());
  ASSERT_FALSE(musicPath.empty());
  fs::copy_file(moviePath, dir_ / "beep.avi");
  fs::copy_file(musicPath, dir_ / "music.mp3");
  auto p = AllocateProjectData();
  ApplyNewProjectReset(*p);
  p->outputWidth = 64;
  p->outputHeight = 48;
  p->SetFrameRate(25);
  p->movieLength = 100;
  StandardSourceOpener opener;
  const std::u16string folder = FromUtf8(dir_.string());
  ASSERT_TRUE(opener.OpenMovie(p->files[0], u"\\beep.avi", folder));
  ASSERT_TRUE(opener.OpenMovie(p->files[1], u"\\music.mp3", folder));
  const EventRecord picture = DefaultEventForFile(*p, 0, 25);
  const EventRecord sound = DefaultEventForFile(*p, 1, 0);
  ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &picture));
  ASSERT_TRUE(InsertSorted(p->tracks[1], 1, &sound));
  ASSERT_TRUE(WriteProjectFile(FromUtf8(P("sound.vpj")), *p));

  const CliRun r = Cli("export " + P("sound.vpj") + " -o " + P("sound.mkv") + " --codec ffv1");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<float> left = testing::LeftChannel(testing::DecodedSound(dir_ / "sound.mkv"));
  ASSERT_EQ(left.size(), 4u * 48000u);
  constexpr double kMs = 0.001;
  for (double at : {2.0, 3.5}) {
    EXPECT_NEAR(testing::FindBeep(left, 1000, 30, at - 0.05, at + 0.05), at, kMs) << at;
  }
  EXPECT_NEAR(testing::FindBeep(left, 1500, 30, 0.45, 0.55), 0.5, kMs);
  EXPECT_EQ(testing::FindAllBeeps(left, 1000, 30).size(), 2u);
  // The movie's own beep at 1.0 s lies before the event's position and is not heard.
  EXPECT_LT(testing::PeakIn(left, 0.9, 1.1), 0.01f);

  const CliRun silent =
      Cli("export " + P("sound.vpj") + " -o " + P("silent.mkv") + " --codec ffv1 --no-audio");
  ASSERT_EQ(silent.status, 0) << silent.err;
  EXPECT_TRUE(testing::DecodedSound(dir_ / "silent.mkv").empty());
}

TEST_F(CliTest, RenderWritesTheComposedFrameAsThePreviewWould) {
  WriteProject();
  auto p = Load();
  ASSERT_TRUE(p);
  StandardMovieFrames movies;
  auto states = std::make_unique<PlaybackStates>();
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, 80, 60));
  for (uint32_t n : {0u, 3u, 7u}) {
    const CliRun r =
        Cli("render " + P("p.vpj") + " --frame " + std::to_string(n) + " -o " + P("f.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(ComposeFrameAt(*p, *states, n, frame, &movies));
    EXPECT_EQ(ReadFile(dir_ / "f.bmp"), BmpFileBytes(frame)) << "frame " << n;
  }
  const CliRun t = Cli("render " + P("p.vpj") + " --frame 3 --track 2 -o " + P("t.bmp"));
  ASSERT_EQ(t.status, 0) << t.err;
  ASSERT_TRUE(ComposeTrackAt(*p, *states, 2, 3, frame, &movies));
  EXPECT_EQ(ReadFile(dir_ / "t.bmp"), BmpFileBytes(frame));
  EXPECT_NE(ReadFile(dir_ / "t.bmp"), ReadFile(dir_ / "f.bmp"));
}

TEST_F(CliTest, SourceWritesTheSlotPictureWithClampedMovieFrames) {
  WriteProject();
  auto p = Load();
  ASSERT_TRUE(p);
  const CliRun last = Cli("source " + P("p.vpj") + " --file 1 --frame 500 -o " + P("m.bmp"));
  ASSERT_EQ(last.status, 0) << last.err;
  ASSERT_TRUE(PrepareMovieFrame(p->files[1], 39));
  EXPECT_EQ(ReadFile(dir_ / "m.bmp"), BmpFileBytes(p->files[1].picture));
  const std::string bmp = ReadFile(dir_ / "m.bmp");
  EXPECT_EQ(testing::ReadTestFrameIndex(reinterpret_cast<const uint8_t*>(bmp.data()) + 54, 64, 64),
            39);

  const CliRun still = Cli("source " + P("p.vpj") + " --file 0 -o " + P("s.bmp"));
  ASSERT_EQ(still.status, 0) << still.err;
  EXPECT_EQ(ReadFile(dir_ / "s.bmp"), BmpFileBytes(p->files[0].picture));

  const CliRun empty = Cli("source " + P("p.vpj") + " --file 9 -o " + P("e.bmp"));
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("保存に失敗しました。"), std::string::npos);
}

TEST_F(CliTest, MissingSourceFailsByDefaultAndIsSkippedOnRequest) {
  WriteProject();
  fs::remove(dir_ / "pic.bmp");
  const CliRun no = Cli("info " + P("p.vpj"));
  EXPECT_EQ(no.status, 1);
  EXPECT_NE(no.err.find("ファイル\"\\pic.bmp\"の読み込みに失敗しました。"), std::string::npos)
      << no.err;
  EXPECT_NE(no.err.find("読み込みに失敗しました。"), std::string::npos);
  const CliRun yes = Cli("info --skip-missing " + P("p.vpj"));
  ASSERT_EQ(yes.status, 0) << yes.err;
  EXPECT_EQ(yes.out.find("ID:0000"), std::string::npos);
  EXPECT_NE(yes.out.find("Track 001  2 events"), std::string::npos);  // events stay
}

TEST_F(CliTest, UsageErrorsAndHelp) {
  EXPECT_EQ(Cli("").status, 2);
  const CliRun bad = Cli("render x.vpj");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("Usage:"), std::string::npos);
  const CliRun help = Cli("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("tavrona-cli export"), std::string::npos);
  EXPECT_EQ(Cli("info " + P("none.vpj")).status, 1);
}

TEST_F(CliTest, MalformedProjectsFailCleanly) {
  WriteProject();
  const std::string good = ReadFile(dir_ / "p.vpj");
  // A spread of truncation points across every record of the file.
  for (size_t cut = 0; cut < good.size(); cut += good.size() / 23 + 1) {
    std::ofstream(dir_ / "cut.vpj", std::ios::binary) << good.substr(0, cut);
    const CliRun r = Cli("info " + P("cut.vpj"));
    EXPECT_EQ(r.status, 1) << "cut at " << cut << ": " << r.err;
    EXPECT_NE(r.err.find("読み込みに失敗しました。"), std::string::npos);
  }
  size_t at = 0;
  ASSERT_NO_FATAL_FAILURE(WriteBeyondLastTrack(good, at));
  EXPECT_EQ(Cli("info " + P("track.vpj")).status, 1);
}

TEST_F(CliTest, CodecsListsRawFirst) {
  const CliRun r = Cli("codecs");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 4), "raw\t");
  EXPECT_NE(r.out.find("\nmjpeg\t"), std::string::npos);
}

using testing::HasCjk;

TEST_F(CliTest, CodecsListsTheContainersSoundCodecsAfterTheCompressors) {
  const CliRun mkv = Cli("codecs --container mkv");
  ASSERT_EQ(mkv.status, 0);
  const size_t gap = mkv.out.find("\n\n");
  ASSERT_NE(gap, std::string::npos) << mkv.out;
  EXPECT_EQ(mkv.out.find("flac\t"), mkv.out.find('\n', gap + 2) + 1) << mkv.out;  // the default
  EXPECT_NE(mkv.out.find("\nflac\tFLAC (可逆圧縮)\n"), std::string::npos) << mkv.out;
  EXPECT_NE(mkv.out.find("\naac\tAAC\n"), std::string::npos) << mkv.out;
  const CliRun avi = Cli("codecs --lang en");
  EXPECT_NE(avi.out.find("\n\nSound (--audio-codec; the first is the default):\npcm\t16-bit PCM "
                         "(uncompressed)\n"),
            std::string::npos)
      << avi.out;
  EXPECT_EQ(avi.out.find("aac"), std::string::npos) << avi.out;
  EXPECT_FALSE(HasCjk(avi.out)) << avi.out;
  // A sound codec the container does not take is refused before anything is written.
  WriteProject();
  const CliRun refused = Cli("export " + P("p.vpj") + " -o " + P("o.avi") + " --audio-codec aac");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("\"aac\""), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(dir_ / "o.avi"));
}

TEST_F(CliTest, LangEnPrintsEnglishAlone) {
  WriteProject();
  // A missing project file: the English message, then the system's words.
  const CliRun missing = Cli("info " + P("none.vpj") + " --lang en");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("could not be loaded"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find(P("none.vpj") + ": "), std::string::npos) << missing.err;
  EXPECT_FALSE(HasCjk(missing.err)) << missing.err;
  // A malformed project, with the option before the command.
  const std::string good = ReadFile(dir_ / "p.vpj");
  std::ofstream(dir_ / "cut.vpj", std::ios::binary) << good.substr(0, good.size() / 2);
  const CliRun cut = Cli("--lang en info " + P("cut.vpj"));
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("cut.vpj: "), std::string::npos) << cut.err;
  EXPECT_FALSE(HasCjk(cut.err)) << cut.err;
  // A missing source: the question names it in English.
  fs::remove(dir_ / "pic.bmp");
  const CliRun source = Cli("info " + P("p.vpj") + " --lang en");
  EXPECT_EQ(source.status, 1);
  EXPECT_NE(source.err.find("\"\\pic.bmp\""), std::string::npos) << source.err;
  EXPECT_FALSE(HasCjk(source.err)) << source.err;
  // A bad option, and a bad language.
  const CliRun bad = Cli("render " + P("p.vpj") + " --bogus --lang en");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--bogus"), std::string::npos);
  EXPECT_FALSE(HasCjk(bad.err)) << bad.err;
  const CliRun french = Cli("info " + P("p.vpj") + " --lang fr");
  EXPECT_EQ(french.status, 2);
  EXPECT_NE(french.err.find("--lang"), std::string::npos);
  // What succeeds is English too: the codec list and the project summary.
  const CliRun codecs = Cli("codecs --lang en");
  ASSERT_EQ(codecs.status, 0);
  EXPECT_EQ(codecs.out.substr(0, 4), "raw\t");
  EXPECT_FALSE(HasCjk(codecs.out)) << codecs.out;
  std::ofstream(dir_ / "pic.bmp") << "";
  const CliRun info = Cli("--lang en info --skip-missing " + P("p.vpj"));
  ASSERT_EQ(info.status, 0) << info.err;
  // The summary's own words are English; the project's text source (user text) is as it is.
  const size_t method = info.out.find("  drawing method");
  ASSERT_NE(method, std::string::npos) << info.out;
  const std::string methodLine = info.out.substr(method, info.out.find('\n', method) - method);
  EXPECT_FALSE(HasCjk(methodLine)) << methodLine;
  EXPECT_EQ(Cli("--lang ja codecs").out, Cli("codecs").out);
}

TEST_F(CliTest, RawExportHoldsExactlyTheRenderedFrames) {
  WriteProject();
  const CliRun r = Cli("export " + P("p.vpj") + " -o " + P("out.avi") + " --codec raw");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;  // no terminal: nothing but errors
  testing::AviFileLayout layout;
  ASSERT_TRUE(testing::ReadAviLayout(P("out.avi"), layout));
  EXPECT_EQ(layout.rate, 300000u);  // 30 frames per second, times 10000 and not reduced
  EXPECT_EQ(layout.scale, 10000u);
  ASSERT_EQ(layout.frames.size(), 8u);
  for (uint32_t n = 0; n < 8; ++n) {
    ASSERT_EQ(
        Cli("render " + P("p.vpj") + " --frame " + std::to_string(n) + " -o " + P("f.bmp")).status,
        0);
    EXPECT_EQ(ReadFile(dir_ / "f.bmp").substr(54),
              std::string(layout.frames[n].begin(), layout.frames[n].end()))
        << "frame " << n;
  }
}

TEST_F(CliTest, CompressedExportsProbeRight) {
  WriteProject();
  for (const char* codec : {"mjpeg", "h264"}) {
    const CliRun r =
        Cli(std::string("export ") + P("p.vpj") + " -o " + P("c.avi") + " --codec " + codec);
    ASSERT_EQ(r.status, 0) << codec << ": " << r.err;
    const std::string json = testing::ProbeStreams(P("c.avi"));
    EXPECT_EQ(testing::CountStreams(json), 1) << json;
    EXPECT_EQ(testing::JsonField(json, "width"), "80");
    EXPECT_EQ(testing::JsonField(json, "height"), "60");
    EXPECT_EQ(testing::JsonField(json, "nb_read_frames"), "8");
    EXPECT_EQ(testing::JsonField(json, "r_frame_rate"), "30/1");
    EXPECT_EQ(testing::JsonField(json, "codec_name"), codec);
  }
  EXPECT_EQ(Cli("export " + P("p.vpj") + " -o " + P("c.avi") + " --codec nope").status, 2);
  EXPECT_EQ(Cli("export " + P("p.vpj") + " -o " + P("missing/c.avi")).status, 1);
}

TEST_F(CliTest, InterruptClosesTheFileWithTheFramesWritten) {
  auto p = AllocateProjectData();
  ApplyNewProjectReset(*p);
  p->outputWidth = 640;
  p->outputHeight = 480;
  p->movieLength = 1'000'000;  // far more than can be written before the interrupt
  ASSERT_TRUE(WriteProjectFile(FromUtf8(P("long.vpj")), *p));

  const std::string cli = TAVRONA_CLI, project = P("long.vpj"), output = P("long.avi");
  const char* argv[] = {cli.c_str(), "export", project.c_str(), "-o", output.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, P("err.txt").c_str(), O_WRONLY | O_CREAT, 0644);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, const_cast<char**>(argv), environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  // Wait until frames are being written, then interrupt as Ctrl+C would.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline &&
         (!fs::exists(output) || fs::file_size(output) < 10'000'000)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGINT);
  int raw = 0;
  ASSERT_EQ(waitpid(pid, &raw, 0), pid);
  ASSERT_TRUE(WIFEXITED(raw)) << "the export did not end by itself";
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(ReadFile(dir_ / "err.txt").find("エラーまたはキャンセル操作によって中断されました。"),
            std::string::npos);
  testing::AviFileLayout layout;
  ASSERT_TRUE(testing::ReadAviLayout(output, layout, /*keepFrames=*/false));
  EXPECT_GT(layout.frameChunkIds.size(), 5u);
  EXPECT_LT(layout.frameChunkIds.size(), 1'000'000u);
  EXPECT_EQ(layout.idx1.size() + layout.standardIndexChunks > 0, true);  // an index was written
}

TEST_F(CliTest, FailuresNameTheirCause) {
  WriteProject();
  const std::string good = ReadFile(dir_ / "p.vpj");
  const CliRun missing = Cli("info " + P("none.vpj"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(P("none.vpj") + ": " + std::strerror(ENOENT)), std::string::npos)
      << missing.err;

  std::ofstream(dir_ / "cut.vpj", std::ios::binary) << good.substr(0, 30);
  const CliRun cut = Cli("info " + P("cut.vpj"));
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("the file ends inside the header record (begun at byte 12) at byte"),
            std::string::npos)
      << cut.err;

  size_t at = 0;
  ASSERT_NO_FATAL_FAILURE(WriteBeyondLastTrack(good, at));
  const CliRun track = Cli("info " + P("track.vpj"));
  EXPECT_EQ(track.status, 1);
  EXPECT_NE(track.err.find("track 256 is beyond the 256 tracks at byte " + std::to_string(at + 4)),
            std::string::npos)
      << track.err;

  std::ofstream(dir_ / "clip.avi", std::ios::binary) << "not a movie";
  const CliRun source = Cli("info " + P("p.vpj"));
  EXPECT_EQ(source.status, 1);
  EXPECT_NE(source.err.find(P("clip.avi") + ": not a movie"), std::string::npos) << source.err;
  fs::remove(dir_ / "clip.avi");
  const CliRun gone = Cli("info " + P("p.vpj"));
  EXPECT_NE(gone.err.find(P("clip.avi") + ": " + std::strerror(ENOENT)), std::string::npos)
      << gone.err;

  WriteProject();
  const CliRun render = Cli("render " + P("p.vpj") + " --frame 0 -o " + P("no/f.bmp"));
  EXPECT_EQ(render.status, 1);
  EXPECT_NE(render.err.find(P("no/f.bmp") + ": " + std::strerror(ENOENT)), std::string::npos)
      << render.err;
  const CliRun exported = Cli("export " + P("p.vpj") + " -o " + P("no/c.avi"));
  EXPECT_EQ(exported.status, 1);
  EXPECT_NE(exported.err.find(P("no/c.avi") + ": " + std::strerror(ENOENT)), std::string::npos)
      << exported.err;
}

TEST_F(CliTest, FrameRangesJoinIntoTheWholeExport) {
  WriteProject();
  ASSERT_EQ(Cli("export " + P("p.vpj") + " -o " + P("whole.avi")).status, 0);
  ASSERT_EQ(Cli("export " + P("p.vpj") + " -o " + P("a.avi") + " --frames 0-2").status, 0);
  ASSERT_EQ(Cli("export " + P("p.vpj") + " -o " + P("b.avi") + " --frames 3-7").status, 0);
  const CliRun join = Cli("join " + P("a.avi") + " " + P("b.avi") + " -o " + P("j.avi"));
  ASSERT_EQ(join.status, 0) << join.err;
  EXPECT_EQ(ReadFile(dir_ / "j.avi"), ReadFile(dir_ / "whole.avi"));

  const CliRun beyond = Cli("export " + P("p.vpj") + " -o " + P("x.avi") + " --frames 5-8");
  EXPECT_EQ(beyond.status, 2);
  EXPECT_NE(beyond.err.find("outside the project's frames 0-7"), std::string::npos) << beyond.err;
  EXPECT_EQ(Cli("export " + P("p.vpj") + " -o " + P("x.avi") + " --frames 4-3").status, 2);
  EXPECT_EQ(Cli("export " + P("p.vpj") + " -o " + P("x.avi") + " --frames 4").status, 2);
  EXPECT_FALSE(fs::exists(dir_ / "x.avi"));
  // H.264 outside AVI has a key frame every two seconds: a part must begin on one.
  const CliRun offKey =
      Cli("export " + P("p.vpj") + " -o " + P("x.mkv") + " --codec h264 --frames 0-3");
  EXPECT_EQ(offKey.status, 2);
  EXPECT_NE(offKey.err.find("h264 in mkv has a key frame every 60 frames"), std::string::npos)
      << offKey.err;
  EXPECT_FALSE(fs::exists(dir_ / "x.mkv"));
  EXPECT_EQ(Cli("export " + P("p.vpj") + " -o " + P("x.mkv") + " --codec h264 --frames 0-7").status,
            0);
  const CliRun gap = Cli("join " + P("a.avi") + " " + P("a.avi") + " -o " + P("g.avi"));
  EXPECT_EQ(gap.status, 1);
  EXPECT_NE(gap.err.find(P("a.avi") + ": frames 0-2 overlap"), std::string::npos) << gap.err;
}

// A movie cut short at 30 %: the frames past the damage cannot be decoded. Without
// --stop-on-event-error the export still finishes, and says at the end how many frames lacked
// their movie frame and from which file.
TEST_F(CliTest, FramesPastAMoviesDamageAreCountedAtTheEnd) {
  testing::TestMovieRecipe recipe = testing::H264Mkv(30);
  recipe.frameCount = 120;
  ASSERT_TRUE(testing::WriteTestMovie(dir_ / "clip.mkv", recipe));
  fs::resize_file(dir_ / "clip.mkv", fs::file_size(dir_ / "clip.mkv") * 3 / 10);
  auto p = AllocateProjectData();
  ApplyNewProjectReset(*p);
  p->outputWidth = 64;
  p->outputHeight = 64;
  p->movieLength = 120;
  StandardSourceOpener opener;
  ASSERT_TRUE(opener.OpenMovie(p->files[3], u"\\clip.mkv", FromUtf8(dir_.string())));
  EventRecord movie = DefaultEventForFile(*p, 3, 0);
  ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &movie));
  ASSERT_TRUE(WriteProjectFile(FromUtf8(P("damaged.vpj")), *p));

  const CliRun r = Cli("export " + P("damaged.vpj") + " -o " + P("out.avi"));
  EXPECT_EQ(r.status, 0) << r.err;
  const size_t at = r.err.find(
      " of the 120 frames were written without a movie frame that could "
      "not be decoded (file 3)");
  ASSERT_NE(at, std::string::npos) << r.err;
  const int counted = std::stoi(r.err.substr(r.err.rfind(' ', at - 1) + 1));
  EXPECT_GT(counted, 0);
  EXPECT_LT(counted, 120);
  // With the option the export stops at the first of them instead.
  const CliRun stopped =
      Cli("export " + P("damaged.vpj") + " -o " + P("stopped.avi") + " --stop-on-event-error");
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.err.find(" could not be composed: an event failed"), std::string::npos)
      << stopped.err;
}

// A disk that fills up during the export: a small file system of its own, mounted in a mount
// namespace of the command's own (root only). The export stops at a whole frame with the
// system's words, and the file holds exactly the frames it reports, readable, in every
// container (Matroska gathers frames into clusters of its own before they reach the file).
TEST_F(CliTest, FullDiskStopsAtAWholeFrameInEveryContainer) {
  WriteProject();
  fs::create_directories(dir_ / "small");
  for (const auto& [name, codec, size] :
       {std::tuple{"out.mkv", "ffv1", "72k"}, std::tuple{"out.mov", "raw", "160k"},
        std::tuple{"out.mp4", "mjpeg", "72k"}}) {
    SCOPED_TRACE(name);
    const std::string script =
        std::string("mount -t tmpfs -o size=") + size + " none " + P("small") + " || exit 99; " +
        TAVRONA_CLI + " export " + P("p.vpj") + " -o " + P(std::string("small/") + name) +
        " --codec " + codec + " 2>" + P("err.txt") + "; echo $? >" + P("status.txt") + "; cp " +
        P(std::string("small/") + name) + " " + P(std::string("full-") + name);
    const int raw = std::system(("unshare -m sh -c '" + script + "' </dev/null").c_str());
    if (WIFEXITED(raw) && WEXITSTATUS(raw) == 99) GTEST_SKIP() << "cannot mount a file system";
    EXPECT_EQ(ReadFile(dir_ / "status.txt"), "1\n");
    const std::string err = ReadFile(dir_ / "err.txt");
    const size_t counted = err.find(" frames written to ");
    ASSERT_NE(counted, std::string::npos) << err;
    const size_t lineStart = err.rfind('\n', counted) + 1;
    const int reported = std::stoi(err.substr(lineStart, counted - lineStart));
    EXPECT_GT(reported, 0) << err;
    EXPECT_LT(reported, 8) << err;
    EXPECT_EQ(testing::DecodeToBgr0(P(std::string("full-") + name)).size(),
              size_t{80} * 60 * 4 * static_cast<size_t>(reported));
  }
}

TEST_F(CliTest, FullDiskStopsAtAWholeFrameWithTheSystemsWords) {
  WriteProject();
  ASSERT_EQ(Cli("export " + P("p.vpj") + " -o " + P("whole.avi")).status, 0);
  testing::AviFileLayout whole;
  ASSERT_TRUE(testing::ReadAviLayout(P("whole.avi"), whole));
  fs::create_directories(dir_ / "small");
  // 19,200-byte frames: a 160 KiB file system holds the headers, the room kept for the index
  // and a few of them.
  const std::string script = "mount -t tmpfs -o size=160k none " + P("small") + " || exit 99; " +
                             TAVRONA_CLI + " export " + P("p.vpj") + " -o " + P("small/out.avi") +
                             " 2>" + P("err.txt") + "; echo $? >" + P("status.txt") + "; cp " +
                             P("small/out.avi") + " " + P("full.avi");
  const int raw = std::system(("unshare -m sh -c '" + script + "' </dev/null").c_str());
  if (WIFEXITED(raw) && WEXITSTATUS(raw) == 99) GTEST_SKIP() << "cannot mount a file system here";
  EXPECT_EQ(ReadFile(dir_ / "status.txt"), "1\n");
  const std::string err = ReadFile(dir_ / "err.txt");
  EXPECT_NE(err.find(P("small/out.avi") + ": " + std::strerror(ENOSPC)), std::string::npos) << err;
  const size_t counted = err.find(" frames written to ");
  ASSERT_NE(counted, std::string::npos) << err;
  const size_t lineStart = err.rfind('\n', counted) + 1;
  const int reported = std::stoi(err.substr(lineStart, counted - lineStart));
  testing::AviFileLayout full;
  ASSERT_TRUE(testing::ReadAviLayout(P("full.avi"), full)) << "the file is not readable";
  EXPECT_GT(reported, 0);
  EXPECT_LT(reported, 8);
  ASSERT_EQ(full.frames.size(), static_cast<size_t>(reported));
  EXPECT_EQ(full.idx1.size(), static_cast<size_t>(reported));
  for (int n = 0; n < reported; ++n) EXPECT_EQ(full.frames[n], whole.frames[n]) << n;
  EXPECT_EQ(testing::DecodeToBgr0(P("full.avi")).size(), size_t{80} * 60 * 4 * reported);
}

// A file size limit (EFBIG) goes the same way, and needs no privileges: 400 blocks of 512
// bytes hold the headers, the room for the index and a few frames.
TEST_F(CliTest, FileSizeLimitStopsAtAWholeFrameWithTheSystemsWords) {
  WriteProject();
  const CliRun r = Cli("export " + P("p.vpj") + " -o " + P("out.avi") + " 2>&1; exit");
  ASSERT_EQ(r.status, 0);
  const std::string command = "sh -c 'ulimit -f 400; exec " + std::string(TAVRONA_CLI) +
                              " export " + P("p.vpj") + " -o " + P("limited.avi") + "' 2>" +
                              P("err.txt") + " </dev/null";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  const std::string err = ReadFile(dir_ / "err.txt");
  EXPECT_NE(err.find(P("limited.avi") + ": " + std::strerror(EFBIG)), std::string::npos) << err;
  testing::AviFileLayout limited;
  ASSERT_TRUE(testing::ReadAviLayout(P("limited.avi"), limited));
  EXPECT_GT(limited.frames.size(), 0u);
  EXPECT_LT(limited.frames.size(), 8u);
  EXPECT_NE(err.find(std::to_string(limited.frames.size()) + " frames written to"),
            std::string::npos)
      << err;
}

// ---- farm on a stand-in Slurm ---------------------------------------------------------------
//
// tavrona-cli farm with an sbatch of the test's own on PATH that runs each batch script at once,
// as Slurm would run it: every array task in turn in the --chdir folder with the SLURM_*
// variables set, its output into the --output file (appended with --open-mode=append). A task
// listed in slurm/cancel-N is cancelled before it starts, as scancel does to a pending task; a
// job that depends (afterok) on a failed or cancelled one never runs. squeue finds no job at
// work, since every job is over by the time sbatch returns.
class FarmRunTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    fs::create_directories(dir_ / "bin");
    fs::create_directories(dir_ / "slurm");
    const std::string state = (dir_ / "slurm").string();
    WriteScript("sbatch", R"(#!/bin/sh
state=')" + state + R"('
array= out= dir= dep= append= script=
for a in "$@"; do
  case "$a" in
    --array=*) array=${a#--array=} ;;
    --output=*) out=${a#--output=} ;;
    --chdir=*) dir=${a#--chdir=} ;;
    --dependency=afterok:*) dep=${a#--dependency=afterok:} ;;
    --open-mode=append) append=1 ;;
    -*) ;;
    *) script=$a ;;
  esac
done
id=$(( $(cat "$state/last-id" 2>/dev/null || echo 40) + 1 ))
echo "$id" >"$state/last-id"
echo "$*" >>"$state/submitted"
run() {
  log=$(printf '%s' "$out" | sed -e "s/%a/$1/g" -e 's/%%/%/g')
  [ -n "$append" ] || : >"$log"
  if [ -n "$1" ] && [ -e "$state/cancel-$1" ]; then touch "$state/failed-$id"; return; fi
  (cd "$dir" && export SLURM_JOB_ID=$id SLURM_ARRAY_JOB_ID=$id &&
    if [ -n "$1" ]; then export SLURM_ARRAY_TASK_ID=$1; fi && exec /bin/sh "$script") \
    >>"$log" 2>&1 || touch "$state/failed-$id"
}
if [ -n "$dep" ] && [ -e "$state/failed-$dep" ]; then
  touch "$state/failed-$id"
elif [ -n "$array" ]; then
  for task in $(printf '%s\n' "$array" | tr ',' '\n' |
                while IFS=- read -r first last; do seq "$first" "${last:-$first}"; done); do
    run "$task"
  done
else
  run ""
fi
echo "$id"
)");
    WriteScript("squeue", "#!/bin/sh\nexit 0\n");
  }

  void WriteScript(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / "bin" / name, std::ios::binary) << text;
    fs::permissions(dir_ / "bin" / name, fs::perms::owner_all, fs::perm_options::add);
  }

  CliRun FarmWithPath(const std::string& args) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string command = "PATH='" + (dir_ / "bin").string() + "':\"$PATH\" " + TAVRONA_CLI +
                                " farm " + args + " >" + out.string() + " 2>" + err.string() +
                                " </dev/null";
    const int raw = std::system(command.c_str());
    CliRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }

  // Submits p.vpj into out.avi; the run must succeed.
  CliRun Submit(const std::string& options) {
    const CliRun r = FarmWithPath(P("p.vpj") + " -o " + P("out.avi") + " " + options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return r;
  }
  std::string Status() {
    const CliRun r = FarmWithPath("--status " + P("out.avi"));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
  // The line of part i in --status output.
  std::string PartLine(const std::string& status, size_t i) {
    const std::string head = "part " + std::to_string(i) + " ";
    const size_t at = status.find(head);
    if (at == std::string::npos) return {};
    return status.substr(at, status.find('\n', at) - at);
  }
  fs::path Parts() const { return dir_ / "out.avi.parts"; }
  // Byte for byte, without printing the bytes when they differ.
  ::testing::AssertionResult SameFile(const std::string& a, const std::string& b) {
    if (ReadFile(dir_ / a) == ReadFile(dir_ / b)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " and " << b << " differ";
  }
};

TEST_F(FarmRunTest, PartsCutShortOrMadeFromAnEarlierProjectAreMadeAgain) {
  WriteProject();
  ASSERT_EQ(Cli("export " + P("p.vpj") + " -o " + P("whole.avi")).status, 0);
  CliRun r = Submit("--parts 2");
  EXPECT_NE(r.out.find("tasks 0-1 (2 of 2 parts)"), std::string::npos) << r.out;
  ASSERT_TRUE(SameFile("out.avi", "whole.avi"));

  // Part 1 cut short on disk, its headers intact.
  const fs::path part1 = Parts() / "part-1.avi";
  ASSERT_EQ(::truncate(part1.c_str(), static_cast<off_t>(fs::file_size(part1) / 2)), 0);
  std::string status = Status();
  EXPECT_NE(PartLine(status, 1).find("incomplete"), std::string::npos) << status;
  EXPECT_NE(PartLine(status, 0).find("complete"), std::string::npos) << status;
  r = Submit("--parts 2");
  EXPECT_NE(r.out.find("tasks 1 (1 of 2 parts)"), std::string::npos) << r.out;
  EXPECT_TRUE(SameFile("out.avi", "whole.avi"));

  // An event's colour changed, the project file's size the same.
  const auto size = fs::file_size(dir_ / "p.vpj");
  auto p = Load();
  ASSERT_TRUE(p);
  p->tracks[1].events[0].green = 0x30;
  p->tracks[1].events[1].green = 0x30;
  ASSERT_TRUE(WriteProjectFile(FromUtf8(P("p.vpj")), *p));
  ASSERT_EQ(fs::file_size(dir_ / "p.vpj"), size);
  ASSERT_EQ(Cli("export " + P("p.vpj") + " -o " + P("edited.avi")).status, 0);
  ASSERT_FALSE(SameFile("edited.avi", "whole.avi"));
  r = Submit("--parts 2");
  EXPECT_NE(r.out.find("tasks 0-1 (2 of 2 parts)"), std::string::npos) << r.out;
  EXPECT_TRUE(SameFile("out.avi", "edited.avi"));

  // A source touched: it may hold other pictures now.
  const fs::path picture = dir_ / "pic.bmp";
  fs::last_write_time(picture, fs::last_write_time(picture) + std::chrono::seconds(3));
  r = Submit("--parts 2");
  EXPECT_NE(r.out.find("tasks 0-1 (2 of 2 parts)"), std::string::npos) << r.out;
  // Nothing changed since: nothing is made again.
  r = Submit("--parts 2");
  EXPECT_NE(r.out.find("all 2 parts complete, none submitted"), std::string::npos) << r.out;
  EXPECT_TRUE(SameFile("out.avi", "edited.avi"));
}

TEST_F(FarmRunTest, ACodecChangeCutShortIsFinishedByTheNextRun) {
  WriteProject();
  Submit("--parts 2 --codec raw");
  EXPECT_NE(Status().find("(present)"), std::string::npos);

  // H.264 now, with task 1 cancelled before it starts: the join does not run.
  std::ofstream(dir_ / "slurm" / "cancel-1").put('\n');
  CliRun r = Submit("--parts 2 --codec h264");
  EXPECT_NE(r.out.find("tasks 0-1 (2 of 2 parts)"), std::string::npos) << r.out;
  std::string status = Status();
  EXPECT_EQ(status.find("(present)"), std::string::npos) << status;
  EXPECT_NE(status.find("(stale: "), std::string::npos) << status;
  EXPECT_NE(PartLine(status, 1).find("stale: codec rawvideo, not h264"), std::string::npos)
      << status;
  EXPECT_NE(PartLine(status, 0).find("complete"), std::string::npos) << status;

  fs::remove(dir_ / "slurm" / "cancel-1");
  r = Submit("--parts 2 --codec h264");
  EXPECT_NE(r.out.find("tasks 1 (1 of 2 parts)"), std::string::npos) << r.out;
  EXPECT_NE(Status().find("(present)"), std::string::npos);
  const std::string json = testing::ProbeStreams(P("out.avi"));
  EXPECT_EQ(testing::JsonField(json, "codec_name"), "h264");
  EXPECT_EQ(testing::JsonField(json, "nb_read_frames"), "8");
}

TEST_F(FarmRunTest, TaskLogsKeepEveryAttemptAndTheCauseOnce) {
  WriteProject();
  // A folder where task 1 writes its part: the export cannot make its file.
  fs::create_directories(Parts() / "part-1.writing.avi");
  Submit("--parts 2");
  EXPECT_FALSE(fs::exists(dir_ / "out.avi"));
  const std::string failed = ReadFile(Parts() / "part-1.log");
  EXPECT_EQ(failed.find("Is a directory"), failed.rfind("Is a directory")) << failed;
  EXPECT_NE(failed.find("Is a directory"), std::string::npos) << failed;

  // A cut-off task leaves its half-written file; the next run removes it before submitting.
  fs::remove(Parts() / "part-1.writing.avi");
  std::ofstream(Parts() / "part-1.writing.avi") << "half a part";
  std::ofstream(dir_ / "slurm" / "cancel-1").put('\n');
  Submit("--parts 2");
  EXPECT_FALSE(fs::exists(Parts() / "part-1.writing.avi"));

  fs::remove(dir_ / "slurm" / "cancel-1");
  Submit("--parts 2");
  EXPECT_TRUE(fs::exists(dir_ / "out.avi"));
  const std::string log = ReadFile(Parts() / "part-1.log");
  EXPECT_EQ(log.rfind(failed, 0), 0u) << log;  // the failed attempt is still there
  size_t attempts = 0;
  for (size_t at = log.find("== attempt: job "); at != std::string::npos;
       at = log.find("== attempt: job ", at + 1)) {
    ++attempts;
  }
  EXPECT_EQ(attempts, 2u) << log;
  EXPECT_NE(log.find(" task 1 on "), std::string::npos) << log;
}

TEST_F(FarmRunTest, ASecondSubmissionIsRefusedWhileTheFirstHoldsTheLock) {
  WriteProject();
  fs::create_directories(Parts());
  FarmLockRefusal refusal;
  std::optional<FarmLock> held = FarmLock::Take(Parts().string(), &refusal);
  ASSERT_TRUE(held) << std::strerror(refusal.error);
  CliRun r = FarmWithPath(P("p.vpj") + " -o " + P("out.avi") + " --parts 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(FarmLockPath(Parts().string())), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("another farm submission"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "slurm" / "submitted"));
  EXPECT_FALSE(fs::exists(Parts() / "manifest.txt"));

  held.reset();
  Submit("--parts 2");
  EXPECT_TRUE(fs::exists(dir_ / "out.avi"));
}

}  // namespace
}  // namespace tavrona
