#include "ui/recovery/recovery_offer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QStatusBar>

#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/prompts.h"

namespace tavrona {

QString RecoveryQuestion(const RecoveryContent& content) {
  const QString name = content.originalPath.empty()
                           ? QCoreApplication::translate("Document", "無題")
                           : QFileInfo(QString::fromStdString(content.originalPath)).fileName();
  const QString when = QDateTime::fromMSecsSinceEpoch(content.savedAtMs)
                           .toLocalTime()
                           .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
  return QCoreApplication::translate(
             "Recovery", "保存されていない変更が見つかりました。\n%1 (%2)\n復元しますか?")
      .arg(name, when);
}

QString RecoveryReadFailure(const std::filesystem::path& file, const std::string& why,
                            const std::filesystem::path& movedTo) {
  QString text =
      QCoreApplication::translate("Recovery", "回復用ファイルを読み込めませんでした。\n%1: %2")
          .arg(QString::fromStdString(file.string()), QString::fromStdString(why));
  if (!movedTo.empty()) {
    text += QCoreApplication::translate("Recovery", "\n%1 に移しました。")
                .arg(QString::fromStdString(movedTo.string()));
  }
  return text;
}

bool OutdatedBySave(const RecoveryContent& content) {
  if (content.originalPath.empty()) return false;
  const std::optional<int64_t> saved = FileModifiedMs(content.originalPath);
  return saved && *saved > content.savedAtMs;
}

RecoverySession::RecoverySession(CKeldaDoc& document, CMainFrame& frame, int autoSaveSeconds,
                                 std::filesystem::path folder)
    : document_(document),
      frame_(frame),
      folder_(std::move(folder)),
      saver_(std::make_unique<Autosaver>(document, folder_, autoSaveSeconds)) {
  QObject::connect(&frame_, &CMainFrame::changesDiscarded, saver_.get(),
                   [this] { saver_->Forget(); });
  QObject::connect(saver_.get(), &Autosaver::note, &frame_,
                   [this](const QString& text) { frame_.statusBar()->showMessage(text); });
}

RecoverySession::~RecoverySession() = default;

void RecoverySession::OfferAbandoned() {
  std::vector<RecoverySlot> abandoned = ClaimAbandonedSlots(folder_);
  for (RecoverySlot& slot : abandoned) {
    RecoveryContent content;
    std::string why;
    if (!ReadRecoveryFile(slot.DataPath(), content, &why)) {
      const std::filesystem::path file = slot.DataPath();
      const std::optional<std::filesystem::path> aside = slot.MoveAside();
      ShowError(&frame_, RecoveryReadFailure(file, why, aside.value_or(std::filesystem::path())));
      continue;
    }
    if (OutdatedBySave(content)) {
      slot.Remove();
      continue;
    }
    switch (AskYesNoCancel(&frame_, QStringLiteral("Tavrona"), RecoveryQuestion(content))) {
      case PromptAnswer::Yes: {
        // A project recovered before this one is asked about first, as Open does.
        if (!frame_.SaveModified()) break;  // kept for next time
        const QByteArray bytes = QByteArray::fromRawData(
            content.projectBytes.data(), static_cast<qsizetype>(content.projectBytes.size()));
        if (document_.OnOpenRecovered(bytes, QString::fromStdString(content.originalPath))) {
          saver_->Adopt(std::move(slot));
        }
        break;
      }
      case PromptAnswer::No:
        slot.Remove();
        break;
      default:
        break;  // キャンセル: the file stays for the next start
    }
  }
}

void RecoverySession::EndCleanly() {
  saver_->EndCleanly();
}

}  // namespace tavrona
