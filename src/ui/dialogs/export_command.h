// The File menu's "AVIファイルの作成(&V)..." command: asks for the file name and the compressor,
// begins the export and runs it under the modal progress dialog, wording every failure with the
// system's texts. Runs on the user-interface thread.
#pragma once

#include <QString>

#include "app/timeout_target.h"
#include "model/project_data.h"
#include "render/compose.h"
#include "ui/dialogs/compressor_dialog.h"

class QWidget;

namespace tavrona {

enum class ExportCommandResult {
  NoFileName,    // the save dialog was cancelled; nothing happened
  NoCompressor,  // the compressor choice was cancelled or not offered; nothing happened
  OpenFailed,    // the export could not begin: "ファイルが開けません。" was shown
  Interrupted,   // a failed frame or the user's abort:
                 // "エラーまたはキャンセル操作によって中断されました。"
  Done,          // every frame written and the file closed (with FailedMovieFramesText
                 // shown when movie frames failed)
};

// After a finished export: how many frames were written with a movie frame that could not be
// fetched, and from which files (their IDs); empty when there were none. Shown as a warning, the
// file being complete.
QString FailedMovieFramesText(const ExportJobState& job);

// movies composes the movie entries (the program passes a StandardMovieFrames; null draws none).
// mainTarget answers the movie timeout queries again once the progress dialog has ended.
// chooseCompressor asks for the compressor's name and the sound codec (the compressor dialog,
// with the sound codecs of the output's container when the project has sound, unless
// replaced). The file carries the mix when the project has sound and the choice keeps it.
ExportCommandResult RunExportCommand(QWidget* mainWindow, ProjectData& project, MovieFrames* movies,
                                     TimeoutTarget* mainTarget,
                                     const CompressorChooser& chooseCompressor = {});

}  // namespace tavrona
