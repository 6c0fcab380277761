#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace tavrona {
namespace {

std::optional<CliOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto o = ParseCliOptions(args, e);
  if (error) *error = e;
  return o;
}

TEST(CliOptionsTest, CommandsWithTheirOptions) {
  auto r = Parse({"render", "p.vpj", "--frame", "12", "--track", "255", "-o", "o.bmp"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->command, CliCommand::Render);
  EXPECT_EQ(r->project, "p.vpj");
  EXPECT_EQ(r->frame, 12u);
  EXPECT_EQ(r->track, 255);
  EXPECT_EQ(r->output, "o.bmp");

  auto s = Parse({"source", "--skip-missing", "p.vpj", "--file", "1023", "-o", "o.bmp"});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->fileId, 1023);
  EXPECT_EQ(s->frame, 0u);
  EXPECT_TRUE(s->skipMissing);

  auto x = Parse({"export", "p.vpj", "-o", "o.avi", "--codec", "h264", "--stop-on-event-error",
                  "--timeout-error"});
  ASSERT_TRUE(x);
  EXPECT_EQ(x->codec, "h264");
  EXPECT_TRUE(x->stopOnEventError);
  EXPECT_TRUE(x->timeoutError);
  EXPECT_EQ(Parse({"export", "p.vpj", "-o", "o.avi"})->codec, "raw");

  EXPECT_EQ(Parse({"info", "p.vpj"})->command, CliCommand::Info);
  EXPECT_EQ(Parse({"codecs"})->command, CliCommand::Codecs);
  EXPECT_EQ(Parse({"--help"})->command, CliCommand::Help);
  EXPECT_EQ(Parse({"render", "--help"})->command, CliCommand::Help);
}

TEST(CliOptionsTest, UsageErrors) {
  std::string error;
  EXPECT_FALSE(Parse({}, &error));
  EXPECT_FALSE(Parse({"draw", "p.vpj"}, &error));
  EXPECT_EQ(error, "unknown command: draw");
  EXPECT_FALSE(Parse({"render", "p.vpj", "-o", "o.bmp"}, &error));  // no frame
  EXPECT_FALSE(Parse({"render", "p.vpj", "--frame", "1"}, &error));  // no output
  EXPECT_FALSE(Parse({"render", "--frame", "1", "-o", "x"}, &error));  // no project
  EXPECT_FALSE(Parse({"render", "p.vpj", "--frame", "-1", "-o", "x"}, &error));
  EXPECT_FALSE(Parse({"render", "p.vpj", "--frame", "4294967296", "-o", "x"}, &error));
  EXPECT_FALSE(Parse({"render", "p.vpj", "--frame", "12abc", "-o", "x"}, &error));
  EXPECT_FALSE(Parse({"render", "p.vpj", "--frame", "1", "--track", "256", "-o", "x"}, &error));
  EXPECT_FALSE(Parse({"source", "p.vpj", "--file", "1024", "-o", "x"}, &error));
  EXPECT_FALSE(Parse({"source", "p.vpj", "-o", "x"}, &error));  // no file ID
  EXPECT_FALSE(Parse({"info", "p.vpj", "--track", "3"}, &error));
  EXPECT_FALSE(Parse({"info", "a.vpj", "b.vpj"}, &error));
  EXPECT_FALSE(Parse({"info", "p.vpj", "--bogus"}, &error));
  EXPECT_FALSE(Parse({"codecs", "p.vpj"}, &error));
  EXPECT_FALSE(Parse({"render", "p.vpj", "--frame"}, &error));
  EXPECT_EQ(error, "--frame needs a value");
}

}  // namespace
}  // namespace tavrona
