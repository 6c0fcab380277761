// "ファームで書き出し...": the saved project exported by a Slurm farm. The dialog takes the output
// file (its extension choosing the container), the compressor, the number of parts, the
// partition and the time limit (the last three remembered in tavrona.INI), plans the run with
// PlanFarm and submits it with SubmitFarm on a thread of its own, as the command line's farm
// does, then shows the job ids. The caller saves a modified project first: the farm's tasks load
// the file.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "farm/batch_script.h"
#include "farm/farm_planning.h"
#include "farm/farm_submission.h"
#include "ui/farm/background_job.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tavrona {

class Profile;
struct ProjectData;

// The choices tavrona.INI keeps, in [Farm]: Parts, Partition, TimeLimit (and LastOutput, the
// run the status window shows first, kept by the main window).
inline constexpr char kFarmSection[] = "Farm";
struct FarmDialogSettings {
  uint32_t parts = 4;
  QString partition;  // empty: the cluster's default
  QString timeLimit;  // empty: the partition's default
};
inline constexpr uint32_t kMaxFarmParts = 10000;
FarmDialogSettings ReadFarmDialogSettings(const Profile& profile);
void WriteFarmDialogSettings(Profile& profile, const FarmDialogSettings& settings);

// The output a project's farm export is offered first: the project's name with ".avi".
QString DefaultFarmOutput(const QString& projectPath);

// Submits a plan: SubmitFarm with the real Slurm client in the program; tests may replace it.
// Called on the dialog's submission thread.
using FarmSubmitter = std::function<FarmSubmission(FarmPlan& plan, const SlurmOptions& options)>;

class CFarmDialog : public QDialog {
  Q_OBJECT

 public:
  // project: loaded from projectPath, saved and unmodified; it must outlive the dialog.
  CFarmDialog(const ProjectData& project, const QString& projectPath, FarmDialogSettings settings,
              FarmSubmitter submit, QWidget* parent = nullptr);

  const FarmDialogSettings& Settings() const { return settings_; }
  // The output of the last submission that Slurm took; empty before one.
  const QString& SubmittedOutput() const { return submittedOutput_; }
  bool Submitting() const { return job_.Running(); }
  // Waits for a submission in flight to end and show its result (tests).
  void WaitForSubmission() { job_.Wait(); }

  // The widgets, for tests.
  QLineEdit* outputEdit() const { return output_; }
  QComboBox* codecList() const { return codec_; }
  QSpinBox* partsBox() const { return parts_; }
  QLineEdit* partitionEdit() const { return partition_; }
  QLineEdit* timeLimitEdit() const { return timeLimit_; }
  QLabel* resultLabel() const { return result_; }
  QPushButton* submitButton() const { return submit_; }

 public slots:
  void reject() override;  // refused while a submission is in flight

 private:
  void FillCodecs();
  void Browse();
  void Submit();
  void ShowResult(const FarmSubmission& submission, const FarmPlan& plan);
  void SetBusy(bool busy);

  const ProjectData& project_;
  QString projectPath_;
  FarmDialogSettings settings_;
  FarmSubmitter submitPlan_;
  QString submittedOutput_;
  BackgroundJob job_;
  QLineEdit* output_ = nullptr;
  QPushButton* browse_ = nullptr;
  QComboBox* codec_ = nullptr;
  QSpinBox* parts_ = nullptr;
  QLineEdit* partition_ = nullptr;
  QLineEdit* timeLimit_ = nullptr;
  QLabel* result_ = nullptr;
  QPushButton* submit_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace tavrona
