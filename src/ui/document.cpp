#include "ui/document.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <algorithm>

#include "app/process_state.h"
#include "ui/composition_worker.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

QString PaneFontFamily() {
  // The IPA Gothic faces are what the set-up installs; the others are what a Japanese desktop
  // usually has.
  const QStringList candidates = {
      "IPAGothic",        "IPAゴシック", "IPAexGothic", "Noto Sans Mono CJK JP",
      "Noto Sans CJK JP", "VL Gothic",   "TakaoGothic"};
  const QStringList installed = QFontDatabase::families();
  for (const QString& name : candidates) {
    if (installed.contains(name, Qt::CaseInsensitive)) return name;
  }
  return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

size_t UndoMemoryBytes(int32_t megabytes) {
  // Below one mebibyte the history could not hold the step of one long track.
  return static_cast<size_t>(std::max<int32_t>(megabytes, 1)) << 20;
}

namespace {

// A project starts with the timeline at frame 0, which the preview shows composed.
constexpr PreviewRequest kFirstFramePreview{true, PreviewAllTracks, 0, 0};

}  // namespace

CKeldaDoc::CKeldaDoc(QObject* parent)
    : QObject(parent), worker_(std::make_unique<CompositionWorker>(movies_)) {
  for (int slot = 0; slot < kTemplateCount; ++slot) templateKeys[slot] = TemplateKey(slot);
  paneFont = QFont(PaneFontFamily());
  paneFont.setPointSize(12);
  paneFont.setStyleHint(QFont::TypeWriter);
  document_.NewProject();
  preview = kFirstFramePreview;
  history_.SetLimit(UndoMemoryBytes(Process().settings.undoMemoryMB));
}

CKeldaDoc::~CKeldaDoc() {
  worker_->Abandon();
}

void CKeldaDoc::SetModifiedFlag(bool modified) {
  if (document_.Modified() == modified) return;
  document_.SetModified(modified);
  emit titleChanged();
}

QString CKeldaDoc::Title() const {
  if (path_.isEmpty()) return QCoreApplication::translate("Document", "無題");
  return QFileInfo(path_).fileName();
}

void CKeldaDoc::Installed(const QString& path) {
  path_ = path;
  preview = kFirstFramePreview;
  drag = {};
  scratchEvent = {};
  position = 0;
  emit projectReplaced();
  emit titleChanged();
}

bool CKeldaDoc::OnNewDocument() {
  QuiesceWorker();
  if (!document_.NewProject()) return false;
  history_.Clear();
  Installed(QString());
  return true;
}

bool CKeldaDoc::OnOpenDocument(const QString& path) {
  QuiesceWorker();
  missingSources_.StartLoad();
  std::string why;
  if (!document_.OpenProject(ToU16(path), opener_, *this, &why)) {
    ShowError(messageParent_, LoadFailedText(path, why));
    return false;
  }
  history_.Clear();
  Installed(QFileInfo(path).absoluteFilePath());
  return true;
}

bool CKeldaDoc::OnSaveDocument(const QString& path) {
  QuiesceWorker();
  if (!document_.SaveProject(ToU16(path))) {
    ShowError(messageParent_, MessageText(MessageCode::SaveFailed));
    return false;
  }
  path_ = QFileInfo(path).absoluteFilePath();
  history_.MarkClean();
  UpdateAllViews(nullptr);
  emit titleChanged();
  emit projectSaved();
  return true;
}

void CKeldaDoc::UpdateAllViews(QObject* sender) {
  emit viewsUpdated(sender);
}

bool CKeldaDoc::Edit(const EditStep& step, QObject* sender, const std::function<bool()>& apply) {
  if (editDepth_ == 0) {
    ++editsRun_;
    lastEdit_ = step;
  }
  const bool outermost = editDepth_ == 0;
  const bool changed = RunEdit(*this, editDepth_, step, sender, apply);
  if (changed && outermost) emit projectEdited();
  return changed;
}

void CKeldaDoc::RecordBefore(const EditStep& step) {
  before_ = EditRecord::Take(Project(), step.scope);
  recordFailed_ = !before_;
}

void CKeldaDoc::PushStep(const EditStep& step) {
  if (recordFailed_) {
    // Without the state before this edit, older steps would bring back a mix of states.
    history_.Clear(false);
  } else if (before_ && before_->KeepChanged(Project())) {
    history_.Push(step.label, step.mergeKey, std::move(*before_));
  }
  before_.reset();
  recordFailed_ = false;
}

bool CKeldaDoc::Undo() {
  return TakeStep(true);
}

bool CKeldaDoc::Redo() {
  return TakeStep(false);
}

bool CKeldaDoc::TakeStep(bool undo) {
  if (editDepth_ > 0) return false;
  if (undo ? !history_.CanUndo() : !history_.CanRedo()) return false;
  QuiesceWorker();
  std::vector<ReopenFailure> failed;
  if (undo) {
    history_.Undo(Project(), opener_, failed);
  } else {
    history_.Redo(Project(), opener_, failed);
  }
  SetModifiedFlag(!history_.AtClean());
  UpdateAllViews(nullptr);
  emit projectEdited();
  for (const ReopenFailure& failure : failed) {
    ShowError(messageParent_, FileLoadFailedMessage(ToQString(failure.path)));
  }
  return true;
}

void CKeldaDoc::QuiesceWorker() {
  ++changeCount_;
  worker_->Quiesce();
}

void CKeldaDoc::AbandonWorker() {
  ++changeCount_;
  worker_->Abandon();
}

bool CKeldaDoc::AskYesNo(const std::u16string& message) {
  return tavrona::AskYesNo(messageParent_, ToQString(message));
}

bool CKeldaDoc::AskMissingSource(std::u16string_view path) {
  return missingSources_.Answer([&] {
    const YesNoForAll answer =
        AskYesNoForAll(messageParent_, MessageText(MessageCode::SourceLoadFailed, ToQString(path)));
    return MissingSourceAnswer{answer.yes, answer.applyToAll};
  });
}

bool CKeldaDoc::AskTextFailed(std::u16string_view text) {
  return tavrona::AskYesNo(messageParent_,
                           MessageText(MessageCode::TextCreateFailed, ToQString(text)));
}

bool CKeldaDoc::OnOpenRecovered(const QByteArray& bytes, const QString& originalPath) {
  QuiesceWorker();
  missingSources_.StartLoad();
  const QString path =
      originalPath.isEmpty() ? QString() : QFileInfo(originalPath).absoluteFilePath();
  std::string why;
  if (!document_.OpenRecovered(std::string_view(bytes.constData(), bytes.size()), ToU16(path),
                               opener_, *this, &why)) {
    const QString name = path.isEmpty() ? QCoreApplication::translate("Document", "無題") : path;
    ShowError(messageParent_, LoadFailedText(name, why));
    return false;
  }
  // No step leads back to what the project file holds.
  history_.Clear(false);
  Installed(path);
  return true;
}

}  // namespace tavrona
