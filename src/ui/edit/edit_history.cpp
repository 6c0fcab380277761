#include "ui/edit/edit_history.h"

#include <utility>

namespace tavrona {

void EditHistory::Push(const QString& label, uint64_t mergeKey, EditRecord record) {
  while (steps_.size() > done_) {
    held_ -= steps_.back().bytes;
    steps_.pop_back();
  }
  // The saved state can no longer be reached when it was among the steps undone.
  if (clean_ && *clean_ > done_) clean_.reset();
  const bool merge = mergeOpen_ && mergeKey != 0 && done_ > 0 &&
                     steps_.back().mergeKey == mergeKey && !(clean_ && *clean_ == done_);
  if (merge) {
    Step& last = steps_.back();
    held_ -= last.bytes;
    last.record.Absorb(std::move(record));
    last.bytes = last.record.Bytes();
    held_ += last.bytes;
  } else {
    Step step{label, mergeKey, std::move(record), 0};
    step.bytes = step.record.Bytes();
    held_ += step.bytes;
    steps_.push_back(std::move(step));
    ++done_;
  }
  mergeOpen_ = mergeKey != 0;
  while (held_ > limit_ && !steps_.empty()) DropOldest();
}

void EditHistory::DropOldest() {
  if (done_ == 0) {
    // Only undone steps are left: the one furthest from the project goes, so that what remains
    // can still be redone in order.
    held_ -= steps_.back().bytes;
    steps_.pop_back();
    if (clean_ && *clean_ > steps_.size()) clean_.reset();
    return;
  }
  held_ -= steps_.front().bytes;
  steps_.pop_front();
  --done_;
  if (clean_) {
    if (*clean_ == 0) {
      clean_.reset();
    } else {
      --*clean_;
    }
  }
}

QString EditHistory::UndoLabel() const {
  return CanUndo() ? steps_[done_ - 1].label : QString();
}

QString EditHistory::RedoLabel() const {
  return CanRedo() ? steps_[done_].label : QString();
}

bool EditHistory::Undo(ProjectData& project, SourceOpener& opener,
                       std::vector<ReopenFailure>& failedSlots) {
  if (!CanUndo()) return false;
  Step& step = steps_[--done_];
  step.record.Exchange(project, opener, failedSlots);
  held_ -= step.bytes;
  step.bytes = step.record.Bytes();
  held_ += step.bytes;
  mergeOpen_ = false;
  return true;
}

bool EditHistory::Redo(ProjectData& project, SourceOpener& opener,
                       std::vector<ReopenFailure>& failedSlots) {
  if (!CanRedo()) return false;
  Step& step = steps_[done_++];
  step.record.Exchange(project, opener, failedSlots);
  held_ -= step.bytes;
  step.bytes = step.record.Bytes();
  held_ += step.bytes;
  mergeOpen_ = false;
  return true;
}

void EditHistory::Clear(bool clean) {
  steps_.clear();
  done_ = 0;
  held_ = 0;
  clean_ = clean ? std::optional<size_t>(0) : std::nullopt;
  mergeOpen_ = false;
}

void EditHistory::MarkClean() {
  clean_ = done_;
  mergeOpen_ = false;
}

void EditHistory::SetLimit(size_t bytes) {
  limit_ = bytes;
  while (held_ > limit_ && !steps_.empty()) DropOldest();
}

std::vector<uint32_t> EditHistory::UndoTracks() const {
  return CanUndo() ? steps_[done_ - 1].record.TrackNumbers() : std::vector<uint32_t>{};
}

}  // namespace tavrona
