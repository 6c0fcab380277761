#include "ui/panes/image_view.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <filesystem>

#include "ui/composition_worker.h"
#include "ui/cursors.h"
#include "ui/document.h"
#include "ui/message_texts.h"
#include "ui/panes/image_view_logic.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

constexpr const char* kSection = "ImageView";

}  // namespace

CImageView::CImageView(CKeldaDoc& document, QWidget* parent)
    : CKeldaView(document, kSection, parent) {
  keepAspect_ = AppProfile().GetInt(kSection, "KeepAspect", 0) != 0;
  viewport()->setMouseTracking(true);
  CompositionWorker& worker = document.Worker();
  connect(&worker, &CompositionWorker::previewReady, this, &CImageView::OnPreviewReady);
  connect(&worker, &CompositionWorker::playbackFrame, this, &CImageView::OnPlaybackFrame);
  OnInitialUpdate();
}

CImageView::~CImageView() {
  AppProfile().SetInt(kSection, "KeepAspect", keepAspect_ ? 1 : 0);
}

void CImageView::OnInitialUpdate() {
  SetScrollSizes(QSize(0, 0));
}

bool CImageView::HandlesCommand(CommandId id) const {
  return id == CmdSavePreview || CKeldaView::HandlesCommand(id);
}

bool CImageView::CommandEnabled(CommandId id) const {
  return HandlesCommand(id);
}

void CImageView::RunCommand(CommandId id) {
  if (id == CmdSavePreview) {
    SavePreview();
    return;
  }
  CKeldaView::RunCommand(id);
  if (id == CmdPreview) OnUpdate(nullptr);
}

void CImageView::OnUpdate(QObject*) {
  // During playback the pane shows the playback's frames; the request waits (needs-render
  // stays set) until the next update after it.
  if (PreviewEnabled() && !Document().Worker().Playing()) HandRequest();
  UpdateCursor();
  viewport()->update();
}

void CImageView::SetKeepAspect(bool keep) {
  keepAspect_ = keep;
  viewport()->update();
}

void CImageView::HandRequest() {
  CKeldaDoc& doc = Document();
  pendingSerial_ = doc.Worker().RequestPreview(doc.Project(), doc.preview, doc.scratchEvent);
}

void CImageView::OnPreviewReady(quint64 serial, bool ok, const QImage& image,
                                qint32 reduction) {
  // Results of requests replaced since (or handed by an earlier pane) are stale.
  if (serial != pendingSerial_) return;
  pendingSerial_ = 0;
  ApplyPreviewOutcome(Document().preview, ok);
  if (Document().Worker().Playing()) return;
  picture_ = ok ? image : QImage();
  pictureReduction_ = reduction;
  viewport()->update();
}

void CImageView::OnPlaybackFrame(quint32, const QImage& image, qint32 reduction) {
  picture_ = image;
  pictureReduction_ = reduction;
  viewport()->update();
}

void CImageView::OnDraw(QPainter& painter) {
  if (!PreviewEnabled() || picture_.isNull()) return;
  const ProjectData& project = Document().Project();
  const QSize shown = PreviewShownSize(picture_.size(), pictureReduction_,
                                       QSize(project.outputWidth, project.outputHeight));
  const QRect target = PreviewTargetRect(shown, viewport()->size(), keepAspect_);
  if (target.isEmpty()) return;
  if (keepAspect_) painter.fillRect(viewport()->rect(), Qt::black);
  // Nearest pixel, as a stretch that drops and repeats pixels.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRectF(target), picture_,
                    PreviewSourceRect(picture_.size(), pictureReduction_, shown));
}

void CImageView::SavePreview() {
  if (!PreviewEnabled()) return;
  const std::optional<QString> name =
      AskSaveFileName(this, QCoreApplication::translate("ImageView", "名前を付けて保存"), QString(),
                      QCoreApplication::translate("ImageView", "ビットマップファイル (*.bmp)"),
                      QStringLiteral("bmp"));
  if (!name || name->isEmpty()) return;
  CKeldaDoc& doc = Document();
  // Saving composes on this thread: the worker must not touch the project meanwhile. A
  // preview that was waiting is dropped by this and handed in again afterwards.
  doc.QuiesceWorker();
  const PreviewSaveResult result =
      SavePreviewPicture(doc.Project(), doc.preview, doc.scratchEvent, doc.Movies(),
                         std::filesystem::path(name->toStdU16String()));
  if (result == PreviewSaveResult::Failed) ShowError(this, MessageText(MessageCode::SaveFailed));
  if (pendingSerial_ != 0) HandRequest();
}

std::unique_ptr<QMenu> CImageView::MakeContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  QAction* save =
      menu->addAction(QCoreApplication::translate("ImageView", "プレビュー画像を保存(&I)..."));
  save->setData(static_cast<int>(CmdSavePreview));
  connect(save, &QAction::triggered, this, [this] { RunCommand(CmdSavePreview); });
  menu->addSeparator();
  QAction* preview =
      menu->addAction(QCoreApplication::translate("ImageView", "プレビュー表示(&V)"));
  preview->setData(static_cast<int>(CmdPreview));
  preview->setCheckable(true);
  preview->setChecked(PreviewEnabled());
  connect(preview, &QAction::triggered, this, [this] { RunCommand(CmdPreview); });
  menu->addSeparator();
  QAction* aspect = menu->addAction(QCoreApplication::translate("ImageView", "縦横比を保つ"));
  aspect->setCheckable(true);
  aspect->setChecked(keepAspect_);
  connect(aspect, &QAction::triggered, this, [this] { SetKeepAspect(!keepAspect_); });
  return menu;
}

void CImageView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Document().drag.active = false;
  CKeldaView::mousePressEvent(event);  // the right button ends the drag there
  event->accept();
}

void CImageView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Document().drag.active = false;
    viewport()->setCursor(Qt::ArrowCursor);
    event->accept();
    return;
  }
  if (event->button() == Qt::RightButton) {
    std::unique_ptr<QMenu> menu = MakeContextMenu();
    event->accept();
    menu->exec(event->globalPosition().toPoint());
    return;
  }
  CKeldaView::mouseReleaseEvent(event);
}

void CImageView::mouseMoveEvent(QMouseEvent* event) {
  UpdateCursor();
  CKeldaView::mouseMoveEvent(event);
}

void CImageView::enterEvent(QEnterEvent* event) {
  UpdateCursor();
  CKeldaView::enterEvent(event);
}

QCursor CImageView::CursorAt(QPoint) const {
  // Nothing can be dropped on the preview.
  return Document().drag.active ? PaneCursor(CursorNoDrop) : QCursor(Qt::ArrowCursor);
}

void CImageView::UpdateCursor() {
  viewport()->setCursor(CursorAt(QPoint()));
}

}  // namespace tavrona
