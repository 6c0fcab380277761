// tavrona-make-demo FOLDER [--preview FRAME[,FRAME...]]
//
// Writes the bundled demo into FOLDER: its pictures, its clip and demo.vpj. With --preview the
// project is read back from demo.vpj and the named frames are composed into
// FOLDER/preview_NNNN.bmp, to look at without exporting.
#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_project.h"
#include "model/project_file.h"
#include "render/bitmap_save.h"
#include "render/compose.h"
#include "sources/project_sources.h"

namespace {

// Loading answers no to every question: the demo is complete or it is broken.
class NoQuestions : public tavrona::LoadQuestions {
 public:
  bool AskYesNo(const std::u16string&) override { return false; }
};

bool ParseFrames(const std::string& text, std::vector<uint32_t>& frames) {
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma - start);
    char* end = nullptr;
    const unsigned long value = std::strtoul(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || value >= tavrona::demo::kDemoFrames) return false;
    frames.push_back(static_cast<uint32_t>(value));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

bool RenderPreviews(const std::filesystem::path& folder, const std::vector<uint32_t>& frames) {
  std::unique_ptr<tavrona::ProjectData> project = tavrona::AllocateProjectData();
  tavrona::StandardSourceOpener opener;
  NoQuestions questions;
  if (!project ||
      !tavrona::ReadProjectFile((folder / "demo.vpj").u16string(), *project, opener, questions)) {
    std::fprintf(stderr, "tavrona-make-demo: cannot read back %s\n", (folder / "demo.vpj").c_str());
    return false;
  }
  tavrona::FrameBuffer frame;
  if (!tavrona::CreateFrameBuffer(frame, project->outputWidth, project->outputHeight)) {
    return false;
  }
  tavrona::StandardMovieFrames movies;
  auto states = std::make_unique<tavrona::PlaybackStates>();
  for (uint32_t n : frames) {
    char name[32];
    std::snprintf(name, sizeof name, "preview_%04u.bmp", n);
    if (!tavrona::ComposeFrameAt(*project, *states, n, frame, &movies) ||
        !tavrona::SaveFrameBufferBmp(frame, folder / name)) {
      std::fprintf(stderr, "tavrona-make-demo: cannot compose frame %u\n", n);
      return false;
    }
    std::printf("%s\n", (folder / name).c_str());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folderArg;
  std::vector<uint32_t> previews;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--preview" && i + 1 < argc) {
      if (!ParseFrames(argv[++i], previews)) {
        std::fprintf(stderr, "tavrona-make-demo: frames are 0..%u, separated by commas\n",
                     tavrona::demo::kDemoFrames - 1);
        return 2;
      }
    } else if (folderArg.empty() && !arg.starts_with("-")) {
      folderArg = arg;
    } else {
      folderArg.clear();
      break;
    }
  }
  if (folderArg.empty()) {
    std::fprintf(stderr, "usage: tavrona-make-demo FOLDER [--preview FRAME[,FRAME...]]\n");
    return 2;
  }
  // Texts are drawn with QtGui; no display is needed.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  const std::filesystem::path folder = std::filesystem::absolute(folderArg);
  tavrona::StandardSourceOpener opener;
  std::string error;
  if (!tavrona::demo::MakeDemo(folder, opener, error)) {
    std::fprintf(stderr, "tavrona-make-demo: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", (folder / "demo.vpj").c_str());
  if (!previews.empty() && !RenderPreviews(folder, previews)) return 1;
  return 0;
}
