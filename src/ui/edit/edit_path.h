// The one path every change of the project takes in the desktop program.
//
// An edit names itself (a step label such as "イベントの移動", the undo step's name) and says
// what it touches (EditScope). RunEdit then lets the composition worker go, records what the
// scope names as it is, runs the change, pushes one undo step holding the recorded state of what
// the change really altered, and when the change reports that it changed something, sets the
// modified flag and tells the views, once. Selecting (the selected flags of events, templates
// and file rows) is no edit and does not come here.
#pragma once

#include <QString>
#include <bitset>
#include <cstdint>
#include <functional>

#include "model/file_entry.h"
#include "model/project_data.h"

class QObject;

namespace tavrona {

// What an edit may write: tracks and file slots by number, the templates, and the header (the
// project settings, including the movie length a timeline edit may extend).
struct EditScope {
  std::bitset<kTrackCount> tracks;
  std::bitset<kFileCount> files;
  bool templates = false;
  bool header = false;

  static EditScope Track(uint32_t track);
  static EditScope FileSlot(int32_t id);
  static EditScope AllFiles();
  static EditScope Templates();
  static EditScope Header();

  EditScope& WithHeader() {
    header = true;
    return *this;
  }
  EditScope& WithFileSlot(int32_t id);
  bool Empty() const { return tracks.none() && files.none() && !templates && !header; }
};

// One edit as its undo step will know it.
struct EditStep {
  QString label;
  EditScope scope;
  // Consecutive edits with the same non-zero key are one undo step (the arrow-key moves of one
  // selection); 0 never merges.
  uint64_t mergeKey = 0;
};

// What the edit path drives; the document implements it. All on the user-interface thread.
class EditHost {
 public:
  virtual ~EditHost() = default;
  // Stops playback and returns once the composition worker no longer reads the project.
  virtual void LetWorkerGo() = 0;
  // Records what step's scope names, before the change.
  virtual void RecordBefore(const EditStep& step) = 0;
  // The change has run: pushes the undo step for what it altered, if anything.
  virtual void PushStep(const EditStep& step) = 0;
  // The project now differs from what was saved.
  virtual void MarkModified() = 0;
  // Every view other than sender refreshes (sender null: all of them).
  virtual void BroadcastEdit(QObject* sender) = 0;
};

// Runs apply as the edit step of host's project. apply returns whether it changed the project;
// only then is the modified flag set and the views told. Returns apply's result. An edit inside
// another edit (a dialog run by a command that is already an edit) only applies: the outer
// edit records, pushes and finishes both. depth counts the edits running; it is the host's.
bool RunEdit(EditHost& host, int& depth, const EditStep& step, QObject* sender,
             const std::function<bool()>& apply);

}  // namespace tavrona
