#include "model/project_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/atomic_file.h"
#include "model/messages.h"
#include "model/project_data.h"
#include "model/text_encoding.h"
#include "model/track_data.h"

namespace tavrona {
namespace {

enum Tag : uint32_t {
  TagSkip = 0,
  TagVersion = 1,
  TagEnd = 2,
  TagHeader = 3,
  TagFile = 4,
  TagTrack = 5,
  TagTemplate = 6,
};

constexpr char kMagic[4] = {'T', 'P', 'R', 'J'};
// A skip record whose body starts with this holds the tracks' sound settings. Readers that do
// not know it pass over it as over any skip record. Body: the signature, a count, then per track
// its number (uint32), volume in dB (float) and flags (uint32, bit 0: muted).
constexpr char kTrackSoundSignature[8] = {'T', 'V', 'S', 'N', 'D', 'T', 'R', '1'};
constexpr uint32_t kTrackSoundMuted = 1;
constexpr size_t kTrackSoundEntryBytes = 12;
constexpr size_t kPathBytes = kMaxPath * 2;

// Bounded little-endian reads over the file's bytes; every read fails rather than run past the
// end. The first failure is kept in words with the byte of the file where it was found
// (offsets count from the file's start: the data read here follows the 4-byte magic).
class ByteReader {
 public:
  ByteReader(std::string_view data, std::string* why) : data_(data), why_(why) {}

  size_t Remaining() const { return data_.size() - pos_; }
  size_t FileOffset() const { return pos_ + sizeof kMagic; }

  // Records what failed at `offset` (the file's byte); false, for returning.
  bool Fail(const std::string& what, size_t offset) {
    if (why_ != nullptr && why_->empty()) {
      *why_ = what + " at byte " + std::to_string(offset);
    }
    return false;
  }
  bool Fail(const std::string& what) { return Fail(what, FileOffset()); }

  // Names the record being read, for the words of a failure inside it.
  void BeginRecord(const char* name, size_t offset) {
    record_ = std::string(name) + " (begun at byte " + std::to_string(offset) + ")";
  }

  bool Bytes(void* out, size_t n) {
    if (n > Remaining()) return Fail("the file ends inside " + record_);
    std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  template <class T>
  bool Value(T& out) {
    return Bytes(&out, sizeof(T));
  }
  bool Skip(size_t n) {
    if (n > Remaining()) return Fail("a skipped block runs past the end of the file");
    pos_ += n;
    return true;
  }
  bool Path(PathBuffer& out) {
    uint8_t raw[kPathBytes];
    if (!Bytes(raw, sizeof raw)) return false;
    out.fill(0);
    // The units after the terminator are ignored; the last unit is always a terminator.
    for (size_t i = 0; i + 1 < out.size(); ++i) {
      const char16_t c = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
      if (c == 0) break;
      out[i] = c;
    }
    return true;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
  std::string* why_;
  std::string record_ = "a record";
};

class ByteWriter {
 public:
  template <class T>
  void Value(const T& v) {
    Bytes(&v, sizeof(T));
  }
  void Bytes(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
  void Path(const PathBuffer& path) {
    // Units after the terminator are written as zero.
    const std::u16string_view view = PathView(path);
    char16_t units[kMaxPath] = {};
    std::copy(view.begin(), view.end(), units);
    Bytes(units, sizeof units);
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

bool ReadEvent(ByteReader& in, uint32_t version, EventRecord& out) {
  uint8_t raw[sizeof(EventRecord)];
  if (!in.Bytes(raw, sizeof raw)) return false;
  out = ConvertEventRecord(raw, version);
  return true;
}

bool ReadHeader(ByteReader& in, uint32_t version, ProjectData& p) {
  double rate = 0;
  if (!in.Path(p.basePath) || !in.Value(p.outputWidth) || !in.Value(p.outputHeight)) return false;
  const size_t rateAt = in.FileOffset();
  if (!in.Value(rate) || !in.Value(p.movieLength) || !in.Value(p.backgroundColour)) return false;
  // A rate of zero or below has no frame duration; it can only come from a damaged file.
  if (!(rate > 0) || FrameDurationFromRate(rate) <= 0) {
    return in.Fail("the header's frame rate is not a positive number", rateAt);
  }
  p.SetFrameRate(rate);
  if (version > kProjectVersion0) return in.Value(p.defaultDrawingMethod);
  p.defaultDrawingMethod = DrawMethodNormal;
  return true;
}

// Opens a movie or image slot: against the base path first, then the project folder.
bool OpenStoredSource(FileEntry& entry, int32_t kind, std::u16string_view path,
                      const ProjectData& p, SourceOpener& opener) {
  for (std::u16string_view base : {PathView(p.basePath), PathView(p.projectFolder)}) {
    const bool ok = kind == FileMovie ? opener.OpenMovie(entry, path, base)
                                      : opener.OpenImage(entry, path, base);
    if (ok) return true;
  }
  return false;
}

bool ReadFileSlot(ByteReader& in, ProjectData& p, SourceOpener& opener, LoadQuestions& questions) {
  uint32_t id = 0, kind = 0;
  const size_t idAt = in.FileOffset();
  if (!in.Value(id) || !in.Value(kind)) return false;
  if (id >= static_cast<uint32_t>(kFileCount)) {
    return in.Fail("file ID " + std::to_string(id) + " is beyond the 1024 slots", idAt);
  }
  FileEntry& entry = p.files[id];
  if (kind == FileMovie || kind == FileStillImage) {
    if (kind == FileMovie && !in.Value(entry.referenceFrameDuration100ns)) return false;
    PathBuffer path{};
    uint32_t transparent = 0;
    if (!in.Path(path) || !in.Value(transparent)) return false;
    if (!OpenStoredSource(entry, static_cast<int32_t>(kind), PathView(path), p, opener)) {
      if (!questions.AskMissingSource(PathView(path))) {
        return in.Fail("source " + ToUtf8(PathView(path)) + " (ID " + std::to_string(id) +
                           ") could not be opened, and the load stops there",
                       idAt);
      }
      ResetFileEntry(entry);
    }
    entry.transparentColour = transparent;
    return true;
  }
  if (kind == FileText) {
    uint32_t transparent = 0, n = 0;
    LOGFONTW font{};
    if (!in.Value(transparent) || !in.Value(font) || !in.Value(n)) return false;
    // The text block holds UTF-16 units and must contain its terminator.
    if (n % 2 != 0 || n > in.Remaining()) {
      return in.Fail("the text of file ID " + std::to_string(id) +
                     " has an odd size or runs past the end of the file");
    }
    const size_t textAt = in.FileOffset();
    std::u16string units(n / 2, u'\0');
    if (!in.Bytes(units.data(), n)) return false;
    const size_t length = units.find(u'\0');
    if (length == std::u16string::npos) {
      return in.Fail("the text of file ID " + std::to_string(id) + " has no terminator", textAt);
    }
    units.resize(length);
    font.lfFaceName[kLfFaceSize - 1] = 0;  // a face name always ends inside its field
    if (!opener.MakeText(entry, units, (transparent ^ 0x808080u) & 0xFFFFFFu, font)) {
      if (!questions.AskTextFailed(units)) {
        return in.Fail("the text of file ID " + std::to_string(id) +
                           " could not be drawn, and the load stops there",
                       idAt);
      }
      ResetFileEntry(entry);
      return true;
    }
    entry.transparentColour = transparent;
    return true;
  }
  return in.Fail("file ID " + std::to_string(id) + " has unknown kind " + std::to_string(kind),
                 idAt + 4);
}

bool ReadTrack(ByteReader& in, uint32_t version, ProjectData& p) {
  uint32_t number = 0, count = 0;
  const size_t numberAt = in.FileOffset();
  if (!in.Value(number) || !in.Value(count)) return false;
  if (number >= static_cast<uint32_t>(kTrackCount)) {
    return in.Fail("track " + std::to_string(number) + " is beyond the 256 tracks", numberAt);
  }
  // The records must be in the file before the array is allocated for them.
  if (static_cast<uint64_t>(count) * sizeof(EventRecord) > in.Remaining()) {
    return in.Fail("track " + std::to_string(number) + " claims " + std::to_string(count) +
                       " events, more than the rest of the file holds",
                   numberAt + 4);
  }
  TrackData& track = p.tracks[number];
  if (!ResetTrack(track, count)) {
    return in.Fail(
        "no memory for the " + std::to_string(count) + " events of track " + std::to_string(number),
        numberAt + 4);
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!ReadEvent(in, version, track.events[i])) return false;
  }
  return true;
}

// A skip record's body: the tracks' sound settings when it carries our signature, else nothing.
bool ReadSkipRecord(ByteReader& in, ProjectData& p) {
  uint32_t length = 0;
  const size_t lengthAt = in.FileOffset();
  if (!in.Value(length)) return false;
  if (length > in.Remaining()) return in.Skip(length);
  char signature[sizeof kTrackSoundSignature] = {};
  if (length < sizeof signature + 4) return in.Skip(length);
  if (!in.Bytes(signature, sizeof signature)) return false;
  if (std::memcmp(signature, kTrackSoundSignature, sizeof signature) != 0) {
    return in.Skip(length - sizeof signature);
  }
  uint32_t count = 0;
  if (!in.Value(count)) return false;
  const size_t body = length - sizeof signature - 4;
  if (count > static_cast<uint32_t>(kTrackCount) || count * kTrackSoundEntryBytes != body) {
    return in.Fail("the track sound settings do not fit their record", lengthAt);
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t number = 0, flags = 0;
    float volumeDb = 0;
    const size_t numberAt = in.FileOffset();
    if (!in.Value(number) || !in.Value(volumeDb) || !in.Value(flags)) return false;
    if (number >= static_cast<uint32_t>(kTrackCount)) {
      return in.Fail("track " + std::to_string(number) + " is beyond the 256 tracks", numberAt);
    }
    p.trackSound[number].volumeDb = ClampTrackVolumeDb(volumeDb);
    p.trackSound[number].muted = (flags & kTrackSoundMuted) != 0;
  }
  return true;
}

bool ReadRecords(ByteReader& in, ProjectData& p, SourceOpener& opener, LoadQuestions& questions) {
  uint32_t version = kProjectVersionCurrent;
  for (;;) {
    uint32_t tag = 0;
    const size_t tagAt = in.FileOffset();
    if (in.Remaining() < sizeof tag) return in.Fail("the file ends without its end record");
    in.Value(tag);
    static constexpr const char* kRecordNames[] = {
        "a skip record", "the version record", "the end record",   "the header record",
        "a file record", "a track record",     "a template record"};
    if (tag < std::size(kRecordNames)) in.BeginRecord(kRecordNames[tag], tagAt);
    switch (tag) {
      case TagSkip:
        if (!ReadSkipRecord(in, p)) return false;
        break;
      case TagVersion:
        if (!in.Value(version)) return false;
        if (version > kProjectVersionCurrent) {
          return in.Fail("version " + std::to_string(version) + " is newer than this program's " +
                             std::to_string(kProjectVersionCurrent),
                         tagAt + 4);
        }
        break;
      case TagEnd:
        return true;
      case TagHeader:
        if (!ReadHeader(in, version, p)) return false;
        break;
      case TagFile:
        if (!ReadFileSlot(in, p, opener, questions)) return false;
        break;
      case TagTrack:
        if (!ReadTrack(in, version, p)) return false;
        break;
      case TagTemplate: {
        uint32_t slot = 0;
        EventRecord e{};
        if (!in.Value(slot)) return false;
        if (slot >= static_cast<uint32_t>(kTemplateCount)) {
          return in.Fail("template slot " + std::to_string(slot) + " is beyond the 64 slots",
                         tagAt + 4);
        }
        if (!ReadEvent(in, version, e)) return false;
        p.templates[slot] = e;
        break;
      }
      default:
        return in.Fail("unknown record tag " + std::to_string(tag), tagAt);
    }
  }
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  try {
    out.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  in.read(out.data(), size);
  return in.gcount() == size;
}

void SetProjectFolderFrom(ProjectData& p, std::u16string_view path) {
  if (!SetPath(p.projectFolder, FolderOf(path))) p.projectFolder.fill(0);
}

}  // namespace

EventRecord ConvertEventRecord(const uint8_t (&raw)[sizeof(EventRecord)], uint32_t version) {
  EventRecord e{};
  if (version >= kProjectVersionCurrent) {
    std::memcpy(&e, raw, sizeof e);
    return e;
  }
  auto* out = reinterpret_cast<uint8_t*>(&e);
  std::memcpy(out, raw, 12);  // flags, start, file ID
  if (version >= kProjectVersion1) {
    std::memcpy(out + 12, raw + 12, 4);  // drawing method
  }
  std::memcpy(out + 16, raw + 16, 36);  // position, rate, region, colour
  // 52..55: blend mode 0 (normal)
  std::memcpy(out + 56, raw + 52, 96);  // matrices and base/scale/rotation/position
  return e;
}

std::string SerializeProject(const ProjectData& p) {
  ByteWriter out;
  out.Bytes(kMagic, 4);
  out.Value<uint32_t>(TagVersion);
  out.Value<uint32_t>(kProjectVersionCurrent);

  out.Value<uint32_t>(TagHeader);
  out.Path(p.basePath);
  out.Value(p.outputWidth);
  out.Value(p.outputHeight);
  out.Value(p.frameRate);
  out.Value(p.movieLength);
  out.Value(p.backgroundColour);
  out.Value(p.defaultDrawingMethod);

  for (uint32_t id = 0; id < static_cast<uint32_t>(kFileCount); ++id) {
    const FileEntry& f = p.files[id];
    if (f.kind == FileEmpty) continue;
    out.Value<uint32_t>(TagFile);
    out.Value(id);
    out.Value(static_cast<uint32_t>(f.kind));
    if (f.kind == FileMovie) out.Value(f.referenceFrameDuration100ns);
    if (f.kind == FileMovie || f.kind == FileStillImage) {
      out.Path(f.path);
      out.Value(f.transparentColour);
    } else if (f.kind == FileText) {
      out.Value(f.transparentColour);
      out.Value(f.font);
      const uint32_t n = static_cast<uint32_t>(f.text.size() * 2 / 4 * 4 + 4);
      out.Value(n);
      std::string block(n, '\0');
      std::memcpy(block.data(), f.text.data(), f.text.size() * 2);
      out.Bytes(block.data(), block.size());
    }
  }

  for (uint32_t t = 0; t < static_cast<uint32_t>(kTrackCount); ++t) {
    const TrackData& track = p.tracks[t];
    if (track.count == 0 || !track.events) continue;
    out.Value<uint32_t>(TagTrack);
    out.Value(t);
    out.Value(track.count);
    out.Bytes(track.events.get(), sizeof(EventRecord) * track.count);
  }

  // Only tracks away from the defaults are written, and no record at all when every track has
  // them, so a project without sound settings keeps its bytes.
  uint32_t soundCount = 0;
  for (const TrackSound& sound : p.trackSound) soundCount += sound.IsDefault() ? 0 : 1;
  if (soundCount > 0) {
    out.Value<uint32_t>(TagSkip);
    out.Value(static_cast<uint32_t>(sizeof kTrackSoundSignature + 4 +
                                    soundCount * kTrackSoundEntryBytes));
    out.Bytes(kTrackSoundSignature, sizeof kTrackSoundSignature);
    out.Value(soundCount);
    for (uint32_t t = 0; t < static_cast<uint32_t>(kTrackCount); ++t) {
      const TrackSound& sound = p.trackSound[t];
      if (sound.IsDefault()) continue;
      out.Value(t);
      out.Value(sound.volumeDb);
      out.Value<uint32_t>(sound.muted ? kTrackSoundMuted : 0);
    }
  }

  for (uint32_t s = 0; s < static_cast<uint32_t>(kTemplateCount); ++s) {
    if (!p.templates[s].InUse()) continue;
    out.Value<uint32_t>(TagTemplate);
    out.Value(s);
    out.Value(p.templates[s]);
  }

  out.Value<uint32_t>(TagEnd);
  return out.Take();
}

bool LoadQuestions::AskMissingSource(std::u16string_view path) {
  return AskYesNo(SourceLoadQuestion(path));
}

bool LoadQuestions::AskTextFailed(std::u16string_view text) {
  return AskYesNo(TextCreateQuestion(text));
}

bool ReadProjectFile(const std::u16string& path, ProjectData& project, SourceOpener& opener,
                     LoadQuestions& questions, std::string* why) {
  SetProjectFolderFrom(project, path);
  std::string data;
  errno = 0;
  if (!ReadWholeFile(ToUtf8(path), data)) {
    if (why != nullptr) *why = errno != 0 ? std::strerror(errno) : "the file cannot be read";
    return false;
  }
  return ReadProjectBytes(data, project, opener, questions, why);
}

bool ReadProjectBytes(std::string_view bytes, ProjectData& project, SourceOpener& opener,
                      LoadQuestions& questions, std::string* why) {
  if (why != nullptr) why->clear();
  if (bytes.size() < 4 || std::memcmp(bytes.data(), kMagic, 4) != 0) {
    if (why != nullptr) *why = "not a project file: it does not start with \"TPRJ\" (byte 0)";
    return false;
  }
  ApplyNewProjectReset(project);
  project.trackSound.fill(TrackSound{});  // a file without the record has the defaults
  ByteReader in(bytes.substr(4), why);
  return ReadRecords(in, project, opener, questions);
}

bool WriteProjectFile(const std::u16string& path, ProjectData& project) {
  if (!WriteFileAtomically(ToUtf8(path), SerializeProject(project))) return false;
  SetProjectFolderFrom(project, path);
  return true;
}

}  // namespace tavrona

namespace tavrona {

bool OpenStoredSettings(FileEntry& entry, const StoredFileSettings& s, const ProjectData& project,
                        SourceOpener& opener) {
  // A movie is built with the reference frame duration in place.
  entry.referenceFrameDuration100ns = s.referenceFrameDuration100ns;
  bool opened = true;
  if (s.kind == FileMovie || s.kind == FileStillImage) {
    opened = OpenStoredSource(entry, s.kind, PathView(s.path), project, opener);
  } else if (s.kind == FileText) {
    opened = opener.MakeText(entry, s.text, (s.transparentColour ^ 0x808080u) & 0xFFFFFFu, s.font);
  } else {
    ResetFileEntry(entry);
  }
  if (!opened) {
    ResetFileEntry(entry);
    return false;
  }
  entry.kind = s.kind;
  entry.path = s.path;
  entry.transparentColour = s.transparentColour;
  entry.font = s.font;
  if (s.kind != FileText) entry.text = s.text;
  return true;
}

}  // namespace tavrona
