#include "sources/frame_request_cancel.h"

#include "app/process_state.h"
#include "sources/capture_renderer.h"

namespace tavrona {
namespace {

thread_local FrameRequestCancel* boundCancel = nullptr;

}  // namespace

void FrameRequestCancel::Cancel() {
  CaptureRenderer::Lock lock(Process().frameLock);
  cancelled_.store(true);
  if (waitingOn_ != nullptr) waitingOn_->WakeWaiters(lock);
}

ScopedFrameRequestCancel::ScopedFrameRequestCancel(FrameRequestCancel& cancel) {
  boundCancel = &cancel;
}

ScopedFrameRequestCancel::~ScopedFrameRequestCancel() { boundCancel = nullptr; }

FrameRequestCancel* ThreadFrameRequestCancel() { return boundCancel; }

FrameRequestWait::FrameRequestWait(CaptureRenderer& renderer) : cancel_(boundCancel) {
  if (cancel_ != nullptr) cancel_->waitingOn_ = &renderer;
}

FrameRequestWait::~FrameRequestWait() {
  if (cancel_ != nullptr) cancel_->waitingOn_ = nullptr;
}

}  // namespace tavrona
