// The File menu's "AVIファイルの作成(&V)..." command: asks for the file name (AVI, MP4, MKV or
// MOV, the extension choosing the container) and the compressor, sound codec and frames, begins
// the export and runs it under the modal progress dialog, wording every failure with the
// system's texts. Runs on the user-interface thread.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "app/timeout_target.h"
#include "model/project_data.h"
#include "render/compose.h"
#include "ui/dialogs/compressor_dialog.h"

class QWidget;

namespace tavrona {

enum class ExportCommandResult {
  NoFileName,    // the save dialog was cancelled; nothing happened
  NoCompressor,  // the compressor choice was cancelled or not offered; nothing happened
  BadRange,      // the chosen frames cannot be a part of this codec's export: said why
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

// The save dialog's file types, one per container, AVI first: "AVIファイル (*.avi)",
// "MP4ファイル (*.mp4 *.m4v)", "Matroskaファイル (*.mkv)", "QuickTimeファイル (*.mov)", joined
// by ";;".
QString ExportFileFilter();

// The timeline's selected range as the frames to export: the frames from rangeStart up to
// rangeEnd (exclusive, as the band is drawn), cut at the project's end; nullopt when nothing is
// selected (rangeStart == rangeEnd) or the selection lies past the end.
std::optional<ExportRange> TimelineSelection(uint32_t rangeStart, uint32_t rangeEnd,
                                             uint32_t movieLength);

// Where the export command stands besides the project.
struct ExportCommandContext {
  std::optional<ExportRange> selection;  // TimelineSelection of the timeline pane
  // The project's file when the project is saved and unmodified: a range export records its
  // version (ProjectDigest) as the command line's --frames does. Empty: none recorded.
  std::string projectFile;
};

// movies composes the movie entries (the program passes a StandardMovieFrames; null draws none).
// mainTarget answers the movie timeout queries again once the progress dialog has ended.
// chooseCompressor asks for the compressor's name, the sound codec and the frames (the
// compressor dialog with the output container's offer, unless replaced). The file carries the
// mix when the project has sound and the choice keeps it. A range is written as the command
// line's --frames writes it: a part, with the range (and the project's version) stored.
ExportCommandResult RunExportCommand(QWidget* mainWindow, ProjectData& project, MovieFrames* movies,
                                     TimeoutTarget* mainTarget,
                                     const CompressorChooser& chooseCompressor = {},
                                     const ExportCommandContext& context = {});

}  // namespace tavrona
