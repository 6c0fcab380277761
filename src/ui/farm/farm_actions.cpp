#include "ui/farm/farm_actions.h"

#include <QCoreApplication>
#include <QDir>
#include <memory>

#include "farm/farm_planning.h"
#include "farm/farm_submission.h"
#include "model/project_file.h"
#include "model/text_encoding.h"
#include "sources/project_sources.h"
#include "ui/farm/farm_texts.h"

namespace tavrona {
namespace {

// A rerun asks the user nothing: a question the load would ask is answered no.
class NoQuestions final : public LoadQuestions {
 public:
  bool AskYesNo(const std::u16string&) override { return false; }
};

}  // namespace

std::string FarmCliPath() {
  return QDir(QCoreApplication::applicationDirPath())
      .filePath(QStringLiteral("tavrona-cli"))
      .toStdString();
}

FarmSubmitter StandardFarmSubmitter() {
  return [cli = FarmCliPath()](FarmPlan& plan, const SlurmOptions& options) {
    return SubmitFarm(plan, options, cli, SlurmClient());
  };
}

FarmStatusReader StandardFarmStatusReader() {
  return [](const std::string& output) { return ReadFarmStatus(output, SlurmClient()); };
}

FarmRerun RerunFarm(const FarmPlan& previous, const SlurmOptions& options,
                    const FarmSubmitter& submit) {
  FarmRerun rerun;
  std::unique_ptr<ProjectData> project = AllocateProjectData();
  StandardSourceOpener opener;
  NoQuestions questions;
  std::string why;
  if (!project || !ReadProjectFile(FromUtf8(previous.project), *project, opener, questions, &why)) {
    rerun.problem =
        QCoreApplication::translate("Farm", "プロジェクトファイルを読めません: %1")
            .arg(QString::fromStdString(previous.project + (why.empty() ? "" : " (" + why + ")")));
    return rerun;
  }
  FarmRequest request;
  request.project = previous.project;
  request.output = previous.output;
  request.codec = previous.codec;
  request.parts = static_cast<uint32_t>(previous.ranges.size());
  request.noSound = previous.sound.empty();
  request.soundCodec = previous.sound;
  FarmPlanProblem problem;
  std::optional<FarmPlan> plan = PlanFarm(request, *project, &problem);
  if (!plan) {
    rerun.problem = FarmPlanProblemText(problem);
    return rerun;
  }
  rerun.plan = std::move(*plan);
  rerun.submission = submit(rerun.plan, options);
  return rerun;
}

}  // namespace tavrona
