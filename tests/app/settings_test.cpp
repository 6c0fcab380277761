#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/ini_file.h"
#include "app/process_state.h"
#include "app/settings.h"

namespace tavrona {
namespace {

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tavrona_ini_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = dir_ / kIniFileName;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  Settings Load() {
    IniFile ini;
    ini.Load(path_);
    return ReadSettings(ini);
  }
  void WriteBack(const Settings& s) {
    IniFile ini;
    ini.Load(path_);
    WriteSettings(ini, s);
    ASSERT_TRUE(ini.Save(path_));
  }

  std::filesystem::path dir_, path_;
};

TEST_F(IniTest, MissingFileGivesDefaultsAndWritesExactlyTheSixValues) {
  const Settings s = Load();
  EXPECT_EQ(s.callbackTimeoutMs, 5000u);
  EXPECT_EQ(s.abortTimeoutMs, 3000u);
  EXPECT_EQ(s.framePrev, 10);
  EXPECT_EQ(s.frameNext, -1);
  EXPECT_EQ(s.pixelQuality, 2);
  EXPECT_EQ(s.textImageMode, 0);
  WriteBack(s);
  EXPECT_EQ(Read(),
            "[Settings]\r\nCallbackTimeout=5000\r\nAbortTimeout=3000\r\nFramePrev=10\r\n"
            "FrameNext=-1\r\nPixelQuality=2\r\nTextImageMode=0\r\n");
}

TEST_F(IniTest, ReadTimeRulesAreAppliedAndWrittenBack) {
  Write("[Settings]\r\nCallbackTimeout=50\r\nAbortTimeout=99\r\nFramePrev=-3\r\nFrameNext=-3\r\n");
  Settings s = Load();
  EXPECT_EQ(s.callbackTimeoutMs, 100u);
  EXPECT_EQ(s.abortTimeoutMs, 100u);
  EXPECT_EQ(s.framePrev, 10);
  EXPECT_EQ(s.frameNext, -3);
  WriteBack(s);
  s = Load();
  EXPECT_EQ(s.callbackTimeoutMs, 100u);
  EXPECT_EQ(s.framePrev, 10);
  EXPECT_EQ(s.frameNext, -3);
  EXPECT_NE(Read().find("CallbackTimeout=100\r\n"), std::string::npos);
}

TEST_F(IniTest, NegativeTimeoutIsLargeAsUnsignedAndSurvivesWriteBack) {
  Write("[Settings]\r\nCallbackTimeout=-5\r\n");
  const Settings s = Load();
  EXPECT_EQ(static_cast<int32_t>(s.callbackTimeoutMs), -5);
  WriteBack(s);
  EXPECT_NE(Read().find("CallbackTimeout=-5\r\n"), std::string::npos);
}

TEST_F(IniTest, UnknownSectionsKeysAndCommentsSurviveWriteBack) {
  Write(
      "; user comment\r\n[Recent File List]\r\nFile1=/home/u/a.vpj\r\n\r\n"
      "[settings]\r\nframeprev=4\r\nMyOwnKey=7\r\n\r\n[TrackView]\r\nPreview=0\r\n");
  const Settings s = Load();
  EXPECT_EQ(s.framePrev, 4);  // names match without regard to case
  WriteBack(s);
  const std::string text = Read();
  EXPECT_NE(text.find("; user comment\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Recent File List]\r\nFile1=/home/u/a.vpj\r\n"), std::string::npos);
  EXPECT_NE(text.find("frameprev=4\r\n"), std::string::npos);
  EXPECT_NE(text.find("MyOwnKey=7\r\n"), std::string::npos);
  EXPECT_NE(text.find("[TrackView]\r\nPreview=0\r\n"), std::string::npos);
  // The keys that were missing join their own section, not the last one.
  const size_t settings = text.find("[settings]");
  const size_t track = text.find("[TrackView]");
  const size_t added = text.find("TextImageMode=0");
  EXPECT_LT(settings, added);
  EXPECT_LT(added, track);
  EXPECT_EQ(text.find("[Settings]"), std::string::npos);  // no second section
}

TEST_F(IniTest, ValuesAreReadLikeTheProfileFunctions) {
  Write("[Settings]\nPixelQuality = 3 \nTextImageMode=abc\nFrameNext=12xyz\n");
  const Settings s = Load();
  EXPECT_EQ(s.pixelQuality, 3);
  EXPECT_EQ(s.textImageMode, 0);  // present but not a number
  EXPECT_EQ(s.frameNext, 12);
  WriteBack(s);
  EXPECT_EQ(Read().find('\r'), std::string::npos);  // an LF file stays LF
}

TEST_F(IniTest, FailedSaveLeavesThePreviousFile) {
  Write("[Settings]\r\nFramePrev=4\r\n");
  IniFile ini;
  ini.Load(path_);
  ini.SetInt("Settings", "FramePrev", 9);
  EXPECT_FALSE(ini.Save(dir_ / "missing-folder" / kIniFileName));
  EXPECT_EQ(Read(), "[Settings]\r\nFramePrev=4\r\n");
}

TEST_F(IniTest, AutosaveAndUndoMemoryAreReadWithDefaultsAndLimits) {
  const Settings defaults;
  Settings s = Load();  // no file
  EXPECT_EQ(s.autoSaveSeconds, defaults.autoSaveSeconds);
  EXPECT_EQ(s.undoMemoryMB, defaults.undoMemoryMB);
  EXPECT_EQ(s.decoderMemoryMB, 0);  // a quarter of the machine's memory
  Write("[Settings]\r\nAutoSaveSeconds=7\r\nUndoMemoryMB=64\r\nDecoderMemoryMB=300\r\n");
  s = Load();
  EXPECT_EQ(s.autoSaveSeconds, 7);
  EXPECT_EQ(s.undoMemoryMB, 64);
  EXPECT_EQ(s.decoderMemoryMB, 300);
  Write("[Settings]\r\nAutoSaveSeconds=0\r\n");
  EXPECT_EQ(Load().autoSaveSeconds, 0);  // off
  Write("[Settings]\r\nAutoSaveSeconds=-4\r\n");
  EXPECT_EQ(Load().autoSaveSeconds, 0);
  Write("[Settings]\r\nAutoSaveSeconds=999999999\r\n");
  EXPECT_EQ(Load().autoSaveSeconds, kMaxAutoSaveSeconds);
}

TEST_F(IniTest, AutosaveAndUndoMemoryAreNeverWrittenBack) {
  // A user who never set them: the file written at exit is the one the six keys alone give,
  // whatever the two values are in memory.
  Settings plain;
  WriteBack(plain);
  const std::string withoutThem = Read();
  std::filesystem::remove(path_);
  Settings changed;
  changed.autoSaveSeconds = plain.autoSaveSeconds + 5;
  changed.undoMemoryMB = plain.undoMemoryMB * 2;
  changed.decoderMemoryMB = 77;
  WriteBack(changed);
  EXPECT_EQ(Read(), withoutThem);
  EXPECT_EQ(Read().find("AutoSaveSeconds"), std::string::npos);
  EXPECT_EQ(Read().find("UndoMemoryMB"), std::string::npos);
  EXPECT_EQ(Read().find("DecoderMemoryMB"), std::string::npos);

  // A user who set them: the lines stay as the user wrote them.
  Write("[Settings]\r\nAutoSaveSeconds=-4\r\nUndoMemoryMB=12\r\n");
  WriteBack(Load());
  const std::string text = Read();
  EXPECT_NE(text.find("AutoSaveSeconds=-4\r\n"), std::string::npos);
  EXPECT_NE(text.find("UndoMemoryMB=12\r\n"), std::string::npos);
}

TEST(ProcessStateTest, HalfPixelMatrixAndIniBesideWritableExecutable) {
  ProcessState state;
  StartProcessState(state, /*discoverPlugins=*/false);
  const float g[9] = {1, 0, 0.5f, 0, 1, 0.5f, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(state.halfPixel[i], g[i]);
  // The test program's folder in the build tree can be written: the portable case.
  EXPECT_EQ(state.ini.file, state.executableFolder / "tavrona.INI");
  EXPECT_TRUE(state.ini.besideExecutable);
  EXPECT_TRUE(std::filesystem::exists(state.executableFolder / "app_tests"));
  ASSERT_NE(state.timeoutTarget, nullptr);
  EXPECT_EQ(state.timeoutTarget->TimeoutQuery(), 0);
  EXPECT_FALSE(state.timeoutTarget->AskToContinue(u"?"));
}

}  // namespace
}  // namespace tavrona
