// tavrona-many-slots: writes a project that shows one source file from many slots, for the
// memory and open-time measurements of scripts/decoder-memory-bench (not a benchmark of its own).
//
//   tavrona-many-slots SOURCE OUT.vpj SLOTS [--still] [--tracks T] [--step FRAMES] [--fetch-all]
//
// Every slot 0..SLOTS-1 holds SOURCE (a movie, or a still with --still); slot i has one event,
// on track i % T (default 4) at frame i * FRAMES (default 30), playing the movie at its own
// speed from its start, so that T movies play at any frame. The output has the source's size, 30
// frames per second, and lasts until the last event has shown four seconds. --fetch-all then
// brings every movie slot to its frame 0 and prints, with the decoder pool's budget, what the
// pool counts as held beside the process's resident memory (to check the decoders' estimate).
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/parse_number.h"
#include "model/project_data.h"
#include "model/project_file.h"
#include "model/track_data.h"
#include "sources/decoder_pool.h"
#include "sources/movie_file.h"
#include "sources/project_sources.h"

using namespace tavrona;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s SOURCE OUT.vpj SLOTS [--still] [--tracks T] [--step F]\n",
                 argv[0]);
    return 2;
  }
  const std::filesystem::path source = std::filesystem::absolute(argv[1]);
  const std::filesystem::path out = argv[2];
  uint32_t slots = 0, tracks = 4, step = 30;
  bool still = false;
  bool fetchAll = false;
  if (!ParseUint32(argv[3], slots) || slots == 0 || slots > kFileCount) return 2;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--still") {
      still = true;
    } else if (option == "--fetch-all") {
      fetchAll = true;
    } else if (option == "--tracks" && i + 1 < argc && ParseUint32(argv[++i], tracks) &&
               tracks > 0 && tracks <= static_cast<uint32_t>(kTrackCount)) {
    } else if (option == "--step" && i + 1 < argc && ParseUint32(argv[++i], step) && step > 0) {
    } else {
      std::fprintf(stderr, "bad option %s\n", option.c_str());
      return 2;
    }
  }

  std::unique_ptr<ProjectData> project = AllocateProjectData();
  if (!project) return 1;
  ApplyNewProjectReset(*project);
  StandardSourceOpener opener;
  const std::u16string path = source.u16string();
  for (uint32_t i = 0; i < slots; ++i) {
    FileEntry& entry = project->files[i];
    const bool opened = still ? opener.OpenImage(entry, path, u"") : opener.OpenMovie(entry, path, u"");
    if (!opened) {
      std::fprintf(stderr, "cannot open %s in slot %u\n", source.c_str(), i);
      return 1;
    }
  }
  const FrameBuffer& picture = project->files[0].picture;
  project->outputWidth = picture.Width();
  project->outputHeight = picture.Height();
  project->SetFrameRate(30.0);
  project->movieLength = ClampMovieLength((slots - 1) * step + 120);
  for (uint32_t i = 0; i < slots; ++i) {
    EventRecord e{};
    e.flags = EventInUse | EventBaseTransform;
    e.start = i * step;
    e.fileId = static_cast<int32_t>(i);
    e.playbackPosition = 0;
    e.playbackRate = project->frameDuration100ns;  // one source frame per output frame
    e.regionRight = picture.Width();
    e.regionBottom = picture.Height();
    e.red = e.green = e.blue = 255;
    e.opacity = EncodeOpacity(256);
    e.blendMode = BlendNormal;
    e.scale = 1.0f;
    if (!InsertSorted(project->tracks[i % tracks], 1, &e)) return 1;
  }
  if (!WriteProjectFile(out.u16string(), *project)) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 1;
  }
  if (fetchAll && !still) {
    const auto residentMiB = [] {
      std::ifstream statm("/proc/self/statm");
      uint64_t size = 0, resident = 0;
      statm >> size >> resident;
      return resident * 4096 / (1 << 20);
    };
    const uint64_t before = residentMiB();
    for (uint32_t i = 0; i < slots; ++i) {
      if (!PrepareMovieFrame(project->files[i], 0)) std::fprintf(stderr, "slot %u failed\n", i);
    }
    const DecoderPool& pool = ProcessDecoderPool();
    std::printf("budget %llu MiB, held %llu MiB (%d open decoders), resident %llu -> %llu MiB\n",
                static_cast<unsigned long long>(pool.BudgetBytes() >> 20),
                static_cast<unsigned long long>(pool.HeldBytes() >> 20), pool.OpenDecoders(),
                static_cast<unsigned long long>(before),
                static_cast<unsigned long long>(residentMiB()));
  }
  return 0;
}
