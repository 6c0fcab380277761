// How a farm run stands: Slurm's word on the array tasks still held, and each part's file.
#include "farm/farm_status.h"

#include <gtest/gtest.h>

#include "farm/farm_submission.h"
#include "slurm_stand_in.h"

namespace tavrona {
namespace {

TEST(FarmStatusParts, SqueueTasksAreReadByIndexAndOtherLinesLeftOut) {
  const auto tasks = ParseSqueueTasks(
      "12_3 RUNNING\n12_[4-7] PENDING\n13 PENDING\n12_5 PENDING\nnonsense\n12_x RUNNING\n\n");
  EXPECT_EQ(tasks, (std::map<size_t, std::string>{{3, "RUNNING"}, {5, "PENDING"}}));
  EXPECT_TRUE(ParseSqueueTasks("").empty());
}

// A task still held by Slurm says what the part's file cannot yet; a task in another state
// (or none) leaves the file's verdict.
TEST(FarmStatusParts, ATaskAtWorkOutranksTheFilesVerdict) {
  const PartVerdict missing{PartState::Missing, "missing"};
  const PartVerdict cut{PartState::Incomplete, "holds 3 of 10 frames"};
  const std::string running = "RUNNING", pending = "PENDING", failed = "FAILED";
  EXPECT_EQ(PartStatus(missing, &pending), FarmPartStatus::Queued);
  EXPECT_EQ(PartStatus(cut, &running), FarmPartStatus::Running);
  EXPECT_EQ(PartStatus(cut, &failed), FarmPartStatus::Incomplete);
  EXPECT_EQ(PartStatus(missing, nullptr), FarmPartStatus::Missing);
  EXPECT_EQ(PartStatus({PartState::Stale, "other plan"}, nullptr), FarmPartStatus::Stale);
  EXPECT_EQ(PartStatus({PartState::Complete, ""}, nullptr), FarmPartStatus::Complete);
}

class FarmStatusTest : public SlurmStandInTest {
 protected:
  void SetUp() override {
    SlurmStandInTest::SetUp();
    CountingSbatch();
    plan_ = SamplePlan();
    FarmPlan submitted = plan_;
    ASSERT_EQ(SubmitFarm(submitted, {}, "/opt/tavrona-cli", slurm_).result,
              FarmSubmission::Result::Submitted);
  }

  std::vector<FarmPartStatus> Statuses(const FarmStatus& status) {
    std::vector<FarmPartStatus> all;
    for (const FarmPartRow& row : status.parts) all.push_back(row.status);
    return all;
  }

  FarmPlan plan_;
};

TEST_F(FarmStatusTest, TasksAtWorkShowAndHoldTheRerunBack) {
  Queue("41_1\n41_2\n42\n", "41_1 RUNNING\n41_2 PENDING\n42 PENDING\n");
  const FarmStatus status = ReadFarmStatus(plan_.output, slurm_);
  ASSERT_TRUE(status.error.empty()) << status.error;
  EXPECT_EQ(Statuses(status),
            (std::vector<FarmPartStatus>{FarmPartStatus::Missing, FarmPartStatus::Running,
                                         FarmPartStatus::Queued}));
  EXPECT_EQ(status.parts[1].range, (ExportRange{10, 19}));
  EXPECT_TRUE(status.parts[0].detail.empty());  // the state says it all
  EXPECT_EQ(status.activeJobs, (std::vector<std::string>{"41", "42"}));
  EXPECT_EQ(status.output, OutputState::Absent);
  EXPECT_FALSE(RerunOffered(status));
  // Both jobs were asked about, the tasks one a line.
  const auto calls = Calls("squeue");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], "-h -r -o %i %T -j 41,42");
}

TEST_F(FarmStatusTest, WhenTheJobsAreGoneWhatIsMissingCanBeRunAgain) {
  Queue("", "");
  const FarmStatus status = ReadFarmStatus(plan_.output, slurm_);
  EXPECT_EQ(Statuses(status), std::vector<FarmPartStatus>(3, FarmPartStatus::Missing));
  EXPECT_TRUE(status.activeJobs.empty());
  EXPECT_TRUE(RerunOffered(status));
  EXPECT_EQ(Calls("squeue").size(), 1u);  // no job held: no task to ask about
}

TEST_F(FarmStatusTest, AnUnreadableManifestIsSaidAndOffersNothing) {
  Queue("", "");
  std::ofstream(FarmManifestPath(plan_.output)) << "not a manifest\n";
  const FarmStatus broken = ReadFarmStatus(plan_.output, slurm_);
  EXPECT_NE(broken.error.find("manifest.txt: "), std::string::npos) << broken.error;
  EXPECT_TRUE(broken.parts.empty());
  EXPECT_FALSE(RerunOffered(broken));
  const FarmStatus none = ReadFarmStatus((folder_ / "other.avi").string(), slurm_);
  EXPECT_NE(none.error.find("No such file"), std::string::npos) << none.error;
}

}  // namespace
}  // namespace tavrona
