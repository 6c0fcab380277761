#include "export/export_progress.h"

namespace tavrona {
namespace {

// Appends value in decimal with at least minDigits digits, zero-padded, as %0Nu does.
void AppendUnsigned(std::u16string& text, uint64_t value, int minDigits) {
  char16_t digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = count; i < minDigits; ++i) text += u'0';
  while (count > 0) text += digits[--count];
}

// Minutes (not wrapped), seconds and milliseconds of a time in milliseconds: "%02u:%02u.%03u".
void AppendMinutesSeconds(std::u16string& text, uint64_t ms) {
  AppendUnsigned(text, ms / 60000, 2);
  text += u':';
  AppendUnsigned(text, (ms / 1000) % 60, 2);
  text += u'.';
  AppendUnsigned(text, ms % 1000, 3);
}

}  // namespace

std::u16string ClockText(uint64_t ms) {
  std::u16string text;
  AppendMinutesSeconds(text, ms);
  return text;
}

ProgressFigures ComputeProgress(uint32_t framesWritten, uint32_t total, int64_t frameDuration100ns,
                                uint64_t elapsedMs) {
  ProgressFigures f;
  f.framesWritten = framesWritten;
  f.total = total;
  const uint64_t duration = frameDuration100ns > 0 ? static_cast<uint64_t>(frameDuration100ns) : 0;
  f.position100ns = framesWritten * duration;
  f.percent = total > 0 ? static_cast<uint32_t>(uint64_t{framesWritten} * 100 / total) : 0;
  f.elapsedMs = elapsedMs;
  if (framesWritten > 0 && total > framesWritten) {
    // Up to 2^20 frames times the elapsed milliseconds: 64 bits hold some 500 years of it.
    f.remainingMs = uint64_t{total - framesWritten} * elapsedMs / framesWritten;
  }
  return f;
}

std::u16string FormatProgressText(const ProgressFigures& f) {
  std::u16string text;
  text.reserve(80);
  text += u"現在位置 ";
  // The position in milliseconds, truncated, gives the same three fields as the 100-ns value.
  AppendMinutesSeconds(text, f.position100ns / 10000);
  text += u"\t進捗度 ";
  AppendUnsigned(text, f.percent, 1);
  text += u"%\n経過時間 ";
  AppendMinutesSeconds(text, f.elapsedMs);
  text += u"\t推定残り時間 ";
  AppendMinutesSeconds(text, f.remainingMs);
  return text;
}

ProgressTick ProgressTickAction(const ProjectData& project) {
  if (project.exportJob.abort != 0) return ProgressTick::EndCancelled;
  if (project.exportJob.done != 0) return ProgressTick::EndDone;
  return ProgressTick::Refresh;
}

const FrameBuffer& LastWrittenFrame(const ProjectData& project) {
  return project.workFrames[static_cast<uint32_t>(project.exportJob.framesWritten) % 2];
}

bool MakeThumbnail(const FrameBuffer& frame, FrameBuffer& thumbnail) {
  if (frame.Empty()) return false;
  if (thumbnail.Empty() || thumbnail.Width() != kThumbnailWidth ||
      thumbnail.Height() != kThumbnailHeight) {
    if (!CreateFrameBuffer(thumbnail, kThumbnailWidth, kThumbnailHeight, 32)) return false;
  }
  const int64_t w = frame.Width();
  const int64_t h = frame.Height();
  int32_t sourceColumn[kThumbnailWidth];
  for (int x = 0; x < kThumbnailWidth; ++x) {
    sourceColumn[x] = static_cast<int32_t>(x * w / kThumbnailWidth);
  }
  for (int y = 0; y < kThumbnailHeight; ++y) {
    const int sourceRow = static_cast<int>(y * h / kThumbnailHeight);
    const uint32_t* source = frame.TopRow() - static_cast<size_t>(sourceRow) * frame.Width();
    uint32_t* target = thumbnail.TopRow() - static_cast<size_t>(y) * kThumbnailWidth;
    for (int x = 0; x < kThumbnailWidth; ++x) target[x] = source[sourceColumn[x]];
  }
  return true;
}

uint64_t ExportProgress::ElapsedMs(Clock::time_point now) const {
  if (now <= start_) return 0;
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count());
}

ProgressFigures ExportProgress::Figures(const ProjectData& project, Clock::time_point now) const {
  return ComputeProgress(BarPosition(project), ExportFrameCount(project),
                         project.frameDuration100ns, ElapsedMs(now));
}

std::optional<std::u16string> ExportProgress::Text(const ProjectData& project,
                                                   Clock::time_point now) const {
  if (project.movieLength == 0) return std::nullopt;
  return FormatProgressText(Figures(project, now));
}

uint32_t ExportProgress::BarPosition(const ProjectData& project) {
  return static_cast<uint32_t>(project.exportJob.framesWritten);
}

}  // namespace tavrona
