// "ファームの状況": how the farm run writing one output stands, part by part (complete,
// incomplete, stale, missing, queued or running), with the output's own state, and a rerun of
// what is not complete once no job of the run is at work. Slurm is asked on a thread of its
// own; the window refreshes itself every few seconds while it is shown.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>

#include "farm/farm_status.h"
#include "farm/farm_submission.h"
#include "ui/farm/background_job.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tavrona {

// Asks how the run writing `output` stands: ReadFarmStatus with the real Slurm client in the
// program. Called on the window's worker thread.
using FarmStatusReader = std::function<FarmStatus(const std::string& output)>;
// Submits the run again from its manifest's plan (the project loaded again from its file):
// a FarmSubmission, or the words of why it could not be planned. Called on the worker thread.
struct FarmRerun {
  FarmSubmission submission;
  FarmPlan plan;
  QString problem;  // not empty: nothing was submitted, and why
};
using FarmRerunner = std::function<FarmRerun(const FarmPlan& previous)>;

inline constexpr int kFarmStatusRefreshMs = 5000;

// The output whose farm keeps `manifest` (OUT.parts/manifest.txt); empty for another path.
QString FarmOutputOfManifest(const QString& manifest);

class CFarmStatusWindow : public QDialog {
  Q_OBJECT

 public:
  CFarmStatusWindow(const QString& output, FarmStatusReader read, FarmRerunner rerun,
                    QWidget* parent = nullptr);

  // Shows the run writing another output.
  void SetOutput(const QString& output);
  // Asks again now (unless a question or rerun is in flight).
  void Refresh();
  // Waits for what is in flight to end and show its result (tests).
  void WaitForWorker() { job_.Wait(); }
  const FarmStatus& Status() const { return status_; }

  // The widgets, for tests.
  QLineEdit* outputEdit() const { return output_; }
  QTableWidget* partTable() const { return table_; }
  QLabel* summaryLabel() const { return summary_; }
  QPushButton* refreshButton() const { return refresh_; }
  QPushButton* rerunButton() const { return rerun_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Browse();
  void Rerun();
  void Show(const FarmStatus& status);

  FarmStatusReader read_;
  FarmRerunner rerunPlan_;
  FarmStatus status_;
  QString notice_;  // what the last rerun did, shown with the next status
  BackgroundJob job_;
  QTimer timer_;
  QLineEdit* output_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* rerun_ = nullptr;
};

}  // namespace tavrona
