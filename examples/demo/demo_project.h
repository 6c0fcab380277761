// The bundled demo project and the export benchmark's project, built with the model API from
// the pictures and clips of demo_sources.h.
//
// Every source is stored with a relative path ("\name") and the project's base path stays
// empty, so a project file written into the folder of its sources loads wherever that folder
// is moved (the loader tries the project folder after the base path).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "model/project_data.h"
#include "model/project_file.h"

namespace tavrona::demo {

inline constexpr int kDemoWidth = 1280;
inline constexpr int kDemoHeight = 720;
inline constexpr uint32_t kDemoFrames = 210;  // 7 s at 30 frames per second
inline constexpr uint32_t kClipFrames = 120;  // 4 s
inline constexpr int kClipWidth = 640;
inline constexpr int kClipHeight = 360;

// What the demo's file slots hold.
enum DemoFile : int32_t {
  kFileBackdrop = 0,
  kFileSkyline,
  kFileClip,
  kFileEmblem,
  kFileShadow,
  kFileFlare,
  kFileVignette,
  kFileTitle,
  kFileSubtitle,
  kFileCaption,
  kDemoFileCount
};

// Writes the demo's pictures (BMP) and its clip ("clip.avi", MJPEG) into folder, which must
// exist. False when any of them cannot be written.
bool WriteDemoSources(const std::filesystem::path& folder);

// Fills a freshly constructed block with the demo: 1280 x 720 at 30 frames per second, 7 s,
// every source opened through opener from folder (the texts too, which need a
// QGuiApplication). False when a source does not open or an event list cannot be made.
bool BuildDemoProject(ProjectData& project, const std::filesystem::path& folder,
                      SourceOpener& opener);

// WriteDemoSources, BuildDemoProject and "demo.vpj" in folder (created when missing). On
// failure error says what failed.
bool MakeDemo(const std::filesystem::path& folder, SourceOpener& opener, std::string& error);

// The benchmark's project: 1280 x 720, kBenchFrames frames; track 0 a 720p H.264 movie shown
// whole and playing at speed 1, tracks 1..3 three 1920 x 1080 stills shrunk to 60, 45 and 30 %
// of the output's width, translucent, each turning about its centre (bilinear drawing).
inline constexpr uint32_t kBenchFrames = 300;

struct BenchTile {
  const char* fileName;
  int width, height;
  float scale;
  float centreX, centreY;  // where the tile's centre stays, output pixels
  float turns;             // whole turns over the project (negative: anticlockwise)
  float opacity;           // 0 .. 1
};
inline constexpr BenchTile kBenchTiles[3] = {
    {"tile_a.bmp", 1920, 1080, 0.4f, 420, 260, 1.0f, 0.85f},
    {"tile_b.bmp", 1920, 1080, 0.3f, 900, 220, -0.5f, 0.70f},
    {"tile_c.bmp", 1920, 1080, 0.2f, 760, 540, 0.25f, 0.60f},
};
inline constexpr char kBenchClipName[] = "bench_clip.mp4";

// Writes the benchmark's clip (1280 x 720, kBenchFrames frames, H.264 in MP4 with the export's
// long groups of pictures) and stills into folder.
bool WriteBenchSources(const std::filesystem::path& folder);
// Fills a freshly constructed block with the benchmark project, sources opened from folder.
bool BuildBenchProject(ProjectData& project, const std::filesystem::path& folder,
                       SourceOpener& opener);
// The playback benchmark's scenes: a movie (H.264 in MP4, drawn whole at the output's size and
// playing at speed 1) under `stills` translucent 1920 x 1080 stills, each shrunk and turning
// about its own centre (bilinear drawing), spread over the frame.
struct PlaybackScene {
  const char* name;  // also the project file's name without ".vpj"
  int width, height;
  uint32_t framesPerSecond;
  uint32_t frames;
  int stills;  // 1..kMaxSceneStills
};
inline constexpr int kMaxSceneStills = 7;
inline constexpr PlaybackScene kScene1080p60 = {"scene_1080p60", 1920, 1080, 60, 360, 7};
inline constexpr PlaybackScene kScene2160p30 = {"scene_2160p30", 3840, 2160, 30, 180, 3};

// Writes the scene's clip and stills, builds its project and writes it as "<name>.vpj" into
// folder (created when missing). Sources already written by an earlier call are kept. On
// failure error says what failed.
bool MakePlaybackScene(const std::filesystem::path& folder, const PlaybackScene& scene,
                       SourceOpener& opener, std::string& error);

// An ffmpeg -filter_complex graph doing the same work on the same inputs (input 0 the clip,
// inputs 1..3 the tiles looped): each tile scaled, rotated over time and overlaid on the clip,
// ending in 32-bit BGRA frames like the project's.
std::string BenchFilterGraph();

// The export benchmark's layer scenes: 1920 x 1080, kLayerFrames frames; track 0 a 1080p H.264
// movie shown whole, tracks 1..layers 1920 x 1080 stills at most kMaxLayers, each shrunk a
// little, turned, translucent and turning about its own centre (bilinear drawing). Comparing
// two layer counts gives what one more still costs per frame.
inline constexpr int kLayerWidth = 1920;
inline constexpr int kLayerHeight = 1080;
inline constexpr uint32_t kLayerFrames = 90;
inline constexpr int kMaxLayers = 8;
inline constexpr char kLayerClipName[] = "layer_clip.mp4";
// Still i of the layer scenes (0 .. kMaxLayers - 1), whose picture is that of kBenchTiles[i % 3].
// Where its centre stays (output pixels), rotation on the first frame (degrees), whole turns
// over the scene, opacity 0 .. 1.
struct LayerStill {
  float scale;
  float centreX, centreY;
  float rotation;
  float turns;
  float opacity;
};
LayerStill LayerBenchStill(int i);
// Writes the layer scenes' clip and the three stills into folder (the stills are the
// benchmark's tiles, written again only when missing).
bool WriteLayerBenchSources(const std::filesystem::path& folder);
// Fills a freshly constructed block with the scene of `layers` stills over the movie.
bool BuildLayerBenchProject(ProjectData& project, const std::filesystem::path& folder,
                            SourceOpener& opener, int layers);

}  // namespace tavrona::demo
