#include "ui/edit/edit_path.h"

namespace tavrona {

EditScope EditScope::Track(uint32_t track) {
  EditScope scope;
  if (track < kTrackCount) scope.tracks.set(track);
  return scope;
}

EditScope EditScope::FileSlot(int32_t id) {
  EditScope scope;
  return scope.WithFileSlot(id);
}

EditScope EditScope::AllFiles() {
  EditScope scope;
  scope.files.set();
  return scope;
}

EditScope EditScope::Templates() {
  EditScope scope;
  scope.templates = true;
  return scope;
}

EditScope EditScope::Header() {
  EditScope scope;
  scope.header = true;
  return scope;
}

EditScope& EditScope::WithFileSlot(int32_t id) {
  if (id >= 0 && id < kFileCount) files.set(static_cast<size_t>(id));
  return *this;
}

bool RunEdit(EditHost& host, int& depth, const EditStep& step, QObject* sender,
             const std::function<bool()>& apply) {
  if (depth > 0) return apply();
  host.LetWorkerGo();
  host.RecordBefore(step);
  struct Depth {
    int& count;
    explicit Depth(int& c) : count(c) { ++count; }
    ~Depth() { --count; }
  };
  bool changed;
  {
    const Depth running(depth);
    changed = apply();
  }
  // Whatever apply reports, what it altered is undone as one step.
  host.PushStep(step);
  if (!changed) return false;
  host.MarkModified();
  host.BroadcastEdit(sender);
  return true;
}

}  // namespace tavrona
