// The farm command's options: what the command line takes and refuses.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace tavrona {
namespace {

std::optional<CliOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto o = ParseCliOptions(args, e);
  if (error) *error = e;
  return o;
}

TEST(FarmOptionsTest, SubmissionAndStatus) {
  auto f = Parse({"farm", "p.vpj", "-o", "o.avi", "--parts", "3", "--codec", "h264", "--partition",
                  "render", "--time", "1:00:00", "--wait"});
  ASSERT_TRUE(f);
  EXPECT_EQ(f->command, CliCommand::Farm);
  EXPECT_EQ(f->project, "p.vpj");
  EXPECT_EQ(f->output, "o.avi");
  EXPECT_EQ(f->farmParts, 3u);
  EXPECT_EQ(f->codec, "h264");
  EXPECT_EQ(f->partition, "render");
  EXPECT_EQ(f->timeLimit, "1:00:00");
  EXPECT_TRUE(f->wait);
  EXPECT_FALSE(f->farmStatus);

  auto s = Parse({"farm", "--status", "o.avi"});
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->farmStatus);
  EXPECT_EQ(s->output, "o.avi");
  EXPECT_TRUE(s->project.empty());

  const std::vector<std::vector<std::string>> refused = {
      {"farm", "p.vpj", "-o", "o.avi"},                  // no --parts
      {"farm", "p.vpj", "--parts", "3"},                 // no -o
      {"farm", "-o", "o.avi", "--parts", "3"},           // no project
      {"farm", "p.vpj", "-o", "o.avi", "--parts", "0"},  // no part
      {"farm", "p.vpj", "-o", "o.avi", "--parts", "x"},  //
      {"farm", "p.vpj", "-o", "o.avi", "--parts", "3", "--skip-missing"},
      {"farm", "p.vpj", "-o", "o.avi", "--parts", "3", "--partition", "a b"},
      {"farm", "p.vpj", "--status", "o.avi"},  // status takes OUT alone
      {"farm", "--status", "o.avi", "--wait"},
      {"farm", "--status"},
      {"export", "p.vpj", "-o", "o.avi", "--parts", "3"},  // farm's options elsewhere
      {"export", "p.vpj", "-o", "o.avi", "--wait"},
      {"info", "p.vpj", "--status", "o.avi"},
      {"render", "p.vpj", "--frame", "1", "-o", "o.bmp", "--no-audio"},  // sound: export, farm
      {"codecs", "--audio-codec", "aac"},
      {"export", "p.vpj", "-o", "o.mkv", "--no-audio", "--audio-codec", "aac"},
      {"export", "p.vpj", "-o", "o.mkv", "--audio-codec"},
  };
  for (const auto& args : refused) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << args.back();
    EXPECT_FALSE(error.empty()) << args.back();
  }
}

TEST(FarmOptionsTest, SoundOptionsGoToExportAndFarm) {
  auto e = Parse({"export", "p.vpj", "-o", "o.mkv", "--audio-codec", "aac"});
  ASSERT_TRUE(e);
  EXPECT_EQ(e->audioCodec, "aac");
  EXPECT_FALSE(e->noAudio);
  auto f = Parse({"farm", "p.vpj", "-o", "o.mkv", "--parts", "2", "--no-audio"});
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->noAudio);
  EXPECT_TRUE(f->audioCodec.empty());
}

}  // namespace
}  // namespace tavrona
