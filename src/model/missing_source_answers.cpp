#include "model/missing_source_answers.h"

namespace tavrona {

bool MissingSourceAnswers::Answer(const std::function<MissingSourceAnswer()>& ask) {
  if (standing_) return *standing_;
  const MissingSourceAnswer answer = ask();
  if (answer.applyToAll) standing_ = answer.goOn;
  return answer.goOn;
}

}  // namespace tavrona
