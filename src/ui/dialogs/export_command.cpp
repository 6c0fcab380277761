#include "ui/dialogs/export_command.h"

#include "export/export_job.h"
#include "export/project_export.h"
#include "model/messages.h"
#include "ui/dialogs/progress_dialog.h"
#include "ui/prompts.h"

namespace tavrona {

ExportCommandResult RunExportCommand(QWidget* mainWindow, ProjectData& project, MovieFrames* movies,
                                     TimeoutTarget* mainTarget,
                                     const CompressorChooser& chooseCompressor) {
  const std::optional<QString> path =
      AskSaveFileName(mainWindow, QStringLiteral("名前を付けて保存"), QString(),
                      QStringLiteral("AVIファイル (*.avi)"), QStringLiteral("avi"));
  if (!path) return ExportCommandResult::NoFileName;

  const std::optional<std::string> compressor = chooseCompressor(mainWindow);
  if (!compressor) return ExportCommandResult::NoCompressor;
  AviWriter* writer = ProjectAviWriter(project);
  if (writer == nullptr || !ChooseCompressor(*writer, *compressor)) {
    return ExportCommandResult::NoCompressor;
  }

  const ExportComposer composer = ProjectComposer(movies);
  if (!BeginExport(project, ToU16(*path), composer)) {
    EndExport(project);  // let go of whatever was opened before the failure
    ShowError(mainWindow, ToQString(kMsgCannotOpenFile));
    return ExportCommandResult::OpenFailed;
  }

  CProgressDlg dialog(project, composer, mainTarget, mainWindow);
  if (dialog.exec() != QDialog::Accepted) {
    ShowError(mainWindow, ToQString(kMsgExportInterrupted));
    return ExportCommandResult::Interrupted;
  }
  return ExportCommandResult::Done;
}

}  // namespace tavrona
