// What the export's progress dialog shows: the counters, the elapsed time, the estimated
// remaining time and their figures, refreshed by the dialog's 500 ms timer. Plain data and
// arithmetic; the dialog itself lives with the user interface. Used on the user-interface
// thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "model/frame_buffer.h"
#include "model/project_data.h"

namespace tavrona {

inline constexpr int kProgressTimerMs = 500;
inline constexpr int kThumbnailWidth = 320;
inline constexpr int kThumbnailHeight = 240;
inline constexpr int kThumbnailTop = 8;

// The ten figures of the progress text, from the counters at one moment.
struct ProgressFigures {
  uint32_t framesWritten = 0;
  uint32_t total = 0;          // the job's frames (ExportFrameCount)
  uint64_t position100ns = 0;  // framesWritten * frame duration
  uint32_t percent = 0;        // framesWritten * 100 / total, 0 when total is 0
  uint64_t elapsedMs = 0;
  // (total - framesWritten) * elapsed / framesWritten, 0 before the first frame. Computed in
  // 64 bits, so long exports do not wrap as a 32-bit product would.
  uint64_t remainingMs = 0;
};

ProgressFigures ComputeProgress(uint32_t framesWritten, uint32_t total, int64_t frameDuration100ns,
                                uint64_t elapsedMs);

// A time in milliseconds as "%02u:%02u.%03u": minutes (not wrapped at 60), seconds and
// milliseconds, each division truncated. The progress text shows its times so.
std::u16string ClockText(uint64_t ms);

// The progress text in the Japanese wording (the desktop program words the figures itself, in
// its language, through the same ClockText): the position, the percentage, the elapsed and the
// remaining time, as "<position> <percent>%\n<elapsed> <remaining>" with a label before each
// and a tab between the two of a line.
std::u16string FormatProgressText(const ProgressFigures& figures);

// What the timer tick does first.
enum class ProgressTick {
  Refresh,       // the job runs: refresh bar, text and thumbnail
  EndCancelled,  // the job was aborted: stop the timer, end the dialog with cancel
  EndDone,       // all frames are written and the file closed: end the dialog with OK
};
ProgressTick ProgressTickAction(const ProjectData& project);

// The frame written last (work frame framesWritten mod 2), which the thumbnail shows.
const FrameBuffer& LastWrittenFrame(const ProjectData& project);

// Stretches frame to the 320 x 240 thumbnail as a colour-on-colour stretch does: every
// thumbnail pixel (x, y) is the frame's pixel (x * W / 320, y * H / 240), so rows and columns
// are dropped or repeated, never blended, and the aspect ratio is not kept. The thumbnail is
// (re)made at 320 x 240 when it is not that size. False when frame is empty or the thumbnail
// cannot be made.
bool MakeThumbnail(const FrameBuffer& frame, FrameBuffer& thumbnail);

// Left edge of the 320 x 240 thumbnail in a client area of the given width, centred (signed,
// truncated toward zero; negative when the client is narrower than the thumbnail).
constexpr int ThumbnailLeft(int clientWidth) {
  return (clientWidth - kThumbnailWidth) / 2;
}

// The progress of one running export, measured from its start on a monotonic clock.
class ExportProgress {
 public:
  using Clock = std::chrono::steady_clock;

  void Start(Clock::time_point now = Clock::now()) { start_ = now; }
  uint64_t ElapsedMs(Clock::time_point now = Clock::now()) const;

  ProgressFigures Figures(const ProjectData& project, Clock::time_point now = Clock::now()) const;
  // FormatProgressText of the figures; nothing while the project has no frames (the text then
  // stays as it is).
  std::optional<std::u16string> Text(const ProjectData& project,
                                     Clock::time_point now = Clock::now()) const;

  // The progress bar runs from 0 to the job's frames.
  static uint32_t BarRange(const ProjectData& project) { return ExportFrameCount(project); }
  static uint32_t BarPosition(const ProjectData& project);

 private:
  Clock::time_point start_{};
};

}  // namespace tavrona
