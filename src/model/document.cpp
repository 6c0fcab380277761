#include "model/document.h"

#include "app/process_state.h"

namespace tavrona {

bool ProjectDocument::NewProject() {
  auto project = AllocateProjectData();
  if (!project) return false;
  ApplyNewProjectReset(*project);
  project_ = std::move(project);
  modified_ = false;
  Process().defaultDrawingMethodMirror = 0;
  return true;
}

bool ProjectDocument::OpenProject(const std::u16string& path, SourceOpener& opener,
                                  LoadQuestions& questions, std::string* why) {
  auto project = AllocateProjectData();
  if (!project) {
    if (why != nullptr) *why = "no memory for a project";
    return false;
  }
  if (!ReadProjectFile(path, *project, opener, questions, why)) return false;
  project_ = std::move(project);
  modified_ = false;
  Process().defaultDrawingMethodMirror = project_->defaultDrawingMethod;
  return true;
}

bool ProjectDocument::SaveProject(const std::u16string& path) {
  if (!project_ || !WriteProjectFile(path, *project_)) return false;
  modified_ = false;
  return true;
}

std::string LoadFailureDetail(std::string_view fileName, std::string_view why) {
  std::string line(fileName);
  if (!why.empty()) {
    line += ": ";
    line += why;
  }
  return line;
}

bool ProjectDocument::OpenRecovered(std::string_view bytes, const std::u16string& originalPath,
                                    SourceOpener& opener, LoadQuestions& questions,
                                    std::string* why) {
  auto project = AllocateProjectData();
  if (!project) {
    if (why != nullptr) *why = "no memory for a project";
    return false;
  }
  if (!SetPath(project->projectFolder, FolderOf(originalPath))) project->projectFolder.fill(0);
  if (!ReadProjectBytes(bytes, *project, opener, questions, why)) return false;
  project_ = std::move(project);
  modified_ = true;
  Process().defaultDrawingMethodMirror = project_->defaultDrawingMethod;
  return true;
}

}  // namespace tavrona
