#include "ui/dialogs/export_command.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

#include "export/export_job.h"
#include "export/project_digest.h"
#include "export/project_export.h"
#include "export/sound_stream.h"
#include "render/mix.h"
#include "ui/dialogs/progress_dialog.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

QString ExportFileFilter() {
  return QStringList{
      QCoreApplication::translate("ExportCommand", "AVIファイル (*.avi)"),
      QCoreApplication::translate("ExportCommand", "MP4ファイル (*.mp4 *.m4v)"),
      QCoreApplication::translate("ExportCommand", "Matroskaファイル (*.mkv)"),
      QCoreApplication::translate("ExportCommand", "QuickTimeファイル (*.mov)"),
  }
      .join(QStringLiteral(";;"));
}

std::optional<ExportRange> TimelineSelection(uint32_t rangeStart, uint32_t rangeEnd,
                                             uint32_t movieLength) {
  const uint32_t first = std::min(rangeStart, rangeEnd);
  const uint32_t end = std::min(std::max(rangeStart, rangeEnd), movieLength);
  if (first >= end) return std::nullopt;
  return ExportRange{first, end - 1};
}

namespace {

// Why the chosen frames cannot be written with the codec: its key frames do not bound them.
QString BadRangeText(const ProjectData& project, const QString& path, const ExportRange& range,
                     const std::string& codec) {
  const uint32_t interval = ExportKeyFrameInterval(project, ToU16(path), codec);
  return QCoreApplication::translate(
             "ExportCommand",
             "フレーム %1 - %2 だけを書き出すことはできません。%3 では %4 フレームごとに"
             "キーフレームがあるため、範囲は %4 の倍数のフレームから始まり、キーフレームの直前か"
             "最後のフレーム (%5) で終わる必要があります。")
      .arg(range.first)
      .arg(range.last)
      .arg(QString::fromStdString(codec))
      .arg(interval)
      .arg(project.movieLength == 0 ? 0 : project.movieLength - 1);
}

}  // namespace

ExportCommandResult RunExportCommand(QWidget* mainWindow, ProjectData& project, MovieFrames* movies,
                                     TimeoutTarget* mainTarget,
                                     const CompressorChooser& chooseCompressor,
                                     const ExportCommandContext& context) {
  const std::optional<QString> path =
      AskSaveFileName(mainWindow, QCoreApplication::translate("ExportCommand", "名前を付けて保存"),
                      QString(), ExportFileFilter(), QStringLiteral("avi"));
  if (!path) return ExportCommandResult::NoFileName;

  ExportOffer offer;
  offer.container = ContainerForPath(ToU16(*path));
  offer.compressors = ListCompressors(offer.container);
  if (ProjectHasSound(project)) offer.soundCodecs = ListSoundCodecs(offer.container);
  offer.selection = context.selection;
  const std::optional<ExportCodecChoice> choice =
      chooseCompressor ? chooseCompressor(mainWindow, offer) : AskCompressor(mainWindow, offer);
  if (!choice) return ExportCommandResult::NoCompressor;

  ExportRunOptions options;
  options.codec = choice->compressor;
  options.sound = !(choice->sound && choice->sound->empty());  // "なし" leaves it out
  options.soundCodec = choice->sound.value_or(std::string());
  // The progress dialog's check box keeps its state from one export to the next.
  options.stopOnEventError = project.exportJob.stopOnEventError != 0;
  options.range = choice->range;
  if (options.range && !context.projectFile.empty()) {
    std::string why;
    options.digest = ProjectDigest(context.projectFile, project, &why).value_or(std::string());
  }
  ExportComposer composer;
  switch (PrepareExport(project, ToU16(*path), movies, options, composer)) {
    case ExportResult::Done:
      break;
    case ExportResult::BadRange:
      ShowError(mainWindow, BadRangeText(project, *path, *options.range, options.codec));
      return ExportCommandResult::BadRange;
    default:  // a compressor or sound codec the container does not take
      return ExportCommandResult::NoCompressor;
  }

  if (!BeginExport(project, ToU16(*path), composer)) {
    EndExport(project);  // let go of whatever was opened before the failure
    ShowError(mainWindow, MessageText(MessageCode::CannotOpenFile));
    return ExportCommandResult::OpenFailed;
  }

  CProgressDlg dialog(project, composer, mainTarget, mainWindow);
  if (dialog.exec() != QDialog::Accepted) {
    ShowError(mainWindow, MessageText(MessageCode::ExportInterrupted));
    return ExportCommandResult::Interrupted;
  }
  if (const QString damage = FailedMovieFramesText(project.exportJob); !damage.isEmpty()) {
    ShowWarning(mainWindow, damage);
  }
  return ExportCommandResult::Done;
}

QString FailedMovieFramesText(const ExportJobState& job) {
  if (job.framesWithFailedEvents == 0) return {};
  QStringList ids;
  for (int id = 0; id < kFileCount; ++id) {
    if (job.failedFiles.test(static_cast<size_t>(id))) {
      ids << QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0'));
    }
  }
  return QCoreApplication::translate("ExportCommand",
                                     "%1 フレームで動画の画像を取得できませんでした (ID: %2)。")
      .arg(job.framesWithFailedEvents)
      .arg(ids.join(QStringLiteral(", ")));
}

}  // namespace tavrona
