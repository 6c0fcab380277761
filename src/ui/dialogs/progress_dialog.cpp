#include "ui/dialogs/progress_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "app/process_state.h"
#include "model/messages.h"
#include "ui/dialogs/field_checks.h"
#include "ui/frame_image.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

ProgressTextCells SplitProgressText(const QString& text) {
  ProgressTextCells cells;
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (int line = 0; line < 2 && line < lines.size(); ++line) {
    const QString& whole = lines[line];
    const qsizetype tab = whole.indexOf(QLatin1Char('\t'));
    if (tab < 0) {
      cells[line][0] = whole;
    } else {
      cells[line][0] = whole.left(tab);
      cells[line][1] = whole.mid(tab + 1);
    }
  }
  return cells;
}

CProgressDlg::CProgressDlg(ProjectData& project, ExportComposer composer, TimeoutTarget* mainTarget,
                           QWidget* parent)
    : QDialog(parent), project_(project), composer_(std::move(composer)), mainTarget_(mainTarget) {
  setWindowTitle(QCoreApplication::translate("ProgressDialog", "AVIファイル作成状況"));
  setModal(true);

  auto check = [this](const QString& label) {
    auto* box = new QCheckBox(label, this);
    NameAfterLabel(box, label);
    return box;
  };
  showImage_ = check(QCoreApplication::translate("ProgressDialog", "現在の画像を表示する"));
  showImage_->setChecked(true);
  timeoutIsError_ =
      check(QCoreApplication::translate("ProgressDialog", "タイムアウトをエラーにする"));
  timeoutIsError_->setChecked(false);
  stopOnEventError_ = check(QCoreApplication::translate(
      "ProgressDialog", "イベント描画時にエラーが発生した場合は中断する"));
  stopOnEventError_->setChecked(project_.exportJob.stopOnEventError != 0);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  NameAfterLabel(bar_, QCoreApplication::translate("ProgressDialog", "進行状況"));
  abortButton_ = new QPushButton(QCoreApplication::translate("ProgressDialog", "中断"), this);
  NameAfterLabel(abortButton_, abortButton_->text());
  abortButton_->setAutoDefault(false);

  auto* cells = new QGridLayout;
  cells->setHorizontalSpacing(24);
  for (int line = 0; line < 2; ++line) {
    for (int column = 0; column < 2; ++column) {
      textCells_[line][column] = new QLabel(this);
      cells->addWidget(textCells_[line][column], line, column);
    }
  }
  cells->setColumnStretch(2, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(abortButton_);

  // The thumbnail is painted into the top margin, above every control.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, kThumbnailTop + kThumbnailHeight + 12, 12, 12);
  layout->addLayout(cells);
  layout->addWidget(bar_);
  layout->addWidget(showImage_);
  layout->addWidget(timeoutIsError_);
  layout->addWidget(stopOnEventError_);
  layout->addLayout(buttons);
  setMinimumWidth(kThumbnailWidth + 2 * 24);

  connect(abortButton_, &QPushButton::clicked, this, &CProgressDlg::reject);
  connect(stopOnEventError_, &QCheckBox::clicked, this,
          [this](bool checked) { project_.exportJob.stopOnEventError = checked ? 1 : 0; });
  connect(showImage_, &QCheckBox::toggled, this, [this](bool checked) {
    // Unchecked: the picture goes at once; checked again, the next tick brings the current one.
    if (!checked) thumbnailImage_ = QImage();
    update(ThumbnailRect());
  });

  stepTimer_.setInterval(0);
  connect(&stepTimer_, &QTimer::timeout, this, &CProgressDlg::Step);
  tickTimer_.setInterval(kProgressTimerMs);
  connect(&tickTimer_, &QTimer::timeout, this, &CProgressDlg::Tick);
}

CProgressDlg::~CProgressDlg() {
  if (running_) {
    stepTimer_.stop();
    tickTimer_.stop();
    running_ = false;
    CancelExport(project_);
  }
  if (Process().timeoutTarget == this) {
    Process().timeoutTarget = mainTarget_ != nullptr ? mainTarget_ : &Process().noUser;
  }
}

void CProgressDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!started_) Start();
}

void CProgressDlg::Start() {
  started_ = true;
  running_ = true;
  Process().timeoutTarget = this;
  // QProgressBar counts in int; movie lengths stay far below its limit.
  bar_->setRange(0, static_cast<int>(std::min<uint32_t>(ExportProgress::BarRange(project_),
                                                        static_cast<uint32_t>(INT32_MAX))));
  bar_->setValue(0);
  progress_.Start();
  tickTimer_.start();
  stepTimer_.start();
}

void CProgressDlg::Step() {
  // A step that asks the user (the movie timeout question) runs a nested event loop, in which
  // this timer fires again: steps must never overlap.
  if (inStep_) return;
  inStep_ = true;
  HandleExportStepRequest(project_, composer_);
  inStep_ = false;
  // Once the job is aborted or done further requests would do nothing; the next tick ends the
  // dialog.
  if (project_.exportJob.abort != 0 || project_.exportJob.done != 0) stepTimer_.stop();
}

void CProgressDlg::Tick() {
  if (!running_) return;
  ++tickCount_;
  switch (ProgressTickAction(project_)) {
    case ProgressTick::EndCancelled:
      Finish(QDialog::Rejected);
      return;
    case ProgressTick::EndDone:
      Finish(QDialog::Accepted);
      return;
    case ProgressTick::Refresh:
      break;
  }
  bar_->setValue(static_cast<int>(
      std::min<uint32_t>(ExportProgress::BarPosition(project_), static_cast<uint32_t>(INT32_MAX))));
  if (project_.movieLength != 0) SetProgressText(ExportProgressText(progress_.Figures(project_)));
  if (showImage_->isChecked() && MakeThumbnail(LastWrittenFrame(project_), thumbnail_)) {
    thumbnailImage_ = FrameImage(thumbnail_);
    update(ThumbnailRect());
  }
}

void CProgressDlg::reject() {
  if (!running_) {
    QDialog::reject();
    return;
  }
  stepTimer_.stop();
  tickTimer_.stop();
  CancelExport(project_);
  Finish(QDialog::Rejected);
}

void CProgressDlg::Finish(int result) {
  running_ = false;
  stepTimer_.stop();
  tickTimer_.stop();
  Process().timeoutTarget = mainTarget_ != nullptr ? mainTarget_ : &Process().noUser;
  QDialog::done(result);
}

int CProgressDlg::TimeoutQuery() {
  return timeoutIsError_->isChecked() ? 1 : 0;
}

// The one question asked is the movie timeout: shown in the current language.
bool CProgressDlg::AskToContinue(const std::u16string&) {
  return AskOkCancel(this, ErrorCaption(), MessageText(MessageCode::MovieTimeout));
}

void CProgressDlg::SetProgressText(const QString& text) {
  progressText_ = text;
  const ProgressTextCells cells = SplitProgressText(text);
  for (int line = 0; line < 2; ++line) {
    for (int column = 0; column < 2; ++column) {
      textCells_[line][column]->setText(cells[line][column]);
    }
  }
}

QRect CProgressDlg::ThumbnailRect() const {
  return QRect(ThumbnailLeft(width()), kThumbnailTop, kThumbnailWidth, kThumbnailHeight);
}

void CProgressDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (thumbnailImage_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(ThumbnailRect().topLeft(), thumbnailImage_);
}

}  // namespace tavrona
