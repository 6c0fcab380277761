// The start-up offer of recovery files left by programs that ended without saving (a crash, a
// kill, a power cut), and the wiring of this program's autosave: RecoverySession.
#pragma once

#include <QString>
#include <filesystem>
#include <memory>

#include "ui/recovery/autosaver.h"
#include "ui/recovery/recovery_file.h"

namespace tavrona {

class CKeldaDoc;
class CMainFrame;

// "保存されていない変更が見つかりました。\n<name> (<local time>)\n復元しますか?": the project
// file's name ("無題" for a project never saved) and when it was autosaved.
QString RecoveryQuestion(const RecoveryContent& content);
// The message for a recovery file that cannot be read: the file, the reason, where it went.
QString RecoveryReadFailure(const std::filesystem::path& file, const std::string& why,
                            const std::filesystem::path& movedTo);
// True when the project file was saved after the autosave (its modification time is later than
// the recorded time): the recovery file holds nothing the project file lacks.
bool OutdatedBySave(const RecoveryContent& content);

// This program's share of the recovery folder, for the life of the main window: the autosaver
// (its notes go to the status bar; the save question's No gives the changes up) and the offer of
// abandoned recovery files. User-interface thread only.
class RecoverySession {
 public:
  RecoverySession(CKeldaDoc& document, CMainFrame& frame, int autoSaveSeconds,
                  std::filesystem::path folder = RecoveryFolder());
  ~RecoverySession();

  // Offers every abandoned recovery file in turn ("はい" opens it as the modified project and
  // makes its file this program's, "いいえ" removes it, "キャンセル" keeps it for next time).
  // A file that cannot be read is reported and moved aside to "*.broken"; one older than its
  // project's last save is removed without a question.
  void OfferAbandoned();
  // The program ends cleanly: this program's recovery file and lock go.
  void EndCleanly();

  Autosaver& Saver() { return *saver_; }
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  CKeldaDoc& document_;
  CMainFrame& frame_;
  std::filesystem::path folder_;
  std::unique_ptr<Autosaver> saver_;
};

}  // namespace tavrona
