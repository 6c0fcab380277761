// CKeldaDoc: the desktop program's document. It owns the project (through ProjectDocument), the
// path and title, the records the panes talk through (preview request, drag, scratch event),
// the template key table, the pane font and the composition worker that renders previews and
// playback off the user-interface thread.
//
// Everything here runs on the user-interface thread. The project is shared with the worker: a
// preview job or playback reads the project while it runs. Every change of the project goes
// through Edit() (src/ui/edit/edit_path.h), which lets the worker go first; what only touches
// the selected flags, and every composition on the user-interface thread (export, saving a
// preview), calls QuiesceWorker(), which stops playback and waits until the worker is idle.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "model/document.h"
#include "model/event_record.h"
#include "model/missing_source_answers.h"
#include "model/project_data.h"
#include "sources/project_sources.h"
#include "ui/edit/edit_history.h"
#include "ui/edit/edit_path.h"
#include "ui/pane_records.h"

namespace tavrona {

class CompositionWorker;

class CKeldaDoc : public QObject, public LoadQuestions, private EditHost {
  Q_OBJECT

 public:
  explicit CKeldaDoc(QObject* parent = nullptr);
  ~CKeldaDoc() override;

  // The project the document holds; it always holds one once constructed.
  ProjectData& Project() { return *document_.Project(); }
  const ProjectData& Project() const { return *document_.Project(); }

  // Whether the project differs from its file: set by every edit, and after an undo or a redo,
  // set unless the history stands where the project was last saved or opened.
  bool Modified() const { return document_.Modified(); }
  void SetModifiedFlag(bool modified = true);

  // The project file's path; empty for a project never saved or opened.
  const QString& PathName() const { return path_; }
  // "無題" for an unnamed project, else the file's name.
  QString Title() const;

  // New project (the new-project values). False when no memory; the project stays.
  bool OnNewDocument();
  // Reads path. On failure shows "読み込みに失敗しました。" with the reader's cause on a second
  // line (LoadFailureDetail) and keeps everything as it was.
  bool OnOpenDocument(const QString& path);
  // Writes path. On failure shows "保存に失敗しました。"; the modified flag stays set.
  bool OnSaveDocument(const QString& path);

  // Every pane other than sender refreshes (sender null: all of them).
  void UpdateAllViews(QObject* sender);

  // Stops playback and waits until the composition worker has finished what it was doing (the
  // worker's jobs are bounded by the movie timeout): before the selected flags change, before a
  // composition on this thread and, through Edit(), before every change of the project. Cheap
  // when the worker is idle.
  void QuiesceWorker();
  // QuiesceWorker when the window closes: a running preview is abandoned too (its movies are not
  // waited for), since nobody will see it.
  void AbandonWorker();
  // Bumped by QuiesceWorker, which runs before every write of the project (edits, undo, redo,
  // selection changes): a copy of the project taken across several turns of the event loop is
  // current while the count stays the same.
  uint64_t ChangeCount() const { return changeCount_; }

  // One edit of the project: lets the worker go, runs apply, and when apply returns true (it
  // changed the project) sets the modified flag and refreshes every view but sender, once.
  // Returns apply's result. step names the edit and what it touches.
  bool Edit(const EditStep& step, QObject* sender, const std::function<bool()>& apply);
  // True while an edit's apply runs.
  bool Editing() const { return editDepth_ > 0; }
  // How many edits have run (outermost ones, whether they changed anything or not), and the
  // last one's step: what the tests check the panes by.
  uint64_t EditsRun() const { return editsRun_; }
  const EditStep& LastEdit() const { return lastEdit_; }

  // Undo and redo: bring back the state before the last step done, or after the first one
  // undone, and refresh every view. A file slot whose source cannot be opened again is left empty
  // after the load-failure message. False when there is no step.
  bool Undo();
  bool Redo();
  const EditHistory& History() const { return history_; }
  // The memory bound of the history, in bytes.
  void SetUndoMemoryLimit(size_t bytes) { history_.SetLimit(bytes); }
  // The next edit starts an undo step of its own (a mouse release, a change of selection).
  void BreakStepMerging() { history_.BreakMerge(); }

  CompositionWorker& Worker() { return *worker_; }
  MovieFrames& Movies() { return movies_; }
  SourceOpener& Opener() { return opener_; }

  // The records the panes share.
  PreviewRequest preview;
  PaneDrag drag;
  EventRecord scratchEvent{};
  // The key character of each template slot (' ' = none).
  std::array<char16_t, kTemplateCount> templateKeys{};
  // The panes' text font: 12 points of the Japanese Gothic face.
  QFont paneFont;
  // The timeline's position, where playback starts.
  uint32_t position = 0;

  // LoadQuestions: the questions a project read asks (Yes / No, caption "エラー"). The
  // question about a source that cannot be opened also offers "すべてに適用": an answer given
  // with it stands for every further such source of the same read.
  bool AskYesNo(const std::u16string& message) override;
  bool AskMissingSource(std::u16string_view path) override;
  bool AskTextFailed(std::u16string_view text) override;

  // The parent of the document's message boxes.
  void SetMessageParent(QWidget* parent) { messageParent_ = parent; }

  // Installs a recovered autosave: bytes is the project as a save writes it, originalPath the
  // project file it belongs to (empty for a project never saved). The project comes back
  // modified and bound to that path: its sources resolve against its folder, Save writes there
  // and the title shows its name. On failure shows "読み込みに失敗しました。" with the cause and
  // keeps everything as it was.
  bool OnOpenRecovered(const QByteArray& bytes, const QString& originalPath);

 signals:
  // UpdateAllViews: each pane whose address differs from sender refreshes.
  void viewsUpdated(QObject* sender);
  // A new or opened project replaced the old one: the panes are rebuilt.
  void projectReplaced();
  // The path, the title or the modified flag changed.
  void titleChanged();
  // An edit, an undo or a redo changed the project.
  void projectEdited();
  // The project was written to its file.
  void projectSaved();

 private:
  void Installed(const QString& path);

  // EditHost
  void LetWorkerGo() override { QuiesceWorker(); }
  void RecordBefore(const EditStep& step) override;
  void PushStep(const EditStep& step) override;
  // Undo or Redo's common part.
  bool TakeStep(bool undo);
  void MarkModified() override { SetModifiedFlag(); }
  void BroadcastEdit(QObject* sender) override { UpdateAllViews(sender); }

  ProjectDocument document_;
  QString path_;
  StandardSourceOpener opener_;
  StandardMovieFrames movies_;
  std::unique_ptr<CompositionWorker> worker_;
  QWidget* messageParent_ = nullptr;
  // The answer to the missing-source question that stands for the rest of the current read.
  MissingSourceAnswers missingSources_;
  uint64_t changeCount_ = 0;
  EditHistory history_;
  // The state the running edit may change, recorded before it.
  std::optional<EditRecord> before_;
  bool recordFailed_ = false;
  int editDepth_ = 0;
  uint64_t editsRun_ = 0;
  EditStep lastEdit_;
};

// [Settings] UndoMemoryMB as the history's bound in bytes (at least one mebibyte).
size_t UndoMemoryBytes(int32_t megabytes);

// The face the panes draw their text with: the first installed Japanese Gothic face.
QString PaneFontFamily();

}  // namespace tavrona
