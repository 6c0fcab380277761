#include "ui/panes/image_view_logic.h"

#include <algorithm>
#include <memory>

#include "render/bitmap_save.h"
#include "render/reduced_placement.h"

namespace tavrona {
namespace {

// The current picture of a file slot after bringing a movie to frameIndex when asked to.
// Sets picture.image (null for a slot without a picture); false when the movie frame could not
// be fetched.
bool FilePicture(FileEntry& entry, bool prepareMovie, uint32_t frameIndex, MovieFrames& movies,
                 PreviewPicture& picture) {
  if (entry.picture.Empty()) return true;
  if (entry.kind == FileMovie && prepareMovie && !movies.PrepareFrame(entry, frameIndex)) {
    return false;
  }
  picture.image = &entry.picture;
  return true;
}

bool ValidFileId(int32_t id) {
  return id >= 0 && id < kFileCount;
}

}  // namespace

bool MakePreviewPicture(ProjectData& project, const PreviewRequest& request,
                        const EventRecord& scratchEvent, PlaybackStates& states,
                        MovieFrames& movies, PreviewPicture& picture, int32_t reduction) {
  picture.image = nullptr;
  picture.reduction = 1;
  switch (request.mode) {
    case PreviewFile: {
      if (!ValidFileId(request.number)) return true;
      FileEntry& entry = project.files[request.number];
      if (entry.kind != FileMovie && entry.kind != FileStillImage && entry.kind != FileText) {
        return true;
      }
      return FilePicture(entry, request.needsRender, request.frame, movies, picture);
    }
    case PreviewScratchEvent: {
      if (!scratchEvent.InUse() || !ValidFileId(scratchEvent.fileId)) return true;
      FileEntry& entry = project.files[scratchEvent.fileId];
      const uint32_t frameIndex =
          entry.kind == FileMovie
              ? MovieFrameIndex(scratchEvent.playbackPosition, movies.FrameDuration(entry))
              : 0;
      return FilePicture(entry, request.needsRender, frameIndex, movies, picture);
    }
    case PreviewTrack:
    case PreviewAllTracks: {
      if (!ValidReduction(reduction)) reduction = kReductionFull;
      if (!CreateFrameBuffer(picture.composed, ReducedExtent(project.outputWidth, reduction),
                             ReducedExtent(project.outputHeight, reduction), 32)) {
        return false;
      }
      const bool ok =
          request.mode == PreviewTrack
              ? ComposeTrackAt(project, states, request.number, request.frame, picture.composed,
                               &movies, reduction)
              : ComposeFrameAt(project, states, request.frame, picture.composed, &movies,
                               reduction);
      if (!ok) return false;
      picture.image = &picture.composed;
      picture.reduction = reduction;
      return true;
    }
    default:
      return true;
  }
}

QSize PreviewShownSize(QSize picture, int32_t reduction, QSize outputSize) {
  if (!ValidReduction(reduction) || reduction == kReductionFull) return picture;
  if (ReducedExtent(outputSize.width(), reduction) == picture.width() &&
      ReducedExtent(outputSize.height(), reduction) == picture.height()) {
    return outputSize;
  }
  return picture * reduction;
}

QRectF PreviewSourceRect(QSize picture, int32_t reduction, QSize shownSize) {
  if (!ValidReduction(reduction) || reduction == kReductionFull) {
    return QRectF(QPointF(0, 0), QSizeF(picture));
  }
  return QRectF(0, 0, static_cast<double>(shownSize.width()) / reduction,
                static_cast<double>(shownSize.height()) / reduction);
}

QRect PreviewTargetRect(QSize picture, QSize viewport, bool keepAspect) {
  if (picture.isEmpty() || viewport.isEmpty()) return {};
  if (!keepAspect) return QRect(QPoint(0, 0), viewport);
  const int64_t pw = picture.width(), ph = picture.height();
  const int64_t vw = viewport.width(), vh = viewport.height();
  if (vw * ph <= vh * pw) {
    // As wide as the viewport; the height follows, rounded to the nearest pixel.
    const int h = static_cast<int>(std::max<int64_t>(1, (2 * ph * vw + pw) / (2 * pw)));
    return QRect(0, static_cast<int>((vh - h) / 2), static_cast<int>(vw), h);
  }
  const int w = static_cast<int>(std::max<int64_t>(1, (2 * pw * vh + ph) / (2 * ph)));
  return QRect(static_cast<int>((vw - w) / 2), 0, w, static_cast<int>(vh));
}

void ApplyPreviewOutcome(PreviewRequest& request, bool ok) {
  request.needsRender = false;
  if (ok) return;
  request.mode = PreviewNothing;
  request.number = 0;
  request.frame = 0;
}

PreviewSaveResult SavePreviewPicture(ProjectData& project, const PreviewRequest& request,
                                     const EventRecord& scratchEvent, MovieFrames& movies,
                                     const std::filesystem::path& path) {
  if (request.mode == PreviewNothing) return PreviewSaveResult::NothingToSave;
  PreviewRequest fresh = request;
  fresh.needsRender = true;
  auto states = std::make_unique<PlaybackStates>();
  PreviewPicture picture;
  if (!MakePreviewPicture(project, fresh, scratchEvent, *states, movies, picture) ||
      picture.image == nullptr || !SaveFrameBufferBmp(*picture.image, path)) {
    return PreviewSaveResult::Failed;
  }
  return PreviewSaveResult::Saved;
}

}  // namespace tavrona
