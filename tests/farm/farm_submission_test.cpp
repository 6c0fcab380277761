// A whole submission through the library against stand-ins for sbatch and squeue: what it
// submits, what it writes, and what it refuses.
#include "farm/farm_submission.h"

#include <gtest/gtest.h>

#include <sstream>

#include "slurm_stand_in.h"

namespace tavrona {
namespace {

class FarmSubmissionTest : public SlurmStandInTest {
 protected:
  void SetUp() override {
    SlurmStandInTest::SetUp();
    CountingSbatch();
    plan_ = SamplePlan();
  }

  std::optional<FarmPlan> Manifest() {
    std::string why;
    const auto text = ReadFarmFile(FarmManifestPath(plan_.output));
    return text ? ParseFarmManifest(*text, &why) : std::nullopt;
  }

  FarmPlan plan_;
  const std::string cli_ = "/opt/tavrona/tavrona-cli";
};

TEST_F(FarmSubmissionTest, SubmitsEveryPartThenTheJoinAndNotesBoth) {
  FarmPlan plan = plan_;
  const FarmSubmission s = SubmitFarm(plan, {"render", ""}, cli_, slurm_);
  ASSERT_EQ(s.result, FarmSubmission::Result::Submitted);
  EXPECT_EQ(s.parts, (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(s.arrayJobId, "41");
  EXPECT_EQ(s.joinJobId, "42");
  EXPECT_TRUE(s.ignoredManifest.empty());
  EXPECT_TRUE(s.unnoted.empty());
  const std::string folder = FarmPartsFolder(plan_.output);
  std::string arrayArgs, joinArgs;
  for (const std::string& a : ArraySubmitArgs(plan_, {0, 1, 2}, {"render", ""},
                                              folder + "/parts.sh")) {
    arrayArgs += (arrayArgs.empty() ? "" : " ") + a;
  }
  for (const std::string& a : JoinSubmitArgs(plan_, "41", {"render", ""}, folder + "/join.sh")) {
    joinArgs += (joinArgs.empty() ? "" : " ") + a;
  }
  EXPECT_EQ(Calls("sbatch"), (std::vector<std::string>{arrayArgs, joinArgs}));
  EXPECT_EQ(ReadFarmFile(folder + "/parts.sh"), BuildArrayScript(plan_, cli_));
  EXPECT_EQ(ReadFarmFile(folder + "/join.sh"), BuildJoinScript(plan_, cli_));
  const auto manifest = Manifest();
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->jobIds, (std::vector<std::string>{"41", "42"}));
  EXPECT_EQ(plan.jobIds, manifest->jobIds);
}

// A rerun while the earlier jobs are listed submits nothing; once they are gone it submits
// again (every part: none was made), and an earlier manifest it cannot read is said so.
TEST_F(FarmSubmissionTest, ARerunWaitsForTheEarlierJobs) {
  FarmPlan first = plan_;
  ASSERT_EQ(SubmitFarm(first, {}, cli_, slurm_).result, FarmSubmission::Result::Submitted);
  StandIn("squeue", "41_1\n42\n");
  FarmPlan second = plan_;
  const FarmSubmission busy = SubmitFarm(second, {}, cli_, slurm_);
  EXPECT_EQ(busy.result, FarmSubmission::Result::StillAtWork);
  EXPECT_EQ(busy.activeJobs, (std::vector<std::string>{"41", "42"}));
  EXPECT_EQ(Calls("squeue"), std::vector<std::string>{"-h -o %i -j 41,42"});
  EXPECT_EQ(Calls("sbatch").size(), 2u);
  EXPECT_EQ(Manifest()->jobIds, (std::vector<std::string>{"41", "42"}));  // untouched

  StandIn("squeue", "");
  const FarmSubmission again = SubmitFarm(second, {}, cli_, slurm_);
  ASSERT_EQ(again.result, FarmSubmission::Result::Submitted);
  EXPECT_EQ(again.parts.size(), 3u);
  EXPECT_EQ(Manifest()->jobIds, (std::vector<std::string>{"43", "44"}));

  std::ofstream(FarmManifestPath(plan_.output)) << "not a manifest\n";
  FarmPlan third = plan_;
  const FarmSubmission fresh = SubmitFarm(third, {}, cli_, slurm_);
  EXPECT_EQ(fresh.result, FarmSubmission::Result::Submitted);
  EXPECT_FALSE(fresh.ignoredManifest.empty());
}

TEST_F(FarmSubmissionTest, RefusalsLeaveWhatTheySay) {
  // Another submission holds the lock: nothing read, nothing submitted.
  fs::create_directories(FarmPartsFolder(plan_.output));
  {
    FarmLockRefusal refusal;
    auto held = FarmLock::Take(FarmPartsFolder(plan_.output), &refusal);
    ASSERT_TRUE(held);
    FarmPlan plan = plan_;
    const FarmSubmission locked = SubmitFarm(plan, {}, cli_, slurm_);
    EXPECT_EQ(locked.result, FarmSubmission::Result::Locked);
    EXPECT_TRUE(locked.lockRefusal.held);
    EXPECT_TRUE(Calls("sbatch").empty());
  }
  // sbatch takes the array but not the join: the array is noted, the refusal kept.
  StandInScript("sbatch",
                "case \"$*\" in *--array=*) echo 51 ;; *) echo 'sbatch: error: Batch job "
                "submission failed: Invalid qos' >&2; exit 1 ;; esac");
  FarmPlan plan = plan_;
  const FarmSubmission join = SubmitFarm(plan, {}, cli_, slurm_);
  EXPECT_EQ(join.result, FarmSubmission::Result::JoinNotSubmitted);
  EXPECT_EQ(join.arrayJobId, "51");
  EXPECT_EQ(join.refusal.exitStatus, 1);
  EXPECT_EQ(join.refusal.text, "sbatch: error: Batch job submission failed: Invalid qos");
  EXPECT_EQ(Manifest()->jobIds, std::vector<std::string>{"51"});

  // No parts folder can be made where a file stands.
  FarmPlan blocked = plan_;
  blocked.output = (folder_ / "file" / "out.avi").string();
  std::ofstream(folder_ / "file") << "x";
  const FarmSubmission noFolder = SubmitFarm(blocked, {}, cli_, slurm_);
  EXPECT_EQ(noFolder.result, FarmSubmission::Result::NoPartsFolder);
  EXPECT_FALSE(noFolder.folderError.empty());
}

}  // namespace
}  // namespace tavrona
