// CKeldaDoc: the desktop program's document. It owns the project (through ProjectDocument), the
// path and title, the records the panes talk through (preview request, drag, scratch event),
// the template key table, the pane font and the composition worker that renders previews and
// playback off the user-interface thread.
//
// Everything here runs on the user-interface thread. The project is shared with the worker: a
// preview job or playback reads the project while it runs, so every change of the project, and
// every composition on the user-interface thread (export, saving a preview), starts with
// BeginEdit(), which stops playback and waits until the worker is idle.
#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <array>
#include <memory>

#include "model/document.h"
#include "model/event_record.h"
#include "model/missing_source_answers.h"
#include "model/project_data.h"
#include "sources/project_sources.h"
#include "ui/pane_records.h"

namespace tavrona {

class CompositionWorker;

class CKeldaDoc : public QObject, public LoadQuestions {
  Q_OBJECT

 public:
  explicit CKeldaDoc(QObject* parent = nullptr);
  ~CKeldaDoc() override;

  // The project the document holds; it always holds one once constructed.
  ProjectData& Project() { return *document_.Project(); }
  const ProjectData& Project() const { return *document_.Project(); }

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

  // Before the project changes or is composed on this thread: stops playback and waits until
  // the composition worker has finished what it was doing (the worker's jobs are bounded by the
  // movie timeout). Cheap when the worker is idle.
  void BeginEdit();

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

  // The parent of the document's message boxes.
  void SetMessageParent(QWidget* parent) { messageParent_ = parent; }

 signals:
  // UpdateAllViews: each pane whose address differs from sender refreshes.
  void viewsUpdated(QObject* sender);
  // A new or opened project replaced the old one: the panes are rebuilt.
  void projectReplaced();
  // The path, the title or the modified flag changed.
  void titleChanged();

 private:
  void Installed(const QString& path);

  ProjectDocument document_;
  QString path_;
  StandardSourceOpener opener_;
  StandardMovieFrames movies_;
  std::unique_ptr<CompositionWorker> worker_;
  QWidget* messageParent_ = nullptr;
  // The answer to the missing-source question that stands for the rest of the current read.
  MissingSourceAnswers missingSources_;
};

// The face the panes draw their text with: the first installed Japanese Gothic face.
QString PaneFontFamily();

}  // namespace tavrona
