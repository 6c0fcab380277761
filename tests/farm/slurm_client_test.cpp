// The Slurm client against stand-in commands (slurm_stand_in.h).
#include "farm/slurm_client.h"

#include <gtest/gtest.h>

#include "slurm_stand_in.h"

namespace tavrona {
namespace {

using SlurmClientTest = SlurmStandInTest;

TEST_F(SlurmClientTest, SubmitsWithSbatchAndReadsItsAnswer) {
  StandIn("sbatch", "sbatch: note: defaults applied\n77;cluster\n");
  const SlurmSubmission ok = slurm_.Submit({"--parsable", "--array=0-2", "/p/parts.sh"});
  EXPECT_EQ(ok.result, SlurmSubmission::Result::Submitted);
  EXPECT_EQ(ok.jobId, "77");
  EXPECT_EQ(Calls("sbatch"), std::vector<std::string>{"--parsable --array=0-2 /p/parts.sh"});

  StandIn("sbatch", "", 1, "sbatch: error: invalid partition specified\n");
  const SlurmSubmission refused = slurm_.Submit({"x.sh"});
  EXPECT_EQ(refused.result, SlurmSubmission::Result::Failed);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.text, "sbatch: error: invalid partition specified");

  StandIn("sbatch", "Submitted batch job 12\n");
  const SlurmSubmission noId = slurm_.Submit({"x.sh"});
  EXPECT_EQ(noId.result, SlurmSubmission::Result::NoJobId);
  EXPECT_EQ(noId.text, "Submitted batch job 12");

  fs::remove(folder_ / "sbatch");
  const SlurmSubmission absent = slurm_.Submit({"x.sh"});
  EXPECT_EQ(absent.result, SlurmSubmission::Result::Failed);
  EXPECT_EQ(absent.exitStatus, -1);
  EXPECT_NE(absent.text.find("sbatch"), std::string::npos) << absent.text;
}

TEST_F(SlurmClientTest, ActiveJobsAreWhatSqueueStillLists) {
  EXPECT_TRUE(slurm_.ActiveJobs({"41"}).empty());  // no squeue: nothing known to be at work
  StandIn("squeue", "41_0\n41_[1-2]\n43\n");
  EXPECT_EQ(slurm_.ActiveJobs({"41", "42", "43"}), (std::vector<std::string>{"41", "43"}));
  EXPECT_EQ(Calls("squeue"), std::vector<std::string>{"-h -o %i -j 41,42,43"});
  EXPECT_TRUE(slurm_.ActiveJobs({}).empty());
  EXPECT_EQ(Calls("squeue").size(), 1u);  // no call for no jobs
  StandIn("squeue", "", 1, "slurm_load_jobs error: Unable to contact slurm controller\n");
  EXPECT_TRUE(slurm_.ActiveJobs({"41"}).empty());
}

// sacct answers for all jobs in one call; scontrol only for those it does not report.
TEST_F(SlurmClientTest, StatesComeFromSacctInOneCallAndScontrolForTheRest) {
  StandIn("sacct",
          "41|COMPLETED|None\n41_0|COMPLETED|None\n41.batch|COMPLETED|\n"
          "42|CANCELLED by 0|None\n");
  StandIn("scontrol", "JobId=43 JobName=tavrona-join JobState=PENDING Reason=Dependency\n");
  const SlurmJobStates states = slurm_.JobStates({"41", "42", "43"});
  ASSERT_EQ(states.jobs.size(), 3u);
  EXPECT_EQ(states.jobs.at("41").state, "COMPLETED");
  EXPECT_EQ(states.jobs.at("42").state, "CANCELLED");
  EXPECT_EQ(states.jobs.at("43").state, "PENDING");
  EXPECT_EQ(states.jobs.at("43").reason, "Dependency");
  EXPECT_EQ(Calls("sacct"), std::vector<std::string>{"-n -P -X -o JobID,State,Reason -j 41,42,43"});
  EXPECT_EQ(Calls("scontrol"), std::vector<std::string>{"show job -o 43"});
}

// Without accounting (as on a one-node cluster without slurmdbd) sacct fails and scontrol
// answers for every job; a job scontrol has forgotten is reported with its complaint.
TEST_F(SlurmClientTest, WithoutAccountingScontrolAnswers) {
  StandIn("sacct", "", 1, "Slurm accounting storage is disabled\n");
  StandIn("scontrol", "JobId=13 OldJobState=RUNNING JobState=COMPLETED Reason=None\n");
  SlurmJobStates states = slurm_.JobStates({"13"});
  ASSERT_EQ(states.jobs.count("13"), 1u);
  EXPECT_EQ(states.jobs.at("13").state, "COMPLETED");
  EXPECT_EQ(Calls("sacct").size(), 1u);

  StandIn("scontrol", "", 1, "slurm_load_jobs error: Invalid job id specified\n");
  states = slurm_.JobStates({"13"});
  EXPECT_TRUE(states.jobs.empty());
  EXPECT_EQ(states.error, "slurm_load_jobs error: Invalid job id specified");

  // No sacct at all: the same.
  fs::remove(folder_ / "sacct");
  StandIn("scontrol", "JobId=14 JobState=RUNNING Reason=None\n");
  states = slurm_.JobStates({"14"});
  ASSERT_EQ(states.jobs.count("14"), 1u);
  EXPECT_EQ(states.jobs.at("14").state, "RUNNING");
}

TEST(SlurmAnswersTest, SacctLinesAreJobsNotTasksOrSteps) {
  const auto jobs = ParseSacctJobs(
      "41|COMPLETED|None\n41_3|FAILED|NonZeroExitCode\n41.batch|COMPLETED|\n"
      "42|PENDING|DependencyNeverSatisfied\n43|TIMEOUT|TimeLimit\n"
      "sacct: error: Problem talking to the database\n|RUNNING|\n");
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs.at("41").state, "COMPLETED");
  EXPECT_EQ(jobs.at("42").reason, "DependencyNeverSatisfied");
  EXPECT_EQ(JudgeJob(jobs.at("42")), JobOutcome::Failed);
  EXPECT_EQ(JudgeJob(jobs.at("43")), JobOutcome::Failed);
  EXPECT_TRUE(ParseSacctJobs("").empty());
}

TEST(SlurmAnswersTest, ReadsSbatchSqueueAndScontrol) {
  EXPECT_EQ(ParseSbatchJobId("1234\n"), "1234");
  EXPECT_EQ(ParseSbatchJobId("77;cluster\n"), "77");
  EXPECT_EQ(ParseSbatchJobId("sbatch: note: defaults applied\n78\n"), "78");
  EXPECT_FALSE(ParseSbatchJobId(""));
  EXPECT_FALSE(ParseSbatchJobId("Submitted batch job 12\n"));
  EXPECT_FALSE(ParseSbatchJobId("sbatch: error: invalid partition\n"));

  EXPECT_EQ(ListedJobIds("41_0\n41_[1-2]\n42\n"), (std::vector<std::string>{"41", "42"}));
  EXPECT_TRUE(ListedJobIds("").empty());
  EXPECT_TRUE(ListedJobIds("slurm_load_jobs error: Invalid job id specified\n").empty());

  const auto pending = ParseScontrolJob(
      "JobId=13 JobName=tavrona-join UserId=root(0) JobState=PENDING Reason=Dependency "
      "Dependency=afterok:12_*(unfulfilled) Requeue=1\n");
  ASSERT_TRUE(pending);
  EXPECT_EQ(pending->state, "PENDING");
  EXPECT_EQ(pending->reason, "Dependency");
  EXPECT_EQ(JudgeJob(*pending), JobOutcome::Waiting);
  // "OldJobState=" must not be read as the job's state.
  const auto done = ParseScontrolJob("JobId=13 OldJobState=RUNNING JobState=COMPLETED Reason=None");
  ASSERT_TRUE(done);
  EXPECT_EQ(done->state, "COMPLETED");
  EXPECT_EQ(JudgeJob(*done), JobOutcome::Succeeded);
  EXPECT_FALSE(ParseScontrolJob("slurm_load_jobs error: Invalid job id specified\n"));

  EXPECT_EQ(JudgeJob({"PENDING", "DependencyNeverSatisfied"}), JobOutcome::Failed);
  EXPECT_EQ(JudgeJob({"CANCELLED", "DependencyNeverSatisfied"}), JobOutcome::Failed);
  EXPECT_EQ(JudgeJob({"RUNNING", "None"}), JobOutcome::Waiting);
  EXPECT_EQ(JudgeJob({"COMPLETING", "None"}), JobOutcome::Waiting);
  EXPECT_EQ(JudgeJob({"FAILED", "NonZeroExitCode"}), JobOutcome::Failed);
  EXPECT_EQ(JudgeJob({"TIMEOUT", "TimeLimit"}), JobOutcome::Failed);
  EXPECT_EQ(JudgeJob({"NODE_FAIL", "None"}), JobOutcome::Failed);
}

}  // namespace
}  // namespace tavrona
