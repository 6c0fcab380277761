// CProgressDlg ("AVIファイル作成状況"): the modal dialog under which an export runs. It drives
// the job one frame per event-loop iteration on the user-interface thread, so the abort button,
// the check boxes and the 500 ms refresh stay live between frames, and shows the progress, the
// times and a 320 x 240 thumbnail of the frame written last.
//
// The export must have been begun (BeginExport) with the same composer before the dialog is
// shown. The job starts when the dialog is first shown and ends the dialog: with Accepted once
// every frame is written and the file closed, with Rejected after a failed step or when the user
// aborts ("中断", Escape, closing the window), the file then holding the frames written so far.
// While it runs the dialog answers the movie timeout queries; on every end the process-wide
// timeout target goes back to the one given.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <QTimer>
#include <array>

#include "app/timeout_target.h"
#include "export/export_job.h"
#include "export/export_progress.h"
#include "model/frame_buffer.h"
#include "model/project_data.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tavrona {

// The two-line progress text cut at its line break and at the first tab of each line, so that
// each line shows as two columns: cells[line][column]. Missing parts are empty.
using ProgressTextCells = std::array<std::array<QString, 2>, 2>;
ProgressTextCells SplitProgressText(const QString& text);

class CProgressDlg : public QDialog, public TimeoutTarget {
  Q_OBJECT

 public:
  // project and composer must outlive the dialog. mainTarget receives the timeout queries again
  // when the dialog ends (null: the process default).
  CProgressDlg(ProjectData& project, ExportComposer composer, TimeoutTarget* mainTarget,
               QWidget* parent = nullptr);
  // A dialog destroyed while its job runs aborts the job (the file keeps the frames so far) and
  // gives the timeout target back.
  ~CProgressDlg() override;

  // The 500 ms timer's work: ends the dialog once the job is aborted or done, otherwise shows
  // the counters, the text and, when "現在の画像を表示する" is checked, the thumbnail. Public so
  // that a caller can refresh at a known frame.
  void Tick();

  // The abort: stops the job, closes the file with the frames written so far, ends with
  // Rejected.
  void reject() override;

  // TimeoutTarget: nonzero when "タイムアウトをエラーにする" is checked.
  int TimeoutQuery() override;
  // The movie timeout question (OK / Cancel, caption "エラー"); true to wait on.
  bool AskToContinue(const std::u16string& message) override;

  bool Running() const { return running_; }
  int TickCount() const { return tickCount_; }
  // The text last shown in the two-line static text (empty until the first refresh).
  const QString& ProgressText() const { return progressText_; }
  QPushButton* AbortButton() const { return abortButton_; }
  QCheckBox* ShowImageBox() const { return showImage_; }
  QCheckBox* TimeoutIsErrorBox() const { return timeoutIsError_; }
  QCheckBox* StopOnEventErrorBox() const { return stopOnEventError_; }
  QProgressBar* Bar() const { return bar_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Start();
  void Step();
  void Finish(int result);
  void SetProgressText(const QString& text);
  QRect ThumbnailRect() const;

  ProjectData& project_;
  const ExportComposer composer_;
  TimeoutTarget* const mainTarget_;

  ExportProgress progress_;
  QTimer stepTimer_;  // zero interval: one frame per event-loop iteration
  QTimer tickTimer_;  // kProgressTimerMs
  bool started_ = false;
  bool running_ = false;
  bool inStep_ = false;
  int tickCount_ = 0;

  FrameBuffer thumbnail_;
  QImage thumbnailImage_;  // what paintEvent draws; refreshed by Tick only
  QString progressText_;

  QPushButton* abortButton_ = nullptr;
  QCheckBox* showImage_ = nullptr;                     // 1040
  QCheckBox* timeoutIsError_ = nullptr;                // 1041
  QCheckBox* stopOnEventError_ = nullptr;              // 1042
  QProgressBar* bar_ = nullptr;                        // 1060
  std::array<std::array<QLabel*, 2>, 2> textCells_{};  // 1070, line x column
};

}  // namespace tavrona
