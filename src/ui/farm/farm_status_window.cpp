#include "ui/farm/farm_status_window.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "ui/dialogs/field_checks.h"
#include "ui/farm/farm_texts.h"
#include "ui/prompts.h"

namespace tavrona {
QString FarmOutputOfManifest(const QString& manifest) {
  const QString tail = QStringLiteral(".parts/manifest.txt");
  const QString path = QDir::fromNativeSeparators(manifest);
  if (!path.endsWith(tail) || path.size() == tail.size()) return {};
  return path.left(path.size() - tail.size());
}

CFarmStatusWindow::CFarmStatusWindow(const QString& output, FarmStatusReader read,
                                     FarmRerunner rerun, QWidget* parent)
    : QDialog(parent), read_(std::move(read)), rerunPlan_(std::move(rerun)) {
  setWindowTitle(QCoreApplication::translate("FarmStatus", "ファームの状況"));
  setModal(false);

  auto* outputLabel =
      new QLabel(QCoreApplication::translate("FarmStatus", "出力ファイル(&O):"), this);
  output_ = new QLineEdit(output, this);
  output_->setReadOnly(true);
  output_->setMinimumWidth(360);
  outputLabel->setBuddy(output_);
  NameAfterLabel(output_, outputLabel->text());
  browse_ = new QPushButton(QCoreApplication::translate("FarmStatus", "参照(&B)..."), this);
  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(outputLabel);
  outputRow->addWidget(output_, 1);
  outputRow->addWidget(browse_);

  summary_ = new QLabel(this);
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  table_ = new QTableWidget(0, 3, this);
  table_->setHorizontalHeaderLabels({QCoreApplication::translate("FarmStatus", "フレーム"),
                                     QCoreApplication::translate("FarmStatus", "状態"),
                                     QCoreApplication::translate("FarmStatus", "詳細")});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setMinimumHeight(220);
  table_->setAccessibleName(QCoreApplication::translate("FarmStatus", "部分"));

  auto* buttons = new QDialogButtonBox(this);
  refresh_ = buttons->addButton(QCoreApplication::translate("FarmStatus", "更新(&R)"),
                                QDialogButtonBox::ActionRole);
  rerun_ = buttons->addButton(QCoreApplication::translate("FarmStatus", "残りを再実行(&E)"),
                              QDialogButtonBox::ActionRole);
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  NameButtons(*buttons);
  rerun_->setEnabled(false);
  connect(refresh_, &QPushButton::clicked, this, &CFarmStatusWindow::Refresh);
  connect(rerun_, &QPushButton::clicked, this, &CFarmStatusWindow::Rerun);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(browse_, &QPushButton::clicked, this, &CFarmStatusWindow::Browse);
  timer_.setInterval(kFarmStatusRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &CFarmStatusWindow::Refresh);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(outputRow);
  layout->addWidget(summary_);
  layout->addWidget(table_, 1);
  layout->addWidget(buttons);
  resize(640, 380);
}

void CFarmStatusWindow::SetOutput(const QString& output) {
  job_.Wait();  // a late answer about the previous output must not land on this one
  output_->setText(output);
  Refresh();
}

void CFarmStatusWindow::Refresh() {
  const std::string output = output_->text().toStdString();
  if (output.empty() || job_.Running()) return;
  auto status = std::make_shared<FarmStatus>();
  refresh_->setEnabled(false);
  job_.Start([read = read_, output, status] { *status = read(output); },
             [this, status] {
               refresh_->setEnabled(true);
               Show(*status);
             });
}

void CFarmStatusWindow::Rerun() {
  if (job_.Running() || !RerunOffered(status_)) return;
  auto rerun = std::make_shared<FarmRerun>();
  refresh_->setEnabled(false);
  rerun_->setEnabled(false);
  summary_->setText(QCoreApplication::translate("FarmStatus", "送信しています..."));
  job_.Start([run = rerunPlan_, previous = status_.plan, rerun] { *rerun = run(previous); },
             [this, rerun] {
               refresh_->setEnabled(true);
               // Said above the list the refresh brings, until the next refresh.
               notice_ = rerun->problem.isEmpty()
                             ? FarmSubmissionText(rerun->submission, rerun->plan)
                             : rerun->problem;
               Refresh();
             });
}

void CFarmStatusWindow::Browse() {
  const auto manifest = AskOpenFileName(
      this, QCoreApplication::translate("FarmStatus", "ファームの記録"), output_->text(),
      QCoreApplication::translate("FarmStatus", "ファームの記録 (manifest.txt)"));
  if (!manifest) return;
  const QString output = FarmOutputOfManifest(*manifest);
  if (output.isEmpty()) {
    ShowError(this,
              QCoreApplication::translate(
                  "FarmStatus", "出力ファイル名.parts フォルダの manifest.txt を選んでください。"));
    return;
  }
  SetOutput(output);
}

void CFarmStatusWindow::Show(const FarmStatus& status) {
  status_ = status;
  table_->setRowCount(static_cast<int>(status.parts.size()));
  QStringList numbers;  // parts are numbered from 0, as their files are
  for (size_t i = 0; i < status.parts.size(); ++i) numbers << QString::number(i);
  table_->setVerticalHeaderLabels(numbers);
  size_t complete = 0;
  for (size_t i = 0; i < status.parts.size(); ++i) {
    const FarmPartRow& part = status.parts[i];
    if (part.status == FarmPartStatus::Complete) ++complete;
    const int row = static_cast<int>(i);
    table_->setItem(
        row, 0,
        new QTableWidgetItem(QStringLiteral("%1 - %2").arg(part.range.first).arg(part.range.last)));
    table_->setItem(row, 1, new QTableWidgetItem(FarmPartStatusText(part.status)));
    table_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(part.detail)));
  }
  table_->resizeColumnsToContents();
  if (!status.error.empty()) {
    summary_->setText(QCoreApplication::translate("FarmStatus", "ファームの記録を読めません: %1")
                          .arg(QString::fromStdString(status.error)));
  } else {
    QString text =
        QCoreApplication::translate("FarmStatus", "部分: %1 個中 %2 個が完了\n出力ファイル: %3")
            .arg(status.parts.size())
            .arg(complete)
            .arg(FarmOutputStateText(status.output));
    if (!status.activeJobs.empty()) {
      QStringList ids;
      for (const std::string& id : status.activeJobs) ids << QString::fromStdString(id);
      text += u'\n' + QCoreApplication::translate("FarmStatus", "実行中のジョブ: %1")
                          .arg(ids.join(QStringLiteral(", ")));
    }
    summary_->setText(text);
  }
  if (!notice_.isEmpty()) summary_->setText(notice_ + u'\n' + summary_->text());
  notice_.clear();
  rerun_->setEnabled(RerunOffered(status_));
}

void CFarmStatusWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  timer_.start();
  Refresh();
}

void CFarmStatusWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QDialog::hideEvent(event);
}

}  // namespace tavrona
