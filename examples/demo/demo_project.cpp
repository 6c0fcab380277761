#include "demo_project.h"

#include <cstdio>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "demo_sources.h"
#include "model/track_data.h"
#include "render/bitmap_save.h"

namespace tavrona::demo {
namespace {

// One key position of an event chain: where the source's base point lands, how large, how
// turned, how opaque and tinted, and (for movies) which source time shows.
struct Key {
  uint32_t start;
  float x, y;
  float scale = 1.0f;
  float rotation = 0.0f;
  int opacity = 256;
  uint8_t red = 255, green = 255, blue = 255;
  int64_t position100ns = 0;
  bool interpolate = true;  // towards the next key; the last key never interpolates
};

struct Placement {
  int32_t fileId;
  BlendMode blend = BlendNormal;
  float baseX = 0, baseY = 0;  // the source point that keys place
  int64_t rate100ns = 0;       // playback rate of events that do not interpolate
  int32_t method = DrawMethodLinear;
};

// Appends one event per key to the track. Regions are the whole picture of the slot.
bool AddKeys(ProjectData& project, int track, const Placement& place,
             const std::vector<Key>& keys) {
  const FrameBuffer& picture = project.files[place.fileId].picture;
  std::vector<EventRecord> events;
  for (size_t i = 0; i < keys.size(); ++i) {
    const Key& k = keys[i];
    EventRecord e{};
    e.flags = EventInUse | EventBaseTransform;
    if (k.interpolate && i + 1 < keys.size()) e.flags |= EventInterpolate;
    e.start = k.start;
    e.fileId = place.fileId;
    e.drawingMethod = place.method;
    e.playbackPosition = k.position100ns;
    e.playbackRate = place.rate100ns;
    e.regionRight = picture.Width();
    e.regionBottom = picture.Height();
    e.red = k.red;
    e.green = k.green;
    e.blue = k.blue;
    e.opacity = EncodeOpacity(k.opacity);
    e.blendMode = place.blend;
    e.baseX = place.baseX;
    e.baseY = place.baseY;
    e.scale = k.scale;
    e.rotation = k.rotation;
    e.positionX = k.x;
    e.positionY = k.y;
    events.push_back(e);
  }
  return InsertSorted(project.tracks[track], static_cast<uint32_t>(events.size()), events.data());
}

bool SaveBmp(bool drawn, const FrameBuffer& picture, const std::filesystem::path& path) {
  return drawn && SaveFrameBufferBmp(picture, path);
}

std::u16string Relative(const char* fileName) {
  return u"\\" + std::filesystem::path(fileName).u16string();
}

bool OpenStill(ProjectData& project, int32_t id, const char* fileName, std::u16string_view base,
               SourceOpener& opener, uint32_t transparentColour = 0xFFFFFFFFu) {
  FileEntry& entry = project.files[id];
  if (!opener.OpenImage(entry, Relative(fileName), base)) return false;
  entry.transparentColour = transparentColour;
  return true;
}

LOGFONTW Font(const std::u16string& face, int32_t pixelHeight, int32_t weight) {
  LOGFONTW font{};
  font.lfHeight = -pixelHeight;
  font.lfWeight = weight;
  font.lfCharSet = 128;  // Japanese
  face.copy(font.lfFaceName, face.size());
  return font;
}

void SetOutput(ProjectData& project, uint32_t frames) {
  ApplyNewProjectReset(project);
  project.outputWidth = kDemoWidth;
  project.outputHeight = kDemoHeight;
  project.SetFrameRate(30.0);
  project.movieLength = frames;
  project.backgroundColour = 0;
  project.defaultDrawingMethod = DrawMethodLinear;
}

}  // namespace

bool WriteDemoSources(const std::filesystem::path& folder) {
  FrameBuffer picture;
  return SaveBmp(DrawBackdrop(picture, kDemoWidth, kDemoHeight), picture,
                 folder / "backdrop.bmp") &&
         SaveBmp(DrawSkyline(picture, 1640, 260), picture, folder / "skyline.bmp") &&
         SaveBmp(DrawEmblem(picture, 256), picture, folder / "emblem.bmp") &&
         SaveBmp(DrawShadow(picture, 256), picture, folder / "shadow.bmp") &&
         SaveBmp(DrawFlare(picture, 384), picture, folder / "flare.bmp") &&
         SaveBmp(DrawVignette(picture, kDemoWidth, kDemoHeight), picture,
                 folder / "vignette.bmp") &&
         WriteClip(folder / "clip.avi", kClipWidth, kClipHeight, kClipFrames, 30, "mjpeg");
}

bool BuildDemoProject(ProjectData& project, const std::filesystem::path& folder,
                      SourceOpener& opener) {
  SetOutput(project, kDemoFrames);
  const std::u16string base = folder.u16string();
  if (!OpenStill(project, kFileBackdrop, "backdrop.bmp", base, opener) ||
      !OpenStill(project, kFileSkyline, "skyline.bmp", base, opener, kSkylineKey) ||
      !OpenStill(project, kFileEmblem, "emblem.bmp", base, opener, kEmblemKey) ||
      !OpenStill(project, kFileShadow, "shadow.bmp", base, opener) ||
      !OpenStill(project, kFileFlare, "flare.bmp", base, opener) ||
      !OpenStill(project, kFileVignette, "vignette.bmp", base, opener) ||
      !opener.OpenMovie(project.files[kFileClip], Relative("clip.avi"), base) ||
      !opener.MakeText(project.files[kFileTitle], u"Tavrona デモ", 0x00FFFFFFu,
                       Font(u"IPAGothic", 104, 700)) ||
      !opener.MakeText(project.files[kFileSubtitle], u"トラック・補間・合成モード・カラーキー",
                       0x00FFE2C4u, Font(u"IPAPGothic", 30, 400)) ||
      !opener.MakeText(project.files[kFileCaption],
                       u"tracks, interpolation, blend modes and a colour key", 0x00FFE2C4u,
                       Font(u"IPAPGothic", 26, 400))) {
    return false;
  }

  const int64_t frame = project.frameDuration100ns;
  const float bottom = static_cast<float>(kDemoHeight);
  bool ok = true;
  // Track 0: the sky.
  ok = ok && AddKeys(project, 0, {kFileBackdrop}, {{0, 0, 0}});
  // Track 1: the city, keyed on green, drifting left for the whole movie.
  ok = ok && AddKeys(project, 1, {kFileSkyline, BlendNormal, 0, 260},
                     {{0, 0, bottom}, {kDemoFrames - 1, -340, bottom}});
  // Track 2: the clip slides and fades in turned, settles, plays, then starts over at 4 s.
  ok = ok &&
       AddKeys(project, 2, {kFileClip, BlendNormal, 320, 180, frame},
               {{.start = 0, .x = 1500, .y = 330, .scale = 0.55f, .rotation = 14, .opacity = 1},
                {.start = 36,
                 .x = 940,
                 .y = 400,
                 .scale = 0.72f,
                 .rotation = -4,
                 .position100ns = 36 * frame,
                 .interpolate = false},
                {.start = kClipFrames,
                 .x = 940,
                 .y = 400,
                 .scale = 0.72f,
                 .rotation = -4,
                 .position100ns = 0,
                 .interpolate = false}});
  // Tracks 3 and 4: the emblem, keyed on magenta, flies in, turns and grows along a path; a
  // soft shadow follows it, darkening what lies below by subtraction.
  const std::vector<Key> path = {{0, -150, 470, 0.45f, -120},
                                 {45, 260, 360, 0.95f, 90},
                                 {100, 470, 520, 0.7f, 300},
                                 {150, 300, 560, 1.05f, 470},
                                 {kDemoFrames - 1, 210, 470, 0.85f, 720}};
  std::vector<Key> shadowPath = path;
  for (Key& k : shadowPath) {
    k.x += 18 * k.scale;
    k.y += 24 * k.scale;
  }
  ok = ok && AddKeys(project, 3, {kFileShadow, BlendSubtract, 128, 128}, shadowPath);
  ok = ok && AddKeys(project, 4, {kFileEmblem, BlendNormal, 128, 128}, path);
  // Tracks 5 to 7: the title fades in while rising a little; two subtitles follow.
  ok = ok &&
       AddKeys(project, 5, {kFileTitle},
               {{.start = 15, .x = 80, .y = 96, .opacity = 1}, {.start = 60, .x = 80, .y = 64}});
  ok = ok &&
       AddKeys(project, 6, {kFileSubtitle},
               {{.start = 50, .x = 86, .y = 200, .opacity = 1}, {.start = 85, .x = 86, .y = 190}});
  ok = ok &&
       AddKeys(project, 7, {kFileCaption},
               {{.start = 70, .x = 86, .y = 240, .opacity = 1}, {.start = 105, .x = 86, .y = 230}});
  // Track 8: a light sweeping across the sky, added to the picture, changing colour.
  ok = ok && AddKeys(project, 8, {kFileFlare, BlendAdd, 192, 192},
                     {{.start = 0, .x = -200, .y = 140, .scale = 1.1f, .green = 150, .blue = 70},
                      {.start = 105,
                       .x = 640,
                       .y = 70,
                       .scale = 1.4f,
                       .rotation = 10,
                       .red = 110,
                       .green = 170},
                      {.start = kDemoFrames - 1,
                       .x = 1500,
                       .y = 180,
                       .scale = 1.1f,
                       .green = 110,
                       .blue = 200}});
  // Track 9: darker corners, multiplied over everything.
  ok = ok && AddKeys(project, 9, {kFileVignette, BlendMultiply}, {{0, 0, 0}});
  // Templates for the keys 1 to 4, centred on the frame: pieces of the demo to place again.
  const std::pair<int32_t, BlendMode> pieces[] = {{kFileEmblem, BlendNormal},
                                                  {kFileFlare, BlendAdd},
                                                  {kFileTitle, BlendNormal},
                                                  {kFileClip, BlendNormal}};
  for (int slot = 0; slot < 4; ++slot) {
    EventRecord t = DefaultEventForFile(project, pieces[slot].first, 0);
    t.blendMode = pieces[slot].second;
    t.drawingMethod = DrawMethodLinear;
    t.baseX = static_cast<float>(t.regionRight) / 2;
    t.baseY = static_cast<float>(t.regionBottom) / 2;
    t.positionX = kDemoWidth / 2.0f;
    t.positionY = kDemoHeight / 2.0f;
    project.templates[slot] = t;
  }
  return ok;
}

bool MakeDemo(const std::filesystem::path& folder, SourceOpener& opener, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  const std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
  if (ec) {
    error = "cannot resolve " + folder.string();
    return false;
  }
  if (!WriteDemoSources(absolute)) {
    error = "cannot write the demo's pictures and clip into " + absolute.string();
    return false;
  }
  std::unique_ptr<ProjectData> project = AllocateProjectData();
  if (!project || !BuildDemoProject(*project, absolute, opener)) {
    error = "cannot open the demo's sources in " + absolute.string();
    return false;
  }
  if (!WriteProjectFile((absolute / "demo.vpj").u16string(), *project)) {
    error = "cannot write " + (absolute / "demo.vpj").string();
    return false;
  }
  return true;
}

bool WriteBenchSources(const std::filesystem::path& folder) {
  FrameBuffer picture;
  for (int i = 0; i < 3; ++i) {
    const BenchTile& tile = kBenchTiles[i];
    if (!SaveBmp(DrawTile(picture, tile.width, tile.height, i), picture, folder / tile.fileName)) {
      return false;
    }
  }
  return WriteClip(folder / kBenchClipName, kDemoWidth, kDemoHeight, kBenchFrames, 30, "h264");
}

bool BuildBenchProject(ProjectData& project, const std::filesystem::path& folder,
                       SourceOpener& opener) {
  SetOutput(project, kBenchFrames);
  const std::u16string base = folder.u16string();
  if (!opener.OpenMovie(project.files[0], Relative(kBenchClipName), base)) return false;
  const int64_t frame = project.frameDuration100ns;
  // Shown at its own size, the movie needs no resampling: the plain method copies its pixels,
  // which is what linear interpolation would give there too.
  if (!AddKeys(project, 0, {0, BlendNormal, 0, 0, frame, DrawMethodNormal}, {{0, 0, 0}})) {
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    const BenchTile& tile = kBenchTiles[i];
    if (!OpenStill(project, i + 1, tile.fileName, base, opener)) return false;
    // The last key sits on the last frame, so frame n is turned by turns * 360 * n / frames.
    const float lastTurn = tile.turns * 360.0f * (kBenchFrames - 1) / kBenchFrames;
    const Placement place{i + 1, BlendNormal, tile.width / 2.0f, tile.height / 2.0f};
    const int opacity = static_cast<int>(tile.opacity * 256 + 0.5f);
    if (!AddKeys(project, i + 1, place,
                 {{0, tile.centreX, tile.centreY, tile.scale, 0, opacity},
                  {kBenchFrames - 1, tile.centreX, tile.centreY, tile.scale, lastTurn, opacity}})) {
      return false;
    }
  }
  return true;
}

namespace {

// Where the scene's stills sit, as shares of the output: centre, width of the shrunk still,
// whole turns over the scene (negative: anticlockwise) and opacity.
struct SceneStill {
  float centreX, centreY;
  float widthShare;
  float turns;
  float opacity;
};
constexpr SceneStill kSceneStills[kMaxSceneStills] = {
    {0.30f, 0.30f, 0.35f, 1.0f, 0.80f},   {0.70f, 0.30f, 0.30f, -0.5f, 0.70f},
    {0.50f, 0.65f, 0.25f, 0.25f, 0.60f},  {0.20f, 0.75f, 0.20f, -1.0f, 0.75f},
    {0.80f, 0.75f, 0.22f, 0.75f, 0.65f},  {0.50f, 0.20f, 0.18f, -0.25f, 0.85f},
    {0.50f, 0.45f, 0.40f, 0.5f, 0.50f},
};
constexpr int kSceneStillWidth = 1920;
constexpr int kSceneStillHeight = 1080;

std::string SceneClipName(const PlaybackScene& scene) {
  return std::string(scene.name) + ".mp4";
}

std::string SceneStillName(int i) {
  return "scene_still_" + std::to_string(i) + ".bmp";
}

bool WriteSceneSources(const std::filesystem::path& folder, const PlaybackScene& scene) {
  FrameBuffer picture;
  for (int i = 0; i < scene.stills; ++i) {
    const std::filesystem::path path = folder / SceneStillName(i);
    if (std::filesystem::exists(path)) continue;
    if (!SaveBmp(DrawTile(picture, kSceneStillWidth, kSceneStillHeight, i % 3), picture, path)) {
      return false;
    }
  }
  const std::filesystem::path clip = folder / SceneClipName(scene);
  if (std::filesystem::exists(clip)) return true;
  // Written under another name first, so that an interrupted run leaves no half clip behind.
  const std::filesystem::path part = folder / (SceneClipName(scene) + ".part.mp4");
  if (!WriteClip(part, scene.width, scene.height, scene.frames, scene.framesPerSecond, "h264")) {
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(part, clip, ec);
  return !ec;
}

bool BuildSceneProject(ProjectData& project, const std::filesystem::path& folder,
                       const PlaybackScene& scene, SourceOpener& opener) {
  SetOutput(project, scene.frames);
  project.outputWidth = scene.width;
  project.outputHeight = scene.height;
  project.SetFrameRate(scene.framesPerSecond);
  const std::u16string base = folder.u16string();
  const std::string clip = SceneClipName(scene);
  if (!opener.OpenMovie(project.files[0], Relative(clip.c_str()), base)) return false;
  const int64_t frame = project.frameDuration100ns;
  if (!AddKeys(project, 0, {0, BlendNormal, 0, 0, frame, DrawMethodNormal}, {{0, 0, 0}})) {
    return false;
  }
  for (int i = 0; i < scene.stills && i < kMaxSceneStills; ++i) {
    const SceneStill& still = kSceneStills[i];
    const std::string name = SceneStillName(i);
    if (!OpenStill(project, i + 1, name.c_str(), base, opener)) return false;
    const float x = still.centreX * scene.width;
    const float y = still.centreY * scene.height;
    const float scale = still.widthShare * scene.width / kSceneStillWidth;
    const float lastTurn = still.turns * 360.0f * (scene.frames - 1) / scene.frames;
    const Placement place{i + 1, BlendNormal, kSceneStillWidth / 2.0f, kSceneStillHeight / 2.0f};
    const int opacity = static_cast<int>(still.opacity * 256 + 0.5f);
    if (!AddKeys(project, i + 1, place,
                 {{0, x, y, scale, 0, opacity}, {scene.frames - 1, x, y, scale, lastTurn, opacity}})) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool MakePlaybackScene(const std::filesystem::path& folder, const PlaybackScene& scene,
                       SourceOpener& opener, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
  if (ec) {
    error = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  if (!WriteSceneSources(absolute, scene)) {
    error = "cannot write the pictures and clip of " + std::string(scene.name) + " into " +
            absolute.string();
    return false;
  }
  std::unique_ptr<ProjectData> project = AllocateProjectData();
  if (!project || !BuildSceneProject(*project, absolute, scene, opener)) {
    error = "cannot open the sources of " + std::string(scene.name) + " in " + absolute.string();
    return false;
  }
  const std::filesystem::path file = absolute / (std::string(scene.name) + ".vpj");
  if (!WriteProjectFile(file.u16string(), *project)) {
    error = "cannot write " + file.string();
    return false;
  }
  return true;
}

std::string BenchFilterGraph() {
  std::string graph = "[0:v]format=bgra[m0];";
  char part[512];
  for (int i = 0; i < 3; ++i) {
    const BenchTile& tile = kBenchTiles[i];
    const int w = static_cast<int>(tile.width * tile.scale + 0.5f);
    const int h = static_cast<int>(tile.height * tile.scale + 0.5f);
    // rotate turns clockwise for positive angles, like the project's rotation; t runs over the
    // project's kBenchFrames / 30 seconds. The tile's alpha carries its opacity into overlay.
    std::snprintf(part, sizeof part,
                  "[%d:v]format=bgra,colorchannelmixer=aa=%g,scale=%d:%d,"
                  "rotate=a=2*PI*%g*t/%g:c=none:ow='hypot(iw,ih)':oh=ow[t%d];"
                  "[m%d][t%d]overlay=x=%g-w/2:y=%g-h/2:format=rgb[m%d];",
                  i + 1, tile.opacity, w, h, tile.turns, kBenchFrames / 30.0, i, i, i,
                  tile.centreX, tile.centreY, i + 1);
    graph += part;
  }
  graph += "[m3]format=bgra";
  return graph;
}

LayerStill LayerBenchStill(int i) {
  // Spread over the frame in a 4 x 2 grid, every one large enough to cover a good part of it.
  const float column = static_cast<float>(i % 4), row = static_cast<float>(i / 4);
  return LayerStill{0.75f - 0.05f * (i % 3),
                    300.0f + 440.0f * column,
                    330.0f + 420.0f * row,
                    7.0f + 11.0f * i,
                    (i % 2 == 0 ? 0.25f : -0.25f) * (1 + i % 3),
                    0.55f + 0.05f * i};
}

bool WriteLayerBenchSources(const std::filesystem::path& folder) {
  FrameBuffer picture;
  for (int i = 0; i < 3; ++i) {
    const BenchTile& tile = kBenchTiles[i];
    std::error_code error;
    if (std::filesystem::exists(folder / tile.fileName, error)) continue;
    if (!SaveBmp(DrawTile(picture, tile.width, tile.height, i), picture, folder / tile.fileName)) {
      return false;
    }
  }
  return WriteClip(folder / kLayerClipName, kLayerWidth, kLayerHeight, kLayerFrames, 30, "h264");
}

bool BuildLayerBenchProject(ProjectData& project, const std::filesystem::path& folder,
                            SourceOpener& opener, int layers) {
  if (layers < 0 || layers > kMaxLayers) return false;
  SetOutput(project, kLayerFrames);
  project.outputWidth = kLayerWidth;
  project.outputHeight = kLayerHeight;
  const std::u16string base = folder.u16string();
  if (!opener.OpenMovie(project.files[0], Relative(kLayerClipName), base)) return false;
  const int64_t frame = project.frameDuration100ns;
  if (!AddKeys(project, 0, {0, BlendNormal, 0, 0, frame, DrawMethodNormal}, {{0, 0, 0}})) {
    return false;
  }
  for (int i = 0; i < layers; ++i) {
    const BenchTile& tile = kBenchTiles[i % 3];
    const LayerStill still = LayerBenchStill(i);
    if (!OpenStill(project, i + 1, tile.fileName, base, opener)) return false;
    const float lastTurn =
        still.rotation + still.turns * 360.0f * (kLayerFrames - 1) / kLayerFrames;
    const Placement place{i + 1, BlendNormal, tile.width / 2.0f, tile.height / 2.0f};
    const int opacity = static_cast<int>(still.opacity * 256 + 0.5f);
    if (!AddKeys(project, i + 1, place,
                 {{0, still.centreX, still.centreY, still.scale, still.rotation, opacity},
                  {kLayerFrames - 1, still.centreX, still.centreY, still.scale, lastTurn,
                   opacity}})) {
      return false;
    }
  }
  return true;
}

}  // namespace tavrona::demo
