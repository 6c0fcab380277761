// Fuzz target of the project file reader: any bytes are read with an opener whose answers
// depend only on the stored paths, and every project that reads must write back to bytes that
// read again to the same project (the same bytes once more).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "model/project_data.h"
#include "model/project_file.h"

namespace {

using namespace tavrona;

class FuzzOpener final : public SourceOpener {
 public:
  bool Open(FileEntry& e, int32_t kind, std::u16string_view path) {
    // Paths starting with 'o' open, others fail: both branches of the loader get exercised.
    if (path.empty() || path.front() != u'o') return false;
    ResetFileEntry(e);
    e.kind = kind;
    SetPath(e.path, path);
    return CreateFrameBuffer(e.picture, 1, 1);
  }
  bool OpenMovie(FileEntry& e, std::u16string_view p, std::u16string_view) override {
    return Open(e, FileMovie, p);
  }
  bool OpenImage(FileEntry& e, std::u16string_view p, std::u16string_view) override {
    return Open(e, FileStillImage, p);
  }
  bool MakeText(FileEntry& e, std::u16string_view text, uint32_t, const LOGFONTW& font) override {
    ResetFileEntry(e);
    if (text.size() > 4 && text[0] == u'x') return false;
    e.kind = FileText;
    e.text = text;
    e.font = font;
    return CreateFrameBuffer(e.picture, 1, 1);
  }
};

class YesToAll final : public LoadQuestions {
 public:
  bool AskYesNo(const std::u16string&) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzOpener opener;
  YesToAll yes;
  auto project = AllocateProjectData();
  if (!project) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!ReadProjectBytes(bytes, *project, opener, yes)) return 0;
  const std::string written = SerializeProject(*project);
  auto again = AllocateProjectData();
  if (!again || !ReadProjectBytes(written, *again, opener, yes)) __builtin_trap();
  if (SerializeProject(*again) != written) __builtin_trap();
  return 0;
}
