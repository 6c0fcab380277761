#include "app/settings_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace tavrona {
namespace {

namespace fs = std::filesystem;

TEST(ChooseIniFileTest, WritableFolderKeepsTheSettingsBesideTheExecutable) {
  const fs::path exe = "/opt/portable/tavrona";
  EXPECT_EQ(ChooseIniFile(exe, true, "/home/u/cfg", "/home/u"), exe / "tavrona.INI");
  EXPECT_EQ(ChooseIniFile(exe, true, nullptr, nullptr), exe / "tavrona.INI");
}

TEST(ChooseIniFileTest, UnwritableFolderUsesTheConfigurationHome) {
  const fs::path exe = "/usr/lib/tavrona";
  EXPECT_EQ(ChooseIniFile(exe, false, "/home/u/cfg", "/home/u"),
            fs::path("/home/u/cfg/tavrona/tavrona.INI"));
  // XDG_CONFIG_HOME unset, empty or relative (which the base directory rules say to ignore).
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "cfg", "./cfg"}) {
    EXPECT_EQ(ChooseIniFile(exe, false, xdg, "/home/u"),
              fs::path("/home/u/.config/tavrona/tavrona.INI"))
        << (xdg ? xdg : "(unset)");
  }
  // No usable folder at all: beside the executable, where the write-back will fail.
  EXPECT_EQ(ChooseIniFile(exe, false, nullptr, nullptr), exe / "tavrona.INI");
  EXPECT_EQ(ChooseIniFile(exe, false, "", "relative"), exe / "tavrona.INI");
}

class SettingsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavrona_settings_location_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "program");
    defaults_ = dir_ / "program" / "tavrona.INI";
    Write(defaults_, "[Settings]\r\nAbortTimeout=3000\r\n");
  }
  void TearDown() override {
    fs::permissions(dir_ / "program", fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  static void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
  fs::path defaults_;
};

TEST_F(SettingsFolderTest, FirstRunCopiesTheDefaultIntoNewPrivateFolders) {
  const fs::path user = dir_ / "home" / ".config" / "tavrona" / "tavrona.INI";
  std::error_code error;
  EXPECT_EQ(SeedIniFile(defaults_, user, error), SeedOutcome::Seeded) << error.message();
  EXPECT_EQ(Read(user), Read(defaults_));
  for (const fs::path& made : {dir_ / "home", dir_ / "home" / ".config", user.parent_path()}) {
    struct stat info {};
    ASSERT_EQ(::stat(made.c_str(), &info), 0) << made;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
  }
  // Nothing is left behind by the copy.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(user.parent_path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFolderTest, SeedingNeverReplacesWhatTheUserHas) {
  const fs::path user = dir_ / "cfg" / "tavrona" / "tavrona.INI";
  fs::create_directories(user.parent_path());
  Write(user, "[Settings]\r\nAbortTimeout=7000\r\n");
  std::error_code error;
  EXPECT_EQ(SeedIniFile(defaults_, user, error), SeedOutcome::Kept);
  EXPECT_EQ(Read(user), "[Settings]\r\nAbortTimeout=7000\r\n");

  // A link the user made (even one that leads nowhere yet) is theirs too.
  fs::remove(user);
  fs::create_symlink(dir_ / "elsewhere.INI", user);
  EXPECT_EQ(SeedIniFile(defaults_, user, error), SeedOutcome::Kept);
  EXPECT_TRUE(fs::is_symlink(user));
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere.INI"));
}

TEST_F(SettingsFolderTest, MissingDefaultOrImpossibleFolderIsReported) {
  std::error_code error;
  const fs::path user = dir_ / "cfg" / "tavrona" / "tavrona.INI";
  EXPECT_EQ(SeedIniFile(dir_ / "no-such.INI", user, error), SeedOutcome::NoDefault);
  EXPECT_TRUE(fs::is_directory(user.parent_path()));
  EXPECT_FALSE(fs::exists(user));

  // A file where the configuration folder should be (fails for root too).
  Write(dir_ / "blocker", "x");
  EXPECT_EQ(SeedIniFile(defaults_, dir_ / "blocker" / "tavrona" / "tavrona.INI", error),
            SeedOutcome::Failed);
  EXPECT_TRUE(error);
  EXPECT_EQ(Read(dir_ / "blocker"), "x");
}

// Sets an environment variable for one scope, restoring what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(SettingsFolderTest, LocateLeavesAWritableProgramFolderAsItWas) {
  const ScopedEnv xdg("XDG_CONFIG_HOME", (dir_ / "cfg").string());
  const IniLocation location = LocateIniFile(dir_ / "program");
  EXPECT_EQ(location.file, defaults_);
  EXPECT_TRUE(location.besideExecutable);
  EXPECT_TRUE(location.problem.empty());
  EXPECT_FALSE(fs::exists(dir_ / "cfg"));
}

TEST_F(SettingsFolderTest, LocateSeedsTheUsersFileWhenTheProgramFolderIsReadOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes any folder; the package test covers this";
  fs::permissions(dir_ / "program", fs::perms::owner_write | fs::perms::group_write |
                                        fs::perms::others_write,
                  fs::perm_options::remove);
  const ScopedEnv xdg("XDG_CONFIG_HOME", (dir_ / "cfg").string());
  const IniLocation location = LocateIniFile(dir_ / "program");
  EXPECT_EQ(location.file, dir_ / "cfg" / "tavrona" / "tavrona.INI");
  EXPECT_FALSE(location.besideExecutable);
  EXPECT_TRUE(location.problem.empty()) << location.problem;
  EXPECT_EQ(Read(location.file), Read(defaults_));
}

}  // namespace
}  // namespace tavrona
