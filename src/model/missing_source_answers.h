// The question about a project's source that cannot be opened while the project loads, as a
// front end asks it when it offers to apply one answer to all: that answer may stand for every
// further source of the same load that cannot be opened. The rule is plain state; the front end
// shows the question.
#pragma once

#include <functional>
#include <optional>

namespace tavrona {

// One answer to the missing-source question.
struct MissingSourceAnswer {
  bool goOn = false;        // Yes: the slot is left empty and the load goes on; No: it stops
  bool applyToAll = false;  // the same answer, unasked, for every further missing source
};

// Remembers an answer the user applied to all missing sources, for the rest of one load.
class MissingSourceAnswers {
 public:
  // A load begins: no answer stands.
  void StartLoad() { standing_.reset(); }

  // The answer for one more missing source of the current load (true = Yes): the standing one
  // when an earlier answer was applied to all, else ask()'s, which stands from then on when it
  // applies to all. ask is called only when no answer stands.
  bool Answer(const std::function<MissingSourceAnswer()>& ask);

  // The answer that stands for the rest of this load, if any.
  std::optional<bool> Standing() const { return standing_; }

 private:
  std::optional<bool> standing_;
};

}  // namespace tavrona
