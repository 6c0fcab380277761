#include "ui/message_texts.h"

#include <QCoreApplication>

#include "model/document.h"
#include "model/text_encoding.h"

namespace tavrona {
namespace {

QString Clock(uint64_t ms) {
  const std::u16string text = ClockText(ms);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString ErrorCaption() {
  return QCoreApplication::translate("Messages", "エラー");
}

QString MessageText(MessageCode code, const QString& subject, uint32_t count) {
  switch (code) {
    case MessageCode::LoadFailed:
      return QCoreApplication::translate("Messages", "読み込みに失敗しました。");
    case MessageCode::SaveFailed:
      return QCoreApplication::translate("Messages", "保存に失敗しました。");
    case MessageCode::TooManyFiles:
      return QCoreApplication::translate("Messages", "ファイルが多すぎます。");
    case MessageCode::IdInUse:
      return QCoreApplication::translate("Messages", "指定したIDはすでに使用されています。");
    case MessageCode::DuplicateFailed:
      return QCoreApplication::translate("Messages", "ファイルの複製に失敗しました。");
    case MessageCode::CannotOpenFile:
      return QCoreApplication::translate("Messages", "ファイルが開けません。");
    case MessageCode::ExportInterrupted:
      return QCoreApplication::translate("Messages",
                                         "エラーまたはキャンセル操作によって中断されました。");
    case MessageCode::MovieTimeout:
      return QCoreApplication::translate("Messages",
                                         "動画の画像の取得がタイムアウトしました。続行しますか？");
    case MessageCode::MovieLengthLimit:
      return QCoreApplication::translate("Messages", "動画の長さは最大で%1フレームに制限されます。")
          .arg(count);
    case MessageCode::SourceLoadFailed:
      return QCoreApplication::translate("Messages",
                                         "ファイル\"%1\"の読み込みに失敗しました。続行しますか？\n"
                                         "続行すると、このファイルの設定は破棄されます。")
          .arg(subject);
    case MessageCode::TextCreateFailed:
      return QCoreApplication::translate("Messages",
                                         "テキスト\"%1\"の作成に失敗しました。続行しますか？\n"
                                         "続行すると、このファイルの設定は破棄されます。")
          .arg(subject);
  }
  return QString();
}

QString LoadFailedText(const QString& fileName, const std::string& why) {
  return MessageText(MessageCode::LoadFailed) + u'\n' +
         QString::fromStdString(LoadFailureDetail(fileName.toStdString(), why));
}

QString ExportProgressText(const ProgressFigures& f) {
  return QCoreApplication::translate("Messages",
                                     "現在位置 %1\t進捗度 %2%\n経過時間 %3\t推定残り時間 %4")
      .arg(Clock(f.position100ns / 10000), QString::number(f.percent), Clock(f.elapsedMs),
           Clock(f.remainingMs));
}

QString CompressorDescription(const AviCompressor& compressor) {
  const QString title = QString::fromStdString(compressor.title);
  switch (compressor.note) {
    case CompressorNote::Uncompressed:
      return QCoreApplication::translate("Messages", "全フレーム (非圧縮)");
    case CompressorNote::Lossless:
      return QCoreApplication::translate("Messages", "%1 (可逆圧縮)").arg(title);
    case CompressorNote::None:
      break;
  }
  return title;
}

}  // namespace tavrona
