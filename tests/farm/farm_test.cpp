// The farm's decisions without a cluster: the manifest, which parts a rerun submits, the batch
// scripts (run through /bin/sh with a stand-in tavrona-cli), sbatch's arguments and the lock.
#include <optional>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "export/export_part.h"
#include "farm/batch_script.h"
#include "farm/farm_lock.h"
#include "farm/farm_plan.h"
#include "farm/part_verdict.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

FarmPlan ThreePartPlan(const std::string& output = "/shared/out/demo.avi") {
  FarmPlan plan;
  plan.project = "/shared/projects/demo.vpj";
  plan.output = output;
  plan.codec = "h264";
  plan.width = 1280;
  plan.height = 720;
  plan.length = 210;
  plan.rate = 300000;
  plan.scale = 10000;
  plan.digest = std::string(64, 'd');
  plan.ranges = {{0, 69}, {70, 139}, {140, 209}};
  return plan;
}

PartInfo CompletePart(const FarmPlan& plan, size_t i) {
  PartInfo info;
  info.first = plan.ranges[i].first;
  info.last = plan.ranges[i].last;
  info.projectLength = plan.length;
  info.framesPresent = info.last - info.first + 1;
  info.width = plan.width;
  info.height = plan.height;
  info.rate = 30;
  info.codec = "h264";
  info.container = "avi";
  info.digest = plan.digest;
  return info;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

TEST(FarmManifestTest, ReadsBackWhatItWrites) {
  const FarmPlan plan = ThreePartPlan("/shared/my out/it's.avi");
  std::string why;
  const auto back = ParseFarmManifest(FormatFarmManifest(plan), &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(back->project, plan.project);
  EXPECT_EQ(back->output, plan.output);
  EXPECT_EQ(back->codec, plan.codec);
  EXPECT_EQ(back->width, 1280u);
  EXPECT_EQ(back->height, 720u);
  EXPECT_EQ(back->length, 210u);
  EXPECT_EQ(back->rate, 300000u);
  EXPECT_EQ(back->scale, 10000u);
  EXPECT_EQ(back->digest, plan.digest);
  EXPECT_EQ(back->ranges, plan.ranges);
  EXPECT_TRUE(back->jobIds.empty());
  FarmPlan submitted = plan;
  submitted.jobIds = {"41", "42"};
  const auto withJobs = ParseFarmManifest(FormatFarmManifest(submitted), &why);
  ASSERT_TRUE(withJobs) << why;
  EXPECT_EQ(withJobs->jobIds, submitted.jobIds);
  EXPECT_EQ(FarmPartsFolder(plan.output), "/shared/my out/it's.avi.parts");
  EXPECT_EQ(FarmManifestPath(plan.output), "/shared/my out/it's.avi.parts/manifest.txt");
  EXPECT_EQ(FarmPartPath(plan, 2), "/shared/my out/it's.avi.parts/part-2.avi");
  EXPECT_EQ(FarmPartPath(ThreePartPlan("/o/film.mkv"), 0), "/o/film.mkv.parts/part-0.mkv");
  EXPECT_EQ(FarmPartPath(ThreePartPlan("/o/film"), 1), "/o/film.parts/part-1.avi");

  // A manifest of an earlier version, without rate and digest: any rate, no version.
  std::string old = FormatFarmManifest(plan);
  for (const std::string& line :
       std::vector<std::string>{"rate 300000/10000\n", "digest " + plan.digest + "\n"}) {
    const size_t at = old.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    old.erase(at, line.size());
  }
  const auto earlier = ParseFarmManifest(old, &why);
  ASSERT_TRUE(earlier) << why;
  EXPECT_EQ(earlier->rate, 0u);
  EXPECT_TRUE(earlier->digest.empty());
  EXPECT_EQ(earlier->ranges, plan.ranges);
}

TEST(FarmManifestTest, SoundIsNamedOnlyWhenThereIsSome) {
  FarmPlan plan = ThreePartPlan();
  EXPECT_EQ(FormatFarmManifest(plan).find("sound"), std::string::npos);
  plan.sound = "aac";
  const std::string text = FormatFarmManifest(plan);
  EXPECT_NE(text.find("\nsound aac\n"), std::string::npos) << text;
  std::string why;
  const auto back = ParseFarmManifest(text, &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(back->sound, "aac");
  std::string twoWords = text;
  twoWords.replace(twoWords.find("sound aac"), 9, "sound a b");
  EXPECT_FALSE(ParseFarmManifest(twoWords, &why));

  // Parts of other sound are stale; a change of sound makes every part again.
  PartInfo part = CompletePart(plan, 1);
  EXPECT_EQ(JudgePart(plan, 1, part).state, PartState::Stale);
  part.sound = PartSound{"aac", 112000};
  part.soundReach = 112000;
  EXPECT_EQ(JudgePart(plan, 1, part).state, PartState::Complete);
  // Every frame there, but the sound cut short: incomplete, to be made again.
  part.soundReach = 100000;
  const PartVerdict cut = JudgePart(plan, 1, part);
  EXPECT_EQ(cut.state, PartState::Incomplete);
  EXPECT_EQ(cut.detail, "its sound ends after 100000 of its 112000 samples");
  part.soundReach = 112000;
  FarmPlan silent = plan;
  silent.sound.clear();
  const std::vector<std::optional<PartInfo>> infos = {part, part, part};
  EXPECT_EQ(PartsToResubmit(plan, silent, infos).size(), 3u);
}

TEST(FarmManifestTest, RefusesRangesThatDoNotTileTheProject) {
  const std::string good = FormatFarmManifest(ThreePartPlan());
  struct Case {
    const char* name;
    std::string from, to;
  } cases[] = {
      {"gap", "part 1 70 139", "part 1 71 139"},
      {"overlap", "part 1 70 139", "part 1 69 139"},
      {"past the end", "part 2 140 209", "part 2 140 210"},
      {"short of the end", "part 2 140 209", "part 2 140 208"},
      {"reversed", "part 1 70 139", "part 1 139 70"},
      {"out of order", "part 1 70 139", "part 3 70 139"},
      {"count", "parts 3", "parts 4"},
      {"header", "tavrona-farm 1", "tavrona-farm 2"},
      {"missing key", "codec h264\n", ""},
      {"twice", "codec h264\n", "codec h264\ncodec raw\n"},
      {"unknown key", "codec h264\n", "codec h264\ncolour red\n"},
      {"size", "size 1280x720", "size 1280*720"},
      {"number", "length 210", "length 2l0"},
      {"too big", "length 210", "length 4294967506"},  // 210 past 32 bits
      {"part words", "part 0 0 69", "part 0 0 69 1"},
      {"job id", "parts 3\n", "parts 3\njobs 41 x\n"},
      {"rate", "rate 300000/10000", "rate 300000"},
      {"zero rate", "rate 300000/10000", "rate 0/10000"},
      {"short digest", "digest dddd", "digest ddd"},
      {"digest letters", "digest dddd", "digest Dddd"},
  };
  for (const Case& c : cases) {
    std::string text = good;
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.name;
    text.replace(at, c.from.size(), c.to);
    std::string why;
    EXPECT_FALSE(ParseFarmManifest(text, &why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
  }
  std::string why;
  EXPECT_FALSE(ParseFarmManifest("", &why));
}

TEST(FarmPartsTest, AJudgedPartIsCompleteOnlyWhenItFitsThePlanWithAllItsFrames) {
  const FarmPlan plan = ThreePartPlan();
  EXPECT_EQ(JudgePart(plan, 1, std::nullopt).state, PartState::Missing);
  EXPECT_EQ(JudgePart(plan, 1, CompletePart(plan, 1)).state, PartState::Complete);

  PartInfo shortOne = CompletePart(plan, 1);
  shortOne.framesPresent = 12;
  PartVerdict v = JudgePart(plan, 1, shortOne);
  EXPECT_EQ(v.state, PartState::Incomplete);
  EXPECT_NE(v.detail.find("12 of the 70"), std::string::npos) << v.detail;

  // What the join would refuse makes a part stale: made for another plan, to be made again.
  struct Case {
    const char* name;
    std::function<void(PartInfo&)> change;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"part 0's file in part 1's place", [&](PartInfo& p) { p = CompletePart(plan, 0); }, "0-69"},
      {"another size", [](PartInfo& p) { p.width = 640; }, "640x720"},
      {"another project", [](PartInfo& p) { p.projectLength = 300; }, "another project"},
      {"another version", [](PartInfo& p) { p.digest = std::string(64, 'e'); }, "another version"},
      {"no version", [](PartInfo& p) { p.digest.clear(); }, "version"},
      {"another codec", [](PartInfo& p) { p.codec = "rawvideo"; }, "codec rawvideo, not h264"},
      {"another container", [](PartInfo& p) { p.container = "mkv"; }, "mkv"},
      {"another rate", [](PartInfo& p) { p.rate = 25; }, "frame rate"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PartInfo info = CompletePart(plan, 1);
    c.change(info);
    v = JudgePart(plan, 1, info);
    EXPECT_EQ(v.state, PartState::Stale);
    EXPECT_NE(v.detail.find(c.words), std::string::npos) << v.detail;
  }

  // Full frames: the plan names the compressor, the part the codec.
  FarmPlan raw = plan;
  raw.codec = "raw";
  PartInfo rawPart = CompletePart(raw, 2);
  rawPart.codec = "rawvideo";
  EXPECT_EQ(JudgePart(raw, 2, rawPart).state, PartState::Complete);
  EXPECT_EQ(JudgePart(plan, 2, rawPart).state, PartState::Stale);
}

TEST(FarmPartsTest, ARerunSubmitsOnlyWhatIsNotComplete) {
  const FarmPlan plan = ThreePartPlan();
  PartInfo partial = CompletePart(plan, 2);
  partial.framesPresent = 69;
  const std::vector<std::optional<PartInfo>> infos = {CompletePart(plan, 0), std::nullopt, partial};
  EXPECT_EQ(PartsToResubmit(plan, plan, infos), (std::vector<size_t>{1, 2}));

  const std::vector<std::optional<PartInfo>> allDone = {
      CompletePart(plan, 0), CompletePart(plan, 1), CompletePart(plan, 2)};
  EXPECT_TRUE(PartsToResubmit(plan, plan, allDone).empty());
  // No manifest from before: nothing on disk can be trusted to belong to this plan.
  EXPECT_EQ(PartsToResubmit(plan, std::nullopt, allDone), (std::vector<size_t>{0, 1, 2}));

  FarmPlan otherCodec = plan;
  otherCodec.codec = "raw";
  EXPECT_EQ(PartsToResubmit(plan, otherCodec, allDone).size(), 3u);
  FarmPlan otherProject = plan;
  otherProject.project = "/shared/projects/other.vpj";
  EXPECT_EQ(PartsToResubmit(plan, otherProject, allDone).size(), 3u);
  // The project edited since: its parts, stamped with the old version, are all made again.
  FarmPlan edited = plan;
  edited.digest = std::string(64, 'e');
  std::vector<std::optional<PartInfo>> oldParts = allDone;
  EXPECT_EQ(PartsToResubmit(edited, plan, oldParts), (std::vector<size_t>{0, 1, 2}));
  // A part of the earlier codec left by an interrupted run is made again alone.
  oldParts[1]->codec = "rawvideo";
  EXPECT_EQ(PartsToResubmit(plan, plan, oldParts), (std::vector<size_t>{1}));
}

TEST(FarmPartsTest, ADifferentSplitResubmitsEveryPart) {
  FarmPlan before = ThreePartPlan();
  FarmPlan now = before;
  now.ranges = {{0, 104}, {105, 209}};
  // Part 0 of the old split holds 0-69: not what part 0 now plans.
  const std::vector<std::optional<PartInfo>> infos = {CompletePart(before, 0),
                                                      CompletePart(before, 1)};
  EXPECT_EQ(PartsToResubmit(now, before, infos), (std::vector<size_t>{0, 1}));
}

TEST(FarmSubmitTest, ArraySpecsRunTogetherConsecutiveTasks) {
  EXPECT_EQ(ArraySpec({}), "");
  EXPECT_EQ(ArraySpec({4}), "4");
  EXPECT_EQ(ArraySpec({0, 1, 2}), "0-2");
  EXPECT_EQ(ArraySpec({0, 2, 3, 5, 7, 8, 9}), "0,2-3,5,7-9");
}

TEST(FarmSubmitTest, TheJoinDependsOnTheArrayAndIsKilledWhenItCannotRun) {
  const FarmPlan plan = ThreePartPlan("/shared/100%/demo.avi");
  const auto array = ArraySubmitArgs(plan, {1, 2}, {"render", "02:00:00"}, "/s/parts.sh");
  const std::vector<std::string> arrayWanted = {
      "--parsable",         "--job-name=tavrona-parts",
      "--array=1-2",        "--output=/shared/100%%/demo.avi.parts/part-%a.log",
      "--open-mode=append", "--chdir=/shared/100%/demo.avi.parts",
      "--partition=render", "--time=02:00:00",
      "/s/parts.sh"};
  EXPECT_EQ(array, arrayWanted);

  const auto join = JoinSubmitArgs(plan, "41", {}, "/s/join.sh");
  const std::vector<std::string> joinWanted = {"--parsable",
                                               "--job-name=tavrona-join",
                                               "--output=/shared/100%%/demo.avi.parts/join.log",
                                               "--open-mode=append",
                                               "--chdir=/shared/100%/demo.avi.parts",
                                               "--dependency=afterok:41",
                                               "--kill-on-invalid-dep=yes",
                                               "/s/join.sh"};
  EXPECT_EQ(join, joinWanted);
  // Nothing to export: the join runs at once.
  for (const std::string& a : JoinSubmitArgs(plan, "", {}, "/s/join.sh")) {
    EXPECT_EQ(a.find("--dependency"), std::string::npos) << a;
  }
}

// The scripts run through /bin/sh with a stand-in for tavrona-cli that records its arguments and
// writes its -o file (or fails, when told to).
class FarmScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrona_farm_script_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    // A folder name a careless script would split or unquote.
    root_ = fs::path(pattern) / "shared it's $HOME";
    fs::create_directories(root_);
    cli_ = (root_ / "fake cli").string();
    WriteFile(cli_,
              "#!/bin/sh\n"
              "here=$(dirname \"$0\")\n"
              "printf '%s\\n' \"$@\" > \"$here/args\"\n"
              "out=\n"
              "while [ $# -gt 0 ]; do [ \"$1\" = -o ] && out=$2; shift; done\n"
              "echo written > \"$out\" || exit 1\n"
              "[ ! -e \"$here/fail\" ]\n");
    chmod(cli_.c_str(), 0755);
    plan_ = ThreePartPlan((root_ / "out.mkv").string());
    plan_.project = (root_ / "my project.vpj").string();
    fs::create_directories(FarmPartsFolder(plan_.output));
    log_ = root_ / "task.log";
  }
  void TearDown() override { fs::remove_all(root_.parent_path()); }

  // Runs the script as job 41 with SLURM_ARRAY_TASK_ID set (or not, when task is null), its
  // output appended to log_ as sbatch --open-mode=append does; the exit status.
  int Run(const std::string& script, const char* task) {
    const fs::path file = root_ / "script.sh";
    WriteFile(file, script);
    // The folder name holds a quote: the paths go through the environment.
    setenv("TAVRONA_FARM_SCRIPT", file.c_str(), 1);
    setenv("TAVRONA_FARM_LOG", log_.c_str(), 1);
    const std::string command = "cd / && export SLURM_JOB_ID=41 SLURM_ARRAY_JOB_ID=41; " +
                                (task ? std::string("SLURM_ARRAY_TASK_ID=") + task + " "
                                      : std::string("unset SLURM_ARRAY_TASK_ID; ")) +
                                "/bin/sh \"$TAVRONA_FARM_SCRIPT\" >>\"$TAVRONA_FARM_LOG\" 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // How many times text occurs in the log.
  size_t InLog(const std::string& text) {
    const std::string log = ReadFile(log_);
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
      ++count;
    }
    return count;
  }

  fs::path root_;
  std::string cli_;
  FarmPlan plan_;
  fs::path log_;
};

TEST_F(FarmScriptTest, ATaskExportsItsRangeAndRenamesThePartOnlyOnSuccess) {
  const std::string script = BuildArrayScript(plan_, cli_);
  ASSERT_EQ(Run(script, "1"), 0);
  const std::string writing = FarmPartsFolder(plan_.output) + "/part-1.writing.mkv";
  const std::vector<std::string> wanted = {"export",   plan_.project, "-o",      writing,
                                           "--frames", "70-139",      "--codec", "h264"};
  EXPECT_EQ(Lines(ReadFile(root_ / "args")), wanted);
  EXPECT_EQ(ReadFile(FarmPartPath(plan_, 1)), "written\n");
  EXPECT_FALSE(fs::exists(writing));
  EXPECT_FALSE(fs::exists(FarmPartPath(plan_, 0)));

  // The export's own options go along.
  plan_.exportOptions = {"--stop-on-event-error", "--timeout-error"};
  ASSERT_EQ(Run(BuildArrayScript(plan_, cli_), "0"), 0);
  const std::vector<std::string> withOptions = {
      "export",
      plan_.project,
      "-o",
      FarmPartsFolder(plan_.output) + "/part-0.writing.mkv",
      "--frames",
      "0-69",
      "--codec",
      "h264",
      "--stop-on-event-error",
      "--timeout-error"};
  EXPECT_EQ(Lines(ReadFile(root_ / "args")), withOptions);

  // A failed export leaves no part and no half-written file behind, and fails the task.
  WriteFile(root_ / "fail", "");
  EXPECT_NE(Run(script, "2"), 0);
  EXPECT_FALSE(fs::exists(FarmPartPath(plan_, 2)));
  EXPECT_FALSE(fs::exists(FarmPartsFolder(plan_.output) + "/part-2.writing.mkv"));
  EXPECT_EQ(Lines(ReadFile(root_ / "args"))[5], "140-209");
  // A failed rerun of a part leaves the earlier part in place rather than destroying it.
  EXPECT_NE(Run(script, "1"), 0);
  EXPECT_EQ(ReadFile(FarmPartPath(plan_, 1)), "written\n");
  // Every attempt begins its lines in the log, which keeps the earlier attempts'.
  EXPECT_EQ(InLog("== attempt: job 41 task 1 on "), 2u) << ReadFile(log_);
  EXPECT_EQ(InLog("== attempt: job 41 task 2 on "), 1u) << ReadFile(log_);
}

TEST_F(FarmScriptTest, AFailedTasksLogGivesTheCauseOnce) {
  // Something other than a file where the task writes its part: the export cannot open it and
  // says why; the script does not say it again by trying to remove it.
  fs::create_directories(FarmWritingPath(plan_, 0));
  EXPECT_NE(Run(BuildArrayScript(plan_, cli_), "0"), 0);
  EXPECT_EQ(InLog("Is a directory"), 1u) << ReadFile(log_);
  EXPECT_TRUE(fs::is_directory(FarmWritingPath(plan_, 0)));
  EXPECT_FALSE(fs::exists(FarmPartPath(plan_, 0)));
}

TEST_F(FarmScriptTest, ATaskOutsideThePlanFailsWithoutRunningAnything) {
  const std::string script = BuildArrayScript(plan_, cli_);
  EXPECT_NE(Run(script, "3"), 0);
  EXPECT_NE(Run(script, nullptr), 0);
  EXPECT_FALSE(fs::exists(root_ / "args"));
}

TEST_F(FarmScriptTest, TheJoinTakesThePartsInOrderAndWritesTheOutputOnlyOnSuccess) {
  const std::string script = BuildJoinScript(plan_, cli_);
  WriteFile(root_ / "fail", "");
  EXPECT_NE(Run(script, nullptr), 0);
  EXPECT_FALSE(fs::exists(plan_.output));
  EXPECT_FALSE(fs::exists(FarmPartsFolder(plan_.output) + "/joined.writing.mkv"));

  fs::remove(root_ / "fail");
  ASSERT_EQ(Run(script, nullptr), 0);
  const std::vector<std::string> wanted = {"join",
                                           FarmPartPath(plan_, 0),
                                           FarmPartPath(plan_, 1),
                                           FarmPartPath(plan_, 2),
                                           "-o",
                                           FarmPartsFolder(plan_.output) + "/joined.writing.mkv"};
  EXPECT_EQ(Lines(ReadFile(root_ / "args")), wanted);
  EXPECT_EQ(ReadFile(plan_.output), "written\n");
  EXPECT_EQ(InLog("== attempt: job 41 on "), 2u) << ReadFile(log_);
}

// The join records the plan it joined; --status calls OUT present only when that is the plan
// of the manifest and OUT was not written again since.
TEST_F(FarmScriptTest, TheJoinRecordsItsPlanAndOnlyThatOutputIsPresent) {
  EXPECT_EQ(JudgeFarmOutput(plan_), OutputState::Absent);
  WriteFile(root_ / "fail", "");
  EXPECT_NE(Run(BuildJoinScript(plan_, cli_), nullptr), 0);
  EXPECT_FALSE(fs::exists(FarmJoinedPath(plan_.output)));
  fs::remove(root_ / "fail");
  ASSERT_EQ(Run(BuildJoinScript(plan_, cli_), nullptr), 0);
  EXPECT_EQ(ReadFile(FarmJoinedPath(plan_.output)), FarmPlanIdentity(plan_));
  EXPECT_EQ(JudgeFarmOutput(plan_), OutputState::Current);
  // Job ids are not the plan: the submission that noted them is still the one joined.
  plan_.jobIds = {"41", "42"};
  EXPECT_EQ(JudgeFarmOutput(plan_), OutputState::Current);

  // A later run planned another codec and did not get to its join.
  FarmPlan later = plan_;
  later.codec = "ffv1";
  EXPECT_EQ(JudgeFarmOutput(later), OutputState::OtherPlan);
  later = plan_;
  later.digest = std::string(64, 'e');
  EXPECT_EQ(JudgeFarmOutput(later), OutputState::OtherPlan);

  // OUT written again after the join (a single-machine export to the same name).
  fs::last_write_time(plan_.output,
                      fs::last_write_time(FarmJoinedPath(plan_.output)) + std::chrono::seconds(2));
  EXPECT_EQ(JudgeFarmOutput(plan_), OutputState::WrittenSinceJoin);

  fs::remove(FarmJoinedPath(plan_.output));
  EXPECT_EQ(JudgeFarmOutput(plan_), OutputState::NoJoinRecorded);
  fs::remove(plan_.output);
  EXPECT_EQ(JudgeFarmOutput(plan_), OutputState::Absent);
}

TEST_F(FarmScriptTest, ARerunRemovesWhatCutOffTasksLeftOfItsPartsOnly) {
  for (size_t i = 0; i < 3; ++i) WriteFile(FarmWritingPath(plan_, i), "half");
  WriteFile(FarmJoiningPath(plan_), "half");
  WriteFile(FarmPartPath(plan_, 0), "whole");
  EXPECT_TRUE(RemoveStaleWritingFiles(plan_, {0, 1}).empty());
  EXPECT_FALSE(fs::exists(FarmWritingPath(plan_, 0)));
  EXPECT_FALSE(fs::exists(FarmWritingPath(plan_, 1)));
  EXPECT_TRUE(fs::exists(FarmWritingPath(plan_, 2)));  // not resubmitted
  EXPECT_FALSE(fs::exists(FarmJoiningPath(plan_)));    // the join always runs again
  EXPECT_EQ(ReadFile(FarmPartPath(plan_, 0)), "whole");
  // Only files: a folder in a part's place is not the farm's.
  fs::remove(FarmWritingPath(plan_, 2));
  fs::create_directories(FarmWritingPath(plan_, 2));
  EXPECT_TRUE(RemoveStaleWritingFiles(plan_, {2}).empty());
  EXPECT_TRUE(fs::is_directory(FarmWritingPath(plan_, 2)));
}

// --status reads every part's file: none is missing, a file that is no part is incomplete with
// the reason it cannot be read.
TEST_F(FarmScriptTest, PartFilesAreJudgedWhereTheyLie) {
  WriteFile(FarmPartPath(plan_, 1), "not a movie");
  const std::vector<PartVerdict> verdicts = JudgePartFiles(plan_);
  ASSERT_EQ(verdicts.size(), 3u);
  EXPECT_EQ(verdicts[0].state, PartState::Missing);
  EXPECT_EQ(verdicts[1].state, PartState::Incomplete);
  EXPECT_FALSE(verdicts[1].detail.empty());
  EXPECT_EQ(verdicts[2].state, PartState::Missing);
  // Nothing readable: every part is submitted, with or without an earlier plan.
  EXPECT_EQ(PartsToResubmit(plan_, plan_, ProbeParts(plan_)), (std::vector<size_t>{0, 1, 2}));
}

TEST(FarmLockTest, OneSubmissionAtATimeTheOtherIsToldWho) {
  char pattern[] = "/tmp/tavrona_farm_lock_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  FarmLockRefusal refusal;
  std::optional<FarmLock> first = FarmLock::Take(folder, &refusal);
  ASSERT_TRUE(first) << std::strerror(refusal.error);

  // Another descriptor in this process, as a second submission would open it.
  EXPECT_FALSE(FarmLock::Take(folder, &refusal));
  EXPECT_TRUE(refusal.held);
  EXPECT_EQ(refusal.path, FarmLockPath(folder));
  EXPECT_EQ(refusal.holder.rfind("process " + std::to_string(getpid()) + " on ", 0), 0u)
      << refusal.holder;

  // Another process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FarmLockRefusal childRefusal;
    _exit(FarmLock::Take(folder, &childRefusal) ? 0 : childRefusal.held ? 3 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;

  first.reset();
  EXPECT_EQ(fs::file_size(FarmLockPath(folder)), 0u);  // no holder named once released
  EXPECT_TRUE(FarmLock::Take(folder, &refusal)) << std::strerror(refusal.error);
  FarmLockRefusal missing;
  EXPECT_FALSE(FarmLock::Take(folder + "/no such folder", &missing));
  EXPECT_FALSE(missing.held);
  EXPECT_TRUE(missing.opening);
  EXPECT_EQ(missing.error, ENOENT);
  fs::remove_all(folder);
}

TEST(FarmSubmitTest, ShellQuotingSurvivesTheShell) {
  for (const std::string word : {"plain", "two words", "it's", "$HOME `id` \"q\"", "", "'"}) {
    const std::string command = "printf '%s' " + ShellQuote(word);
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    EXPECT_EQ(out, word);
  }
}

}  // namespace
}  // namespace tavrona
