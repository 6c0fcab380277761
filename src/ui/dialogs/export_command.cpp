#include "ui/dialogs/export_command.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

#include "export/export_job.h"
#include "export/project_export.h"
#include "export/sound_stream.h"
#include "render/mix.h"
#include "ui/dialogs/progress_dialog.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

ExportCommandResult RunExportCommand(QWidget* mainWindow, ProjectData& project, MovieFrames* movies,
                                     TimeoutTarget* mainTarget,
                                     const CompressorChooser& chooseCompressor) {
  const std::optional<QString> path = AskSaveFileName(
      mainWindow, QCoreApplication::translate("ExportCommand", "名前を付けて保存"), QString(),
      QCoreApplication::translate("ExportCommand", "AVIファイル (*.avi)"), QStringLiteral("avi"));
  if (!path) return ExportCommandResult::NoFileName;

  const std::vector<SoundCodec> soundCodecs = ProjectHasSound(project)
                                                  ? ListSoundCodecs(ContainerForPath(ToU16(*path)))
                                                  : std::vector<SoundCodec>{};
  const std::optional<ExportCodecChoice> choice =
      chooseCompressor ? chooseCompressor(mainWindow) : AskCompressor(mainWindow, soundCodecs);
  if (!choice) return ExportCommandResult::NoCompressor;
  // Without sound in the project there is no sound stream, whatever was chosen.
  std::string sound;
  if (!soundCodecs.empty()) sound = choice->sound.value_or(soundCodecs.front().name);
  const bool offered =
      sound.empty() || std::any_of(soundCodecs.begin(), soundCodecs.end(),
                                   [&](const SoundCodec& c) { return c.name == sound; });
  if (!offered) return ExportCommandResult::NoCompressor;
  AviWriter* writer = ProjectAviWriter(project);
  if (writer == nullptr || !ChooseCompressor(*writer, choice->compressor) ||
      !ChooseSoundCodec(*writer, sound)) {
    return ExportCommandResult::NoCompressor;
  }

  const ExportComposer composer = ProjectComposer(movies);
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
