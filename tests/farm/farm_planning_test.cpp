// Planning a farm export from a loaded project: the plan's facts and every refusal.
#include "farm/farm_planning.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "export_test_support.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

class FarmPlanningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrona_farm_planning_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    std::ofstream(root_ / "p.vpj") << "project bytes";
    project_ = testing::ProjectWithGradientStill(64, 48, 30, {3, 8, 6, 30, 40, 99});
    ASSERT_TRUE(project_);
    request_.project = (root_ / "." / "p.vpj").string();
    request_.output = (root_ / "out.avi").string();
    request_.parts = 3;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::optional<FarmPlan> Plan(FarmPlanProblem* problem) {
    return PlanFarm(request_, *project_, problem);
  }

  fs::path root_;
  std::unique_ptr<ProjectData> project_;
  FarmRequest request_;
};

TEST_F(FarmPlanningTest, APlanTilesTheProjectAndNamesItsVersion) {
  request_.stopOnEventError = true;
  request_.noSound = true;
  FarmPlanProblem problem;
  const auto plan = Plan(&problem);
  ASSERT_TRUE(plan) << static_cast<int>(problem.kind) << " " << problem.detail;
  EXPECT_EQ(plan->project, (root_ / "p.vpj").string());  // absolute and normal
  EXPECT_EQ(plan->output, (root_ / "out.avi").string());
  EXPECT_EQ(plan->ranges, (std::vector<ExportRange>{{0, 9}, {10, 19}, {20, 29}}));
  EXPECT_EQ(plan->length, 30u);
  EXPECT_EQ(plan->width, 64u);
  EXPECT_EQ(plan->height, 48u);
  EXPECT_NE(plan->rate, 0u);
  EXPECT_EQ(plan->digest.size(), 64u);
  EXPECT_TRUE(plan->sound.empty());
  EXPECT_EQ(plan->exportOptions,
            (std::vector<std::string>{"--no-audio", "--stop-on-event-error"}));
  // What a manifest holds comes back whole.
  std::string why;
  const auto back = ParseFarmManifest(FormatFarmManifest(*plan), &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(back->ranges, plan->ranges);
}

TEST_F(FarmPlanningTest, RefusesWhatCannotBeFarmed) {
  using Kind = FarmPlanProblem::Kind;
  FarmPlanProblem problem;
  request_.codec = "no-such-codec";
  EXPECT_FALSE(Plan(&problem));
  EXPECT_EQ(problem.kind, Kind::UnknownCodec);
  request_.codec = "raw";

  request_.parts = 31;
  EXPECT_FALSE(Plan(&problem));
  EXPECT_EQ(problem.kind, Kind::MorePartsThanFrames);
  request_.parts = 3;

  request_.output = (root_ / "missing" / "out.avi").string();
  EXPECT_FALSE(Plan(&problem));
  EXPECT_EQ(problem.kind, Kind::NoOutputFolder);
  EXPECT_EQ(problem.detail, (root_ / "missing").string());
  request_.output = (root_ / "out.avi").string();

  request_.project = (root_ / "gone.vpj").string();
  EXPECT_FALSE(Plan(&problem));
  EXPECT_EQ(problem.kind, Kind::NoDigest);
  EXPECT_FALSE(problem.detail.empty());
  request_.project = (root_ / "p.vpj").string();

  // H.264 in MP4 starts a part only on a key frame: more parts than groups of frames between
  // key frames cannot be.
  project_->movieLength = 150;
  request_.output = (root_ / "out.mp4").string();
  request_.codec = "h264";
  request_.parts = 150;
  EXPECT_FALSE(Plan(&problem));
  EXPECT_EQ(problem.kind, Kind::MorePartsThanKeyGroups);
  EXPECT_GT(problem.keyInterval, 1u);
  EXPECT_EQ(problem.groups, (150 + problem.keyInterval - 1) / problem.keyInterval);
  request_.parts = problem.groups;
  const auto plan = Plan(&problem);
  ASSERT_TRUE(plan);
  for (const ExportRange& r : plan->ranges) EXPECT_EQ(r.first % problem.keyInterval, 0u);

  project_->movieLength = 0;
  EXPECT_FALSE(Plan(&problem));
  EXPECT_EQ(problem.kind, Kind::NoFrames);
}

}  // namespace
}  // namespace tavrona
