#include "cli/project_info.h"

#include <cstdio>
#include <optional>

#include "cli/cli_messages.h"
#include "model/project_data.h"
#include "model/text_encoding.h"
#include "model/time_text.h"
#include "render/mix.h"
#include "sources/movie_file.h"

namespace tavrona {
namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

const char* KindName(int32_t kind) {
  switch (kind) {
    case FileMovie: return "movie";
    case FileStillImage: return "still image";
    case FileText: return "text";
    default: return "empty";
  }
}

// A text on one line: line breaks and tabs shown as escapes.
std::string OneLine(const std::u16string& text) {
  std::string out;
  for (char c : ToUtf8(text)) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

}  // namespace

std::string FormatProjectInfo(const ProjectData& p) {
  std::string out = "Settings\n";
  out += Format("  size            %d x %d\n", p.outputWidth, p.outputHeight);
  out += Format("  frame rate      %.15g (frame duration %lld x 100 ns)\n", p.frameRate,
                static_cast<long long>(p.frameDuration100ns));
  out += Format("  movie length    %u frames (%s)\n", p.movieLength,
                ToUtf8(FormatShortFrameTime(p.movieLength, p.frameRate)).c_str());
  out += Format("  background      0x%06X (0x00BBGGRR)\n", p.backgroundColour);
  out += Format("  drawing method  %d %s\n", p.defaultDrawingMethod,
                CliDrawingMethodName(p.defaultDrawingMethod).c_str());
  out += "  base path       " + ToUtf8(PathView(p.basePath)) + "\n";

  out += "Files\n";
  const bool anySound = ProjectHasSound(p);
  int files = 0;
  for (int id = 0; id < kFileCount; ++id) {
    const FileEntry& f = p.files[id];
    if (f.kind == FileEmpty) continue;
    ++files;
    out += Format("  ID:%04u  %-11s  ", id, KindName(f.kind));
    if (f.kind == FileText) {
      out += "\"" + OneLine(f.text) + "\"";
    } else {
      out += ToUtf8(PathView(f.path));
    }
    if (!f.picture.Empty()) out += Format("  (%d x %d)", f.picture.Width(), f.picture.Height());
    out += "\n";
    // Sound lines only in a project that has sound, so that one without prints as it always did.
    if (f.kind == FileMovie && anySound) {
      std::optional<SoundFormat> sound;
      if (f.sound) sound = f.sound->Format();
      out += "           " + CliSoundSummary(sound ? &*sound : nullptr, IsSoundOnly(f)) + "\n";
    }
  }
  if (files == 0) out += "  (none)\n";

  out += "Tracks\n";
  int tracks = 0;
  for (int t = 0; t < kTrackCount; ++t) {
    const TrackData& track = p.tracks[t];
    if (track.count == 0) continue;
    ++tracks;
    out += Format("  Track %03u  %u event%s\n", t, track.count, track.count == 1 ? "" : "s");
  }
  if (tracks == 0) out += "  (none)\n";

  out += "Templates\n";
  int templates = 0;
  for (int s = 0; s < kTemplateCount; ++s) {
    const EventRecord& e = p.templates[s];
    if (!e.InUse()) continue;
    ++templates;
    const char16_t key = TemplateKey(s);
    out += Format("  slot %2d  key %s  ID:%04u\n", s,
                  key == u' ' ? "-" : ToUtf8(std::u16string(1, key)).c_str(),
                  static_cast<unsigned>(e.fileId));
  }
  if (templates == 0) out += "  (none)\n";
  return out;
}

}  // namespace tavrona
