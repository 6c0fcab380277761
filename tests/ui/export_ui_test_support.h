// Shared pieces of the export dialog tests: a small project whose frames differ, a recorder
// that answers every prompt, and a loop that runs the event loop until a condition holds.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "export/project_export.h"
#include "export_test_support.h"
#include "model/project_data.h"
#include "model/track_data.h"
#include "ui/prompts.h"

namespace tavrona::testing {

// W x H, 30 frames per second, a still picture that moves across the frame and fades, so every
// output frame differs from the one before.
inline std::unique_ptr<ProjectData> MakeExportProject(uint32_t movieLength, int width = 64,
                                                      int height = 48) {
  auto project = ProjectWithGradientStill(width, height, movieLength, {5, 16, 12, 15, 20, 200});
  if (!project) return nullptr;
  EventRecord a = DefaultEventForFile(*project, 5, 0);
  a.flags |= EventInterpolate;
  a.positionX = 4;
  a.positionY = 6;
  EventRecord b = a;
  b.start = movieLength > 1 ? movieLength - 1 : 1;
  b.positionX = static_cast<float>(width - 20);
  b.positionY = static_cast<float>(height - 14);
  b.opacity = 120;
  EventRecord events[] = {a, b};
  if (!InsertSorted(project->tracks[1], 2, events)) return nullptr;
  return project;
}

struct SeenPrompt {
  PromptKind kind;
  QString caption;
  QString text;
  QString filter;
  QString defaultSuffix;
};

// Stands in for the user for as long as it lives: records every prompt, answers the save
// dialog with savePath (empty: cancelled) and questions with answer.
class PromptRecorder {
 public:
  PromptRecorder() {
    SetPromptHookForTests([this](Prompt& prompt) {
      seen.push_back(
          {prompt.kind, prompt.caption, prompt.text, prompt.filter, prompt.defaultSuffix});
      if (prompt.kind == PromptKind::SaveFile) prompt.answerText = savePath;
      return answer;
    });
  }
  ~PromptRecorder() { SetPromptHookForTests(nullptr); }
  PromptRecorder(const PromptRecorder&) = delete;
  PromptRecorder& operator=(const PromptRecorder&) = delete;

  std::vector<SeenPrompt> seen;
  QString savePath;
  PromptAnswer answer = PromptAnswer::Ok;
};

// Runs the event loop until done() holds, waiting for events between rounds (a running
// progress dialog always has a timer pending); false when it still does not after many rounds.
template <typename Condition>
bool ProcessEventsUntil(Condition done, int rounds = 100000) {
  for (int i = 0; i < rounds; ++i) {
    if (done()) return true;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return done();
}

}  // namespace tavrona::testing
