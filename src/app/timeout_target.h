// The recipient of the timeout query of a movie frame request that waits too long. The main
// window (or the command line) answers 0 and lets the user decide; the export's progress
// dialog answers from its check box that makes a timeout an error.
#pragma once

#include <string>

namespace tavrona {

class TimeoutTarget {
 public:
  virtual ~TimeoutTarget() = default;
  // The timeout query. Nonzero aborts the request at once; zero lets AskToContinue decide.
  virtual int TimeoutQuery() = 0;
  // Shows the question (OK / Cancel) to the user. True (OK) waits on; false (Cancel) aborts.
  // The one question asked is the movie frame timeout (MessageCode::MovieTimeout); message is
  // its Japanese wording, which a front end with wordings of its own shows in their place.
  virtual bool AskToContinue(const std::u16string& message) = 0;
};

// With nobody to ask, a timed-out request is abandoned.
class NoUserTimeoutTarget final : public TimeoutTarget {
 public:
  int TimeoutQuery() override { return 0; }
  bool AskToContinue(const std::u16string&) override { return false; }
};

}  // namespace tavrona
