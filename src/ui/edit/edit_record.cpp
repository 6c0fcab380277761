#include "ui/edit/edit_record.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "app/process_state.h"
#include "model/project_file.h"
#include "model/track_data.h"

namespace tavrona {
namespace {

bool SameTrack(const TrackData& a, const TrackData& b) {
  if (a.count != b.count || !a.events != !b.events) return false;
  if (!a.events) return true;
  return std::memcmp(a.events.get(), b.events.get(), (size_t{a.count} + 1) * sizeof(EventRecord)) ==
         0;
}

void PutHeaderFields(ProjectData& project, const HeaderFields& h) {
  project.basePath = h.basePath;
  project.outputWidth = h.outputWidth;
  project.outputHeight = h.outputHeight;
  project.frameRate = h.frameRate;
  project.frameDuration100ns = h.frameDuration100ns;
  project.movieLength = h.movieLength;
  project.backgroundColour = h.backgroundColour;
  project.defaultDrawingMethod = h.defaultDrawingMethod;
  project.trackSound = h.trackSound;
  // The renderers read the default method from the process-wide copy.
  Process().defaultDrawingMethodMirror = h.defaultDrawingMethod;
}

size_t SettingsBytes(const StoredFileSettings& s) {
  return sizeof s + s.text.capacity() * sizeof(char16_t);
}

}  // namespace

HeaderFields HeaderFieldsOf(const ProjectData& p) {
  HeaderFields h;
  h.basePath = p.basePath;
  h.outputWidth = p.outputWidth;
  h.outputHeight = p.outputHeight;
  h.frameRate = p.frameRate;
  h.frameDuration100ns = p.frameDuration100ns;
  h.movieLength = p.movieLength;
  h.backgroundColour = p.backgroundColour;
  h.defaultDrawingMethod = p.defaultDrawingMethod;
  h.trackSound = p.trackSound;
  return h;
}

std::optional<EditRecord> EditRecord::Take(const ProjectData& project, const EditScope& scope) {
  EditRecord record;
  try {
    for (uint32_t t = 0; t < kTrackCount; ++t) {
      if (!scope.tracks.test(t)) continue;
      record.tracks_.emplace_back(t, TrackData{});
      if (!CopyTrack(project.tracks[t], record.tracks_.back().second)) return std::nullopt;
    }
    for (int32_t id = 0; id < kFileCount; ++id) {
      if (!scope.files.test(static_cast<size_t>(id))) continue;
      record.files_.emplace_back(id, StoredSettingsOf(project.files[static_cast<size_t>(id)]));
    }
    if (scope.templates) {
      record.templates_ =
          std::make_unique<std::array<EventRecord, kTemplateCount>>(project.templates);
    }
    if (scope.header) record.header_ = HeaderFieldsOf(project);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return record;
}

bool EditRecord::KeepChanged(const ProjectData& project) {
  std::erase_if(tracks_, [&](const auto& t) { return SameTrack(t.second, project.tracks[t.first]); });
  std::erase_if(files_, [&](const auto& f) {
    return f.second == StoredSettingsOf(project.files[static_cast<size_t>(f.first)]);
  });
  if (templates_ &&
      std::memcmp(templates_->data(), project.templates.data(), sizeof project.templates) == 0) {
    templates_.reset();
  }
  if (header_ && *header_ == HeaderFieldsOf(project)) header_.reset();
  return !Empty();
}

void EditRecord::Exchange(ProjectData& project, SourceOpener& opener,
                          std::vector<ReopenFailure>& failedSlots) {
  for (auto& [number, track] : tracks_) std::swap(project.tracks[number], track);
  if (templates_) std::swap(project.templates, *templates_);
  if (header_) {
    const HeaderFields current = HeaderFieldsOf(project);
    PutHeaderFields(project, *header_);
    header_ = current;
  }
  if (files_.empty()) return;
  // The slots' entries leave the project first, so that an open source can move to the slot
  // that now asks for its settings (a change of ID brought back) instead of being opened again.
  const size_t n = files_.size();
  std::vector<FileEntry> held(n);
  std::vector<StoredFileSettings> liveSettings(n);  // what each entry holds open
  std::vector<StoredFileSettings> heldSettings(n);  // what each slot stands for
  std::vector<bool> claimed(n, false);
  unopened_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    FileEntry& slot = project.files[static_cast<size_t>(files_[i].first)];
    liveSettings[i] = StoredSettingsOf(slot);
    const bool stillUnopened = unopened_[i] && slot.kind == FileEmpty;
    heldSettings[i] = stillUnopened ? std::move(*unopened_[i]) : liveSettings[i];
    unopened_[i].reset();
    held[i] = std::move(slot);
    slot = FileEntry{};
  }
  for (size_t i = 0; i < n; ++i) {
    const StoredFileSettings& wanted = files_[i].second;
    FileEntry& slot = project.files[static_cast<size_t>(files_[i].first)];
    std::optional<size_t> source;
    if (wanted.kind != FileEmpty) {
      for (size_t j = 0; j < n && !source; ++j) {
        const size_t k = (i + j) % n;  // its own entry first
        if (!claimed[k] && liveSettings[k] == wanted) source = k;
      }
    }
    if (source) {
      claimed[*source] = true;
      slot = std::move(held[*source]);
    } else if (!OpenStoredSettings(slot, wanted, project, opener)) {
      unopened_[i] = wanted;
      const bool text = wanted.kind == FileText;
      failedSlots.push_back(
          {files_[i].first, text ? wanted.text : std::u16string(PathView(wanted.path))});
    }
  }
  for (size_t i = 0; i < n; ++i) files_[i].second = std::move(heldSettings[i]);
}

void EditRecord::Absorb(EditRecord&& later) {
  for (auto& [number, track] : later.tracks_) {
    const bool held = std::any_of(tracks_.begin(), tracks_.end(),
                                  [&, n = number](const auto& t) { return t.first == n; });
    if (!held) tracks_.emplace_back(number, std::move(track));
  }
  std::sort(tracks_.begin(), tracks_.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [id, settings] : later.files_) {
    const bool held = std::any_of(files_.begin(), files_.end(),
                                  [&, i = id](const auto& f) { return f.first == i; });
    if (!held) files_.emplace_back(id, std::move(settings));
  }
  unopened_.clear();
  if (!templates_) templates_ = std::move(later.templates_);
  if (!header_) header_ = later.header_;
}

size_t EditRecord::Bytes() const {
  size_t bytes = sizeof *this;
  for (const auto& [number, track] : tracks_) {
    bytes += sizeof track + (track.events ? (size_t{track.count} + 1) * sizeof(EventRecord) : 0);
  }
  for (const auto& [id, settings] : files_) bytes += SettingsBytes(settings);
  if (templates_) bytes += sizeof *templates_;
  return bytes;
}

std::vector<uint32_t> EditRecord::TrackNumbers() const {
  std::vector<uint32_t> numbers;
  for (const auto& [number, track] : tracks_) numbers.push_back(number);
  return numbers;
}

}  // namespace tavrona
