// EditHistory: the undo and redo steps of the project being edited, bounded by the memory their
// records hold. Each step keeps one EditRecord; undo and redo exchange it with the project.
// The history also knows which step matches the project file, which the modified flag follows.
// Never saved.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "ui/edit/edit_record.h"

namespace tavrona {

class SourceOpener;
struct ProjectData;

inline constexpr size_t kDefaultUndoMemoryBytes = size_t{256} << 20;

class EditHistory {
 public:
  explicit EditHistory(size_t limitBytes = kDefaultUndoMemoryBytes) : limit_(limitBytes) {}

  // After an edit: the steps undone so far are gone; the record becomes a new step, or joins the
  // last one when both carry the same non-zero merge key and nothing (an undo, a save, a
  // BreakMerge) came between. Then the oldest steps go until the rest fit the limit.
  void Push(const QString& label, uint64_t mergeKey, EditRecord record);

  bool CanUndo() const { return done_ > 0; }
  bool CanRedo() const { return done_ < steps_.size(); }
  // The names of the step undo and redo would take; empty when there is none.
  QString UndoLabel() const;
  QString RedoLabel() const;

  // Brings back the state before the last step done (after the first step undone). Slots whose
  // sources could not be opened again are added to failedSlots. False when there is no step.
  bool Undo(ProjectData& project, SourceOpener& opener, std::vector<ReopenFailure>& failedSlots);
  bool Redo(ProjectData& project, SourceOpener& opener, std::vector<ReopenFailure>& failedSlots);

  // No steps. clean: the project as it is matches its file (New, Open); otherwise no state
  // reached from here does.
  void Clear(bool clean = true);
  // The project as it is now matches its file (a save).
  void MarkClean();
  // True when the steps done lead exactly to the state last saved or opened.
  bool AtClean() const { return clean_ && *clean_ == done_; }
  // The next edit starts a step of its own (a mouse release, a change of selection).
  void BreakMerge() { mergeOpen_ = false; }

  // The memory bound; the oldest steps go at once when the steps hold more. Undo and redo keep
  // every step: an exchanged record may hold a little more or less than before, which the next
  // edit's push measures again.
  void SetLimit(size_t bytes);
  size_t Limit() const { return limit_; }
  size_t HeldBytes() const { return held_; }
  size_t StepCount() const { return steps_.size(); }
  size_t UndoCount() const { return done_; }
  // The tracks the step undo would take holds (for the tests' checks of what a step keeps).
  std::vector<uint32_t> UndoTracks() const;

 private:
  struct Step {
    QString label;
    uint64_t mergeKey = 0;
    EditRecord record;
    size_t bytes = 0;
  };
  void DropOldest();

  std::deque<Step> steps_;
  size_t done_ = 0;  // steps_[0..done_) are done, the rest undone
  std::optional<size_t> clean_ = 0;
  size_t limit_;
  size_t held_ = 0;
  bool mergeOpen_ = false;
};

}  // namespace tavrona
