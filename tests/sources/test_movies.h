// Movie fixtures that the tests make themselves with libavcodec and libavformat. Every frame
// shows its own index as a 4 x 4 grid of cells (10 bits of index, 6 check bits), so a decoded
// frame can be identified even after lossy compression, and a flipped or channel-swapped frame
// reads as garbage.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrona::testing {

struct TestMovieRecipe {
  std::string container;  // libavformat short name: "avi", "mp4", "matroska"
  std::string encoder;    // "ffv1" (lossless, 32-bit RGB) or "libx264"
  int width = 64;
  int height = 64;
  int framesPerSecond = 30;
  int frameCount = 40;
  int keyFrameInterval = 12;
};

// Writes the movie; false (with a reason on stderr) when encoding or writing fails.
bool WriteTestMovie(const std::filesystem::path& path, const TestMovieRecipe& recipe);

// The picture of frame index as the movie's frames are drawn: width x height pixels 0x00RRGGBB,
// rows bottom-up like a frame buffer.
std::vector<uint32_t> TestFramePixels(int index, int width, int height);

// Reads the index back from a decoded frame (rows bottom-up, bytes B, G, R, x); -1 when the
// cells do not form a valid index.
int ReadTestFrameIndex(const uint8_t* pixels, int width, int height);

// The movie the recipe describes, written once per test process into a temporary folder that
// goes away at exit; the empty path when it cannot be written.
std::filesystem::path TestMoviePath(const TestMovieRecipe& recipe);

// The fixtures the movie tests share: 60 frames of 64 x 64 each.
TestMovieRecipe Ffv1Avi30();
TestMovieRecipe H264Mp4(int framesPerSecond);
TestMovieRecipe H264Mkv(int framesPerSecond);

// Frame index of the movie at path decoded independently of the movie source: frames counted
// in decoding order from the start, converted as one picture to bytes B, G, R, 0 with rows
// bottom-up. Empty when the file cannot be decoded that far.
std::vector<uint32_t> ReferenceFrame(const std::filesystem::path& path, int index);

// A movie made with the ffmpeg command from the same frames (64 x 64, 30 frames per second):
// the frames go in as raw video and are encoded with encodeOptions into a file of extension
// encodeExtension. When remux is not empty, a second ffmpeg run makes the final file from that
// one: remux holds the run's arguments with {in} and {out} standing for the two files (for
// cutting a piece out with -ss and -c copy, say).
struct ToolMovieRecipe {
  std::string name;  // letters and digits only: it names the file and the test
  std::string encodeOptions;
  std::string encodeExtension;
  std::string remux;
  std::string extension;  // of the final file
  int frameCount = 60;
};

// The movie, written once per test process; the empty path (with the reason on stderr) when
// the ffmpeg command is missing or fails.
std::filesystem::path ToolMoviePath(const ToolMovieRecipe& recipe);

// Every frame the ffmpeg command decodes from the file, in its order, with timestamps passed
// through unchanged (no frame dropped or repeated): each as width x height pixels, bytes B, G,
// R, 0, rows bottom-up. Empty when the command fails.
std::vector<std::vector<uint8_t>> ToolDecodedFrames(const std::filesystem::path& path, int width,
                                                    int height);

// A fresh folder under the system's temporary folder, removed by the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tavrona::testing
