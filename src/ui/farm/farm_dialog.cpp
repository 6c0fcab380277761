#include "ui/farm/farm_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <memory>

#include "export/avi_writer.h"
#include "ui/dialogs/export_command.h"
#include "ui/dialogs/field_checks.h"
#include "ui/farm/farm_texts.h"
#include "ui/message_texts.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
FarmDialogSettings ReadFarmDialogSettings(const Profile& profile) {
  FarmDialogSettings settings;
  const int32_t parts = profile.GetInt(kFarmSection, "Parts", static_cast<int32_t>(settings.parts));
  if (parts >= 1 && static_cast<uint32_t>(parts) <= kMaxFarmParts) {
    settings.parts = static_cast<uint32_t>(parts);
  }
  settings.partition = profile.GetString(kFarmSection, "Partition");
  settings.timeLimit = profile.GetString(kFarmSection, "TimeLimit");
  return settings;
}

void WriteFarmDialogSettings(Profile& profile, const FarmDialogSettings& settings) {
  profile.SetInt(kFarmSection, "Parts", static_cast<int32_t>(settings.parts));
  profile.SetString(kFarmSection, "Partition", settings.partition);
  profile.SetString(kFarmSection, "TimeLimit", settings.timeLimit);
}

QString DefaultFarmOutput(const QString& projectPath) {
  const QFileInfo project(projectPath);
  return project.dir().filePath(project.completeBaseName() + QStringLiteral(".avi"));
}

CFarmDialog::CFarmDialog(const ProjectData& project, const QString& projectPath,
                         FarmDialogSettings settings, FarmSubmitter submit, QWidget* parent)
    : QDialog(parent),
      project_(project),
      projectPath_(projectPath),
      settings_(std::move(settings)),
      submitPlan_(std::move(submit)) {
  setWindowTitle(QCoreApplication::translate("FarmDialog", "ファームで書き出し"));
  setModal(true);

  auto* grid = new QGridLayout;
  int row = 0;
  const auto addRow = [&](const QString& labelText, QWidget* field, QWidget* extra = nullptr) {
    auto* label = new QLabel(labelText, this);
    label->setBuddy(field);
    NameAfterLabel(field, labelText);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    if (extra != nullptr) grid->addWidget(extra, row, 2);
    ++row;
  };
  output_ = new QLineEdit(DefaultFarmOutput(projectPath), this);
  output_->setMinimumWidth(360);
  browse_ = new QPushButton(QCoreApplication::translate("FarmDialog", "参照(&B)..."), this);
  addRow(QCoreApplication::translate("FarmDialog", "出力ファイル(&O):"), output_, browse_);
  codec_ = new QComboBox(this);
  addRow(QCoreApplication::translate("FarmDialog", "圧縮プログラム(&C):"), codec_);
  parts_ = new QSpinBox(this);
  parts_->setRange(1, static_cast<int>(kMaxFarmParts));
  parts_->setValue(static_cast<int>(settings_.parts));
  addRow(QCoreApplication::translate("FarmDialog", "分割数(&N):"), parts_);
  partition_ = new QLineEdit(settings_.partition, this);
  partition_->setPlaceholderText(QCoreApplication::translate("FarmDialog", "クラスタの既定"));
  addRow(QCoreApplication::translate("FarmDialog", "パーティション(&P):"), partition_);
  timeLimit_ = new QLineEdit(settings_.timeLimit, this);
  timeLimit_->setPlaceholderText(
      QCoreApplication::translate("FarmDialog", "パーティションの既定 (例: 1:00:00)"));
  addRow(QCoreApplication::translate("FarmDialog", "制限時間(&T):"), timeLimit_);

  result_ = new QLabel(this);
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(this);
  submit_ = buttons->addButton(QCoreApplication::translate("FarmDialog", "送信(&S)"),
                               QDialogButtonBox::AcceptRole);
  close_ = buttons->addButton(QDialogButtonBox::Close);
  NameButtons(*buttons);
  submit_->setDefault(true);
  connect(submit_, &QPushButton::clicked, this, &CFarmDialog::Submit);
  connect(close_, &QPushButton::clicked, this, &CFarmDialog::reject);
  connect(browse_, &QPushButton::clicked, this, &CFarmDialog::Browse);
  // The extension chooses the container, and the container the compressors.
  connect(output_, &QLineEdit::textChanged, this, &CFarmDialog::FillCodecs);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(result_);
  layout->addWidget(buttons);
  FillCodecs();
}

void CFarmDialog::FillCodecs() {
  const QString chosen = codec_->currentData().toString();
  codec_->clear();
  for (const AviCompressor& c : ListCompressors(ContainerForPath(ToU16(output_->text())))) {
    codec_->addItem(CompressorDescription(c), QString::fromStdString(c.name));
  }
  const int keep = codec_->findData(chosen);
  codec_->setCurrentIndex(keep >= 0 ? keep : 0);
}

void CFarmDialog::Browse() {
  const auto path = AskSaveFileName(this, QCoreApplication::translate("FarmDialog", "出力ファイル"),
                                    output_->text(), ExportFileFilter(), QStringLiteral("avi"));
  if (path) output_->setText(*path);
}

void CFarmDialog::Submit() {
  if (job_.Running()) return;
  settings_.parts = static_cast<uint32_t>(parts_->value());
  settings_.partition = partition_->text().trimmed();
  settings_.timeLimit = timeLimit_->text().trimmed();

  FarmRequest request;
  request.project = projectPath_.toStdString();
  request.output = output_->text().trimmed().toStdString();
  request.codec = codec_->currentData().toString().toStdString();
  request.parts = settings_.parts;
  FarmPlanProblem problem;
  std::optional<FarmPlan> planned = PlanFarm(request, project_, &problem);
  if (!planned) {
    result_->setText(FarmPlanProblemText(problem));
    return;
  }
  // The plan and the outcome live on the heap until the submission has ended on its thread.
  auto plan = std::make_shared<FarmPlan>(std::move(*planned));
  auto outcome = std::make_shared<FarmSubmission>();
  const SlurmOptions options{settings_.partition.toStdString(), settings_.timeLimit.toStdString()};
  SetBusy(true);
  result_->setText(QCoreApplication::translate("FarmDialog", "送信しています..."));
  job_.Start([submit = submitPlan_, plan, outcome, options] { *outcome = submit(*plan, options); },
             [this, plan, outcome] {
               SetBusy(false);
               ShowResult(*outcome, *plan);
             });
}

void CFarmDialog::ShowResult(const FarmSubmission& submission, const FarmPlan& plan) {
  result_->setText(FarmSubmissionText(submission, plan));
  if (submission.result == FarmSubmission::Result::Submitted) {
    submittedOutput_ = QString::fromStdString(plan.output);
  }
}

void CFarmDialog::SetBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{output_, browse_, codec_, parts_, partition_,
                                                    timeLimit_, submit_, close_}) {
    w->setEnabled(!busy);
  }
}

void CFarmDialog::reject() {
  if (job_.Running()) return;
  QDialog::reject();
}

}  // namespace tavrona
