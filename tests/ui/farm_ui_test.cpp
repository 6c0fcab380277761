// The farm from the desktop program: the dialog that plans and submits a run, the window that
// shows how it stands and runs again what is missing, and the menu item that is off without
// Slurm. Slurm's commands are stand-ins on PATH that record their arguments.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "export/project_export.h"
#include "farm/farm_planning.h"
#include "model/project_file.h"
#include "model/text_encoding.h"
#include "slurm_stand_in.h"
#include "ui/farm/farm_actions.h"
#include "ui/farm/farm_dialog.h"
#include "ui/farm/farm_status_window.h"
#include "ui/farm/farm_texts.h"
#include "ui/profile.h"
#include "whole_window_test.h"

namespace tavrona {
namespace {

std::vector<std::string> CodecNames(const QComboBox& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.count(); ++i) names.push_back(list.itemData(i).toString().toStdString());
  return names;
}

std::vector<std::string> CompressorNames(OutputContainer container) {
  std::vector<std::string> names;
  for (const AviCompressor& c : ListCompressors(container)) names.push_back(c.name);
  return names;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& w : words) line += (line.empty() ? "" : " ") + w;
  return line;
}

class FarmUiTest : public SlurmStandInTest {
 protected:
  void SetUp() override {
    SlurmStandInTest::SetUp();
    CountingSbatch();
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);
    project_->outputWidth = 64;
    project_->outputHeight = 48;
    project_->movieLength = 30;
    projectPath_ = QString::fromStdString((folder_ / "p.vpj").string());
    ASSERT_TRUE(WriteProjectFile(FromUtf8(projectPath_.toStdString()), *project_));
  }

  FarmSubmitter Submitter() {
    return [](FarmPlan& plan, const SlurmOptions& options) {
      return SubmitFarm(plan, options, "/opt/tavrona/tavrona-cli", SlurmClient());
    };
  }

  std::optional<FarmPlan> Manifest(const std::string& output) {
    std::string why;
    const auto text = ReadFarmFile(FarmManifestPath(output));
    return text ? ParseFarmManifest(*text, &why) : std::nullopt;
  }

  std::unique_ptr<ProjectData> project_;
  QString projectPath_;
};

TEST_F(FarmUiTest, TheDialogsChoicesAreKeptInTheProfile) {
  QTemporaryDir dir;
  Profile profile;
  profile.Load(dir.filePath("tavrona.INI").toStdString());
  EXPECT_EQ(ReadFarmDialogSettings(profile).parts, 4u);  // nothing kept yet
  WriteFarmDialogSettings(profile, {12, "render", "2:00:00"});
  ASSERT_TRUE(profile.Save());
  Profile again;
  again.Load(dir.filePath("tavrona.INI").toStdString());
  const FarmDialogSettings read = ReadFarmDialogSettings(again);
  EXPECT_EQ(read.parts, 12u);
  EXPECT_EQ(read.partition, QStringLiteral("render"));
  EXPECT_EQ(read.timeLimit, QStringLiteral("2:00:00"));
  again.SetInt("Farm", "Parts", 0);  // a hand-edited value out of range: the default
  EXPECT_EQ(ReadFarmDialogSettings(again).parts, 4u);
}

// The dialog offers the compressors of the output's container, submits the plan with the
// partition and time limit given, and shows the job ids Slurm answered.
TEST_F(FarmUiTest, TheDialogSubmitsThePlanAndShowsTheJobIds) {
  CFarmDialog dialog(*project_, projectPath_, {3, "render", "0:30:00"}, Submitter());
  dialog.show();
  const QString output = QString::fromStdString((folder_ / "p.avi").string());
  EXPECT_EQ(dialog.outputEdit()->text(), output);
  EXPECT_EQ(dialog.partsBox()->value(), 3);
  EXPECT_EQ(dialog.partitionEdit()->text(), QStringLiteral("render"));
  EXPECT_EQ(dialog.timeLimitEdit()->text(), QStringLiteral("0:30:00"));
  EXPECT_EQ(CodecNames(*dialog.codecList()), CompressorNames(OutputContainer::Avi));
  dialog.outputEdit()->setText(QString::fromStdString((folder_ / "p.mkv").string()));
  EXPECT_EQ(CodecNames(*dialog.codecList()), CompressorNames(OutputContainer::Mkv));
  dialog.outputEdit()->setText(output);
  dialog.partsBox()->setValue(2);

  QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
  dialog.WaitForSubmission();
  EXPECT_EQ(dialog.resultLabel()->text(),
            QStringLiteral("部分: ジョブ 41 (2 個中 2 個)\n結合: ジョブ 42"));
  EXPECT_EQ(dialog.SubmittedOutput(), output);
  EXPECT_EQ(dialog.Settings().parts, 2u);
  EXPECT_TRUE(dialog.submitButton()->isEnabled());

  const auto plan = Manifest(output.toStdString());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->project, projectPath_.toStdString());
  EXPECT_EQ(plan->ranges, (std::vector<ExportRange>{{0, 14}, {15, 29}}));
  EXPECT_EQ(plan->jobIds, (std::vector<std::string>{"41", "42"}));
  const std::string folder = FarmPartsFolder(plan->output);
  const SlurmOptions slurm{"render", "0:30:00"};
  EXPECT_EQ(
      Calls("sbatch"),
      (std::vector<std::string>{Joined(ArraySubmitArgs(*plan, {0, 1}, slurm, folder + "/parts.sh")),
                                Joined(JoinSubmitArgs(*plan, "41", slurm, folder + "/join.sh"))}));
}

TEST_F(FarmUiTest, APlanThatCannotBeMadeOrARefusalIsSaid) {
  CFarmDialog dialog(*project_, projectPath_, {}, Submitter());
  dialog.partsBox()->setValue(31);  // more parts than frames
  QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
  dialog.WaitForSubmission();
  FarmPlanProblem problem;
  problem.kind = FarmPlanProblem::Kind::MorePartsThanFrames;
  EXPECT_EQ(dialog.resultLabel()->text(), FarmPlanProblemText(problem));
  EXPECT_TRUE(Calls("sbatch").empty());

  StandIn("sbatch", "", 1, "sbatch: error: invalid partition specified: gpu\n");
  dialog.partsBox()->setValue(2);
  QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
  dialog.WaitForSubmission();
  EXPECT_EQ(dialog.resultLabel()->text(),
            QStringLiteral(
                "部分を送信できませんでした: sbatch: error: invalid partition specified: gpu"));
  EXPECT_TRUE(dialog.SubmittedOutput().isEmpty());
}

// The window lists each part as Slurm and its file tell; once nothing is at work, the rerun
// submits again only the parts not complete.
TEST_F(FarmUiTest, TheStatusWindowListsThePartsAndRerunsWhatIsMissing) {
  FarmRequest request;
  request.project = projectPath_.toStdString();
  request.output = (folder_ / "out.avi").string();
  request.parts = 3;
  FarmPlanProblem problem;
  auto plan = PlanFarm(request, *project_, &problem);
  ASSERT_TRUE(plan);
  ASSERT_EQ(Submitter()(*plan, {}).result, FarmSubmission::Result::Submitted);

  Queue("41_1\n41_2\n42\n", "41_1 RUNNING\n41_2 PENDING\n");
  CFarmStatusWindow window(
      QString::fromStdString(plan->output), StandardFarmStatusReader(),
      [&](const FarmPlan& previous) { return RerunFarm(previous, {}, Submitter()); });
  window.show();  // asks at once
  window.WaitForWorker();
  QTableWidget* table = window.partTable();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("0 - 9"));
  EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("なし"));
  EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("実行中"));
  EXPECT_EQ(table->item(2, 1)->text(), QStringLiteral("待機中"));
  EXPECT_TRUE(window.summaryLabel()->text().contains(QStringLiteral("実行中のジョブ: 41, 42")));
  EXPECT_FALSE(window.rerunButton()->isEnabled());

  // Part 0 made for real, as its task would; the jobs are over.
  ExportRunOptions part;
  part.range = plan->ranges[0];
  part.digest = plan->digest;
  ASSERT_EQ(ExportProject(*project_, FromUtf8(FarmPartPath(*plan, 0)), nullptr, part),
            ExportResult::Done);
  Queue("", "");
  QTest::mouseClick(window.refreshButton(), Qt::LeftButton);
  window.WaitForWorker();
  EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("完了"));
  EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("なし"));
  EXPECT_TRUE(window.summaryLabel()->text().startsWith(QStringLiteral("部分: 3 個中 1 個が完了")));
  ASSERT_TRUE(window.rerunButton()->isEnabled());

  QTest::mouseClick(window.rerunButton(), Qt::LeftButton);
  window.WaitForWorker();  // the rerun
  window.WaitForWorker();  // the refresh after it
  const auto calls = Calls("sbatch");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_NE(calls[2].find("--array=1-2"), std::string::npos) << calls[2];
  EXPECT_TRUE(
      window.summaryLabel()->text().startsWith(QStringLiteral("部分: ジョブ 43 (3 個中 2 個)")))
      << window.summaryLabel()->text().toStdString();
  EXPECT_EQ(window.Status().plan.jobIds, (std::vector<std::string>{"43", "44"}));
}

TEST(FarmStatusWindowTest, TheOutputOfAManifestIsFoundFromItsPath) {
  EXPECT_EQ(FarmOutputOfManifest(QStringLiteral("/data/film.mp4.parts/manifest.txt")),
            QStringLiteral("/data/film.mp4"));
  EXPECT_TRUE(FarmOutputOfManifest(QStringLiteral("/data/manifest.txt")).isEmpty());
  EXPECT_TRUE(FarmOutputOfManifest(QStringLiteral(".parts/manifest.txt")).isEmpty());
}

// The main window's farm item: off without sbatch, its prompt saying why; on with it. Choosing it
// saves a modified project first.
class FarmMenuTest : public testing::WholeWindowTest {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrona_farm_menu_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    bin_ = pattern;
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", bin_.c_str(), 1);
    WholeWindowTest::SetUp();
  }
  void TearDown() override {
    WholeWindowTest::TearDown();
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(bin_);
  }
  void PutSbatch() {
    std::ofstream(bin_ / "sbatch") << "#!/bin/sh\necho 7\n";
    chmod((bin_ / "sbatch").c_str(), 0755);
  }

  fs::path bin_;
  std::string savedPath_;
};

TEST_F(FarmMenuTest, TheFarmItemIsOffWithoutSbatchAndSaysWhy) {
  QAction* farm = frame_->Action(CmdFarmExport);
  ASSERT_NE(farm, nullptr);
  frame_->UpdateCommandStates();
  EXPECT_FALSE(farm->isEnabled());
  EXPECT_FALSE(FarmUnavailableReason().isEmpty());
  EXPECT_EQ(farm->statusTip(), FarmUnavailableReason());
  // Hovering the item in the open menu puts the reason in the status bar.
  QMenu* file = frame_->menuBar()->actions().front()->menu();
  ASSERT_NE(file, nullptr);
  file->popup(frame_->mapToGlobal(QPoint(10, 30)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
  QTest::mouseMove(file, file->actionGeometry(farm).center());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return frame_->statusBar()->currentMessage() == FarmUnavailableReason(); }, 2000))
      << frame_->statusBar()->currentMessage().toStdString();
  file->close();

  PutSbatch();
  frame_->UpdateCommandStates();
  EXPECT_TRUE(farm->isEnabled());
  EXPECT_TRUE(FarmUnavailableReason().isEmpty());
  EXPECT_EQ(farm->statusTip(),
            QStringLiteral("保存したプロジェクトを Slurm のファームで分割して書き出す"));
  EXPECT_TRUE(frame_->Action(CmdFarmStatus)->isEnabled());
}

TEST_F(FarmMenuTest, AModifiedProjectIsSavedBeforeTheDialog) {
  PutSbatch();
  const QString path = dir_.filePath(QStringLiteral("farm.vpj"));
  ASSERT_TRUE(document_->OnSaveDocument(path));
  document_->SetModifiedFlag(true);
  bool dialogSeen = false;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<CFarmDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    dialogSeen = true;
    // The project is saved by the time the dialog shows.
    EXPECT_FALSE(document_->Modified());
    dialog->reject();
  });
  poll.start();
  frame_->RunCommand(CmdFarmExport);
  poll.stop();
  EXPECT_TRUE(dialogSeen);
  EXPECT_FALSE(document_->Modified());
}

}  // namespace
}  // namespace tavrona
