// Running a program: both outputs captured whatever their size, the exit status, and a program
// that outlives its time killed rather than waited for.
#include "app/process_runner.h"

#include <gtest/gtest.h>

namespace tavrona {
namespace {

using namespace std::chrono_literals;

TEST(ProcessRunnerTest, CapturesBothOutputsAndTheStatus) {
  const ProgramRun run = RunProgram({"sh", "-c", "printf out; printf err >&2; exit 3"});
  EXPECT_EQ(run.status, 3);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.out, "out");
  EXPECT_EQ(run.err, "err");

  // More than a pipe holds on both outputs at once: neither may stall the other.
  const ProgramRun big = RunProgram(
      {"sh", "-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2; exit 0"}, 60s);
  EXPECT_EQ(big.status, 0);
  EXPECT_EQ(big.out.size(), 300000u);
  EXPECT_EQ(big.err.size(), 200000u);

  // Standard input is empty, not the caller's.
  EXPECT_EQ(RunProgram({"sh", "-c", "cat; echo end"}, 60s).out, "end\n");
}

TEST(ProcessRunnerTest, AProgramThatCannotStartSaysWhy) {
  const ProgramRun run = RunProgram({"tavrona-no-such-program"});
  EXPECT_EQ(run.status, -1);
  EXPECT_NE(run.err.find("tavrona-no-such-program"), std::string::npos) << run.err;
  EXPECT_EQ(RunProgram({}).status, -1);
  EXPECT_FALSE(FindOnPath("tavrona-no-such-program"));
  EXPECT_TRUE(FindOnPath("sh"));
}

TEST(ProcessRunnerTest, AProgramPastItsTimeIsKilled) {
  const ProgramRun run = RunProgram({"sh", "-c", "printf started; exec sleep 60"}, 200ms);
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(run.status, -1);
  EXPECT_EQ(run.out, "started");
  // Its outputs closed, it keeps running: still bounded.
  const ProgramRun quiet = RunProgram({"sh", "-c", "exec >&- 2>&-; exec sleep 60"}, 200ms);
  EXPECT_TRUE(quiet.timedOut);
}

}  // namespace
}  // namespace tavrona
