// The document's project-level operations without any user interface: the one project block,
// New, Open and Save, the modification flag and the drawing-method mirror. The GUI's document
// and the command line both work through it; they word the failures.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "model/project_data.h"
#include "model/project_file.h"

namespace tavrona {

class ProjectDocument {
 public:
  // Installs a new project (the new-project values). The current block is replaced only once
  // the new one exists, so a failed allocation keeps the current project. Returns false then.
  bool NewProject();

  // Reads path into a new block. On success installs it, sets the drawing-method mirror to the
  // value read and clears the modification flag. On failure nothing changes (the caller words
  // MessageCode::LoadFailed).
  // `why`, when given, receives the reader's words for a failure (ReadProjectFile).
  bool OpenProject(const std::u16string& path, SourceOpener& opener, LoadQuestions& questions,
                   std::string* why = nullptr);

  // Writes the block. On success clears the modification flag; on failure it stays set (the
  // caller words MessageCode::SaveFailed).
  bool SaveProject(const std::u16string& path);

  ProjectData* Project() { return project_.get(); }
  const ProjectData* Project() const { return project_.get(); }
  bool Modified() const { return modified_; }
  void SetModified(bool modified = true) { modified_ = modified; }

  // Reads a project's bytes (a recovered autosave) into a new block whose project folder is the
  // folder of originalPath (empty for a project never saved), as a read of that file would set
  // it, so relative sources resolve where they did. On success installs it as modified; on
  // failure nothing changes and why (when given) receives the reader's words.
  bool OpenRecovered(std::string_view bytes, const std::u16string& originalPath,
                     SourceOpener& opener, LoadQuestions& questions, std::string* why = nullptr);

 private:
  std::unique_ptr<ProjectData> project_;
  bool modified_ = false;
};

// The line both front ends show under their wording of MessageCode::LoadFailed: the project
// file as the user named it, then, when the reader gave any, its words for the failure ("<file>:
// <why>").
std::string LoadFailureDetail(std::string_view fileName, std::string_view why);

}  // namespace tavrona
