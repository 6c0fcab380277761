// tavrona-farm-submit PROJECT OUT PARTS CODEC CLI: a farm export through the library alone, as
// the desktop program's dialog makes one: the project loaded, planned with PlanFarm,
// submitted with SubmitFarm, the join followed with the Slurm client until it ends. CLI is the
// command-line program the batch scripts run. Exit status 0 once OUT is joined.
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/parse_number.h"
#include "farm/farm_planning.h"
#include "farm/farm_submission.h"
#include "farm/slurm_client.h"
#include "model/project_file.h"
#include "model/text_encoding.h"
#include "sources/project_sources.h"

namespace {

class NoQuestions : public tavrona::LoadQuestions {
 public:
  bool AskYesNo(const std::u16string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrona;
  uint32_t parts = 0;
  if (argc != 6 || !ParseUint32(argv[3], parts)) {
    std::fprintf(stderr, "usage: tavrona-farm-submit PROJECT OUT PARTS CODEC CLI\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  std::unique_ptr<ProjectData> project = AllocateProjectData();
  StandardSourceOpener opener;
  NoQuestions questions;
  const std::string projectPath = std::filesystem::absolute(argv[1]).string();
  if (!ReadProjectFile(FromUtf8(projectPath), *project, opener, questions)) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  FarmRequest request;
  request.project = projectPath;
  request.output = argv[2];
  request.parts = parts;
  request.codec = argv[4];
  FarmPlanProblem problem;
  auto plan = PlanFarm(request, *project, &problem);
  if (!plan) {
    std::fprintf(stderr, "no plan: problem %d %s\n", static_cast<int>(problem.kind),
                 problem.detail.c_str());
    return 1;
  }
  const SlurmClient slurm;
  const FarmSubmission s = SubmitFarm(*plan, {}, argv[5], slurm);
  if (s.result != FarmSubmission::Result::Submitted) {
    std::fprintf(stderr, "not submitted: result %d %s\n", static_cast<int>(s.result),
                 s.refusal.text.c_str());
    return 1;
  }
  std::printf("parts job %s (%zu parts), join job %s\n", s.arrayJobId.c_str(), s.parts.size(),
              s.joinJobId.c_str());
  std::fflush(stdout);
  // Ten minutes at most; the one-node cluster joins the demo in well under one.
  for (int poll = 0; poll < 600; ++poll) {
    const SlurmJobStates states = slurm.JobStates({s.joinJobId});
    const auto job = states.jobs.find(s.joinJobId);
    if (job != states.jobs.end()) {
      const JobOutcome outcome = JudgeJob(job->second);
      if (outcome == JobOutcome::Succeeded) {
        std::printf("joined %s\n", plan->output.c_str());
        return 0;
      }
      if (outcome == JobOutcome::Failed) {
        std::fprintf(stderr, "join job %s: %s (%s)\n", s.joinJobId.c_str(),
                     job->second.state.c_str(), job->second.reason.c_str());
        return 1;
      }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  std::fprintf(stderr, "join job %s did not end\n", s.joinJobId.c_str());
  return 1;
}
