#include "sources/image_plugin.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <QImage>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "sources/plugin_picture.h"
#include "sources/still_image.h"

namespace tavrona {
namespace {

// One loaded plug-in module; its recorded calls are read back through dlsym.
class Module {
 public:
  explicit Module(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(handle_, nullptr) << path << ": " << dlerror();
  }
  ~Module() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  void* handle() const { return handle_; }
  template <class T>
  T& Get(const char* name) const {
    return *static_cast<T*>(dlsym(handle_, name));
  }
  int IsSupportedCalls() const { return Get<int>("tst_is_supported_calls"); }
  int GetPictureCalls() const { return Get<int>("tst_get_picture_calls"); }

 private:
  void* handle_;
};

class ImagePluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("tavrona_plugin_test_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = folder_ / name;
    testing::WriteFile(path, bytes);
    return path;
  }
  // A file the test plug-ins claim: "TSTP" and then size - 4 bytes of a pattern.
  std::filesystem::path ClaimedFile(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    std::memcpy(bytes.data(), "TSTP", 4);
    return Write("claimed.bin", bytes);
  }

  std::filesystem::path folder_;
};

// The colour of every pixel of a decoded plug-in picture (all test pictures are uniform).
std::optional<uint32_t> UniformColour(const FrameBuffer& buffer) {
  if (buffer.Empty()) return std::nullopt;
  const uint32_t first = buffer.Words()[0];
  for (uint32_t i = 0; i < buffer.byteSize / 4; ++i) {
    if (buffer.Words()[i] != first) return std::nullopt;
  }
  return first;
}

std::optional<uint32_t> LoadColour(const std::filesystem::path& file, PluginHandles plugins) {
  FrameBuffer buffer;
  if (!LoadStillImage(file, buffer, plugins)) return std::nullopt;
  EXPECT_EQ(buffer.Width(), 3);
  EXPECT_EQ(buffer.Height(), 2);
  return UniformColour(buffer);
}

TEST_F(ImagePluginTest, ProbeSeesTheHeadOfTheFileThenDecodesTheWholeFile) {
  Module first(SPI_FIRST_PATH);
  const std::vector<void*> plugins = {first.handle()};
  const auto file = ClaimedFile(100);
  // The 8-bit picture comes with its colour table; every pixel is its entry 1.
  EXPECT_EQ(LoadColour(file, plugins), 0x00C01020u);

  // The probe block: the file's 100 bytes, then 1948 zero bytes.
  const unsigned char* head = &first.Get<unsigned char>("tst_first_head");
  std::vector<uint8_t> expected(TAVRONA_SPI_PROBE_SIZE, 0);
  for (size_t i = 0; i < 100; ++i) expected[i] = static_cast<uint8_t>(i * 13 + 1);
  std::memcpy(expected.data(), "TSTP", 4);
  EXPECT_EQ(std::memcmp(head, expected.data(), expected.size()), 0);
  EXPECT_EQ(first.IsSupportedCalls(), 2);  // probe, then decode
  EXPECT_EQ(first.GetPictureCalls(), 1);
  EXPECT_EQ(first.Get<intptr_t>("tst_last_length"), 100);
  EXPECT_EQ(first.Get<unsigned int>("tst_last_flag"), TAVRONA_SPI_INPUT_MEMORY);
}

TEST_F(ImagePluginTest, FirstClaimingPluginDecodes) {
  Module first(SPI_FIRST_PATH);
  Module second(SPI_SECOND_PATH);
  const auto file = ClaimedFile(5000);
  EXPECT_EQ(LoadColour(file, std::vector<void*>{first.handle(), second.handle()}), 0x00C01020u);
  EXPECT_EQ(second.GetPictureCalls(), 0);
  EXPECT_EQ(LoadColour(file, std::vector<void*>{second.handle(), first.handle()}), 0x00203040u);
  EXPECT_EQ(second.Get<intptr_t>("tst_last_length"), 5000);
}

TEST_F(ImagePluginTest, FailingGetPictureEndsTheAttempt) {
  Module failing(SPI_FAILING_PATH);
  Module second(SPI_SECOND_PATH);
  const auto file = ClaimedFile(10);
  EXPECT_EQ(LoadColour(file, std::vector<void*>{failing.handle(), second.handle()}), std::nullopt);
  EXPECT_EQ(failing.GetPictureCalls(), 1);
  EXPECT_EQ(second.GetPictureCalls(), 0);
}

TEST_F(ImagePluginTest, ModulesWithoutProbeOrNotLoadedArePassedOver) {
  Module noProbe(SPI_NO_PROBE_PATH);
  Module second(SPI_SECOND_PATH);
  // A file that only looks like a library stays a null handle, as start-up leaves it.
  const auto fake = Write("fake.spi", {'n', 'o', 't', ' ', 'E', 'L', 'F'});
  void* notLoaded = dlopen(fake.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_EQ(notLoaded, nullptr);
  const auto file = ClaimedFile(3000);
  EXPECT_EQ(LoadColour(file, std::vector<void*>{notLoaded, noProbe.handle(), second.handle()}),
            0x00203040u);
  EXPECT_EQ(noProbe.GetPictureCalls(), 0);
  EXPECT_EQ(LoadColour(file, std::vector<void*>{nullptr, noProbe.handle()}), std::nullopt);
  EXPECT_EQ(noProbe.GetPictureCalls(), 0);
}

TEST_F(ImagePluginTest, UnclaimedFileIsNotReadWhole) {
  Module second(SPI_SECOND_PATH);
  const auto file = Write("other.bin", std::vector<uint8_t>(4096, 'x'));
  EXPECT_EQ(LoadColour(file, std::vector<void*>{second.handle()}), std::nullopt);
  EXPECT_EQ(second.IsSupportedCalls(), 1);
  EXPECT_EQ(second.GetPictureCalls(), 0);
  EXPECT_EQ(LoadColour(folder_ / "missing.bin", std::vector<void*>{second.handle()}), std::nullopt);
  EXPECT_EQ(LoadColour(file, {}), std::nullopt);
}

TEST_F(ImagePluginTest, TopDownPluginPictureIsRefusedAndFreed) {
  // Plug-in pictures come bottom-up; the blocks of a refused one are still freed (the leak
  // checker of the sanitizer build sees it otherwise).
  Module topDown(SPI_TOP_DOWN_PATH);
  EXPECT_EQ(LoadColour(ClaimedFile(64), std::vector<void*>{topDown.handle()}), std::nullopt);
  EXPECT_EQ(topDown.GetPictureCalls(), 1);
}

TEST_F(ImagePluginTest, BitmapReaderComesFirstAndBrokenBitmapsGoToThePlugins) {
  Module bm(SPI_BM_PATH);  // claims every "BM" file, decodes a 16-bit bit-field picture
  const std::vector<void*> plugins = {bm.handle()};
  testing::BmpRecipe recipe;
  recipe.width = 3;
  recipe.height = 2;
  recipe.rows = {{0x0A0B0C, 0x0A0B0C, 0x0A0B0C}, {0x0A0B0C, 0x0A0B0C, 0x0A0B0C}};
  std::vector<uint8_t> bytes = testing::BuildBmp(recipe);
  EXPECT_EQ(LoadColour(Write("good.bmp", bytes), plugins), 0x0A0B0Cu);
  EXPECT_EQ(bm.IsSupportedCalls(), 0);

  bytes.pop_back();  // pixel data one byte short
  // The plug-in's colour 0xF80400 as 5-6-5 (31, 1, 0), scaled to the full 0..255 range.
  EXPECT_EQ(LoadColour(Write("short.bmp", bytes), plugins), 0xFF0400u);
  EXPECT_EQ(bm.GetPictureCalls(), 1);
}

using QtImagePluginTest = ImagePluginTest;

// A picture with a different colour at every pixel, odd width.
QImage TestPicture() {
  QImage image(5, 3, QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) image.setPixel(x, y, qRgb(x * 50, y * 100, 255 - x * 20 - y * 7));
  }
  return image;
}

void ExpectSamePixels(const FrameBuffer& buffer, const QImage& image) {
  ASSERT_EQ(buffer.Width(), image.width());
  ASSERT_EQ(buffer.Height(), image.height());
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      ASSERT_EQ(buffer.At(x, y), image.pixel(x, y) & 0x00FFFFFFu) << x << ", " << y;
    }
  }
}

TEST_F(QtImagePluginTest, DecodesPngAndJpeg) {
  Module qtimage(QTIMAGE_PATH);
  const std::vector<void*> plugins = {qtimage.handle()};
  const QImage picture = TestPicture();

  const auto png = folder_ / "picture.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(png.string()), "PNG"));
  FrameBuffer buffer;
  ASSERT_TRUE(LoadStillImage(png, buffer, plugins));
  ExpectSamePixels(buffer, picture);

  // JPEG is lossy: compare with Qt's own decoding of the same file.
  const auto jpeg = folder_ / "picture.jpg";
  ASSERT_TRUE(picture.save(QString::fromStdString(jpeg.string()), "JPEG", 90));
  ASSERT_TRUE(LoadStillImage(jpeg, buffer, plugins));
  ExpectSamePixels(buffer, QImage(QString::fromStdString(jpeg.string())));
}

TEST_F(QtImagePluginTest, RunLengthBitmapsReachThePlugin) {
  // An 8-bit run-length picture, 3 x 2: the reader refuses the compression, qtimage decodes it.
  testing::BmpRecipe recipe;
  recipe.bitCount = 8;
  recipe.compression = 1;  // BI_RLE8
  recipe.width = 3;
  recipe.height = 2;
  recipe.palette = {0x000000, 0xFF0000, 0x00FF00};
  recipe.clrUsed = 3;
  std::vector<uint8_t> bytes = testing::BuildBmp(recipe);
  // Bottom row: three of index 1; top row: one of 2, two of 1; then end of picture.
  const std::vector<uint8_t> runs = {3, 1, 0, 0, 1, 2, 2, 1, 0, 1};
  bytes.insert(bytes.end(), runs.begin(), runs.end());
  const uint32_t total = static_cast<uint32_t>(bytes.size());
  std::memcpy(bytes.data() + 2, &total, 4);
  const uint32_t runBytes = static_cast<uint32_t>(runs.size());
  std::memcpy(bytes.data() + 34, &runBytes, 4);  // the header's image size
  const auto file = Write("runs.bmp", bytes);
  ASSERT_FALSE(LoadBitmapFile(file));

  Module qtimage(QTIMAGE_PATH);
  FrameBuffer buffer;
  ASSERT_TRUE(LoadStillImage(file, buffer, std::vector<void*>{qtimage.handle()}));
  ASSERT_EQ(buffer.Width(), 3);
  ASSERT_EQ(buffer.Height(), 2);
  EXPECT_EQ(buffer.At(0, 0), 0x00FF00u);
  EXPECT_EQ(buffer.At(1, 0), 0xFF0000u);
  EXPECT_EQ(buffer.At(2, 1), 0xFF0000u);
}

// A run-length BMP: the header and colour table from the builder, then the codes.
std::vector<uint8_t> RunLengthBmp(uint16_t bits, int32_t width, int32_t height,
                                  const std::vector<uint32_t>& palette,
                                  const std::vector<uint8_t>& codes) {
  testing::BmpRecipe recipe;
  recipe.bitCount = bits;
  recipe.compression = bits == 8 ? 1 : 2;  // BI_RLE8, BI_RLE4
  recipe.width = width;
  recipe.height = height;
  recipe.palette = palette;
  recipe.clrUsed = static_cast<uint32_t>(palette.size());
  recipe.imageSize = static_cast<uint32_t>(codes.size());
  std::vector<uint8_t> bytes = testing::BuildBmp(recipe);
  bytes.insert(bytes.end(), codes.begin(), codes.end());
  const uint32_t total = static_cast<uint32_t>(bytes.size());
  std::memcpy(bytes.data() + 2, &total, 4);
  return bytes;
}

// Every pixel of the buffer, top row first.
std::vector<std::vector<uint32_t>> AllPixels(const FrameBuffer& buffer) {
  std::vector<std::vector<uint32_t>> rows(buffer.Height(), std::vector<uint32_t>(buffer.Width()));
  for (int y = 0; y < buffer.Height(); ++y) {
    for (int x = 0; x < buffer.Width(); ++x) rows[y][x] = buffer.At(x, y);
  }
  return rows;
}

// Pixels the codes skip (delta, end of line, an early end, data cut short) are black, not the
// colour of index 0, and the same however often the file is decoded.
TEST_F(QtImagePluginTest, PixelsSkippedByRunLengthCodesAreBlack) {
  constexpr uint32_t P0 = 0x123456, R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;
  const std::vector<uint32_t> palette = {P0, R, G, B};
  struct Case {
    const char* name;
    uint16_t bits;
    int32_t width, height;
    std::vector<uint8_t> codes;
    std::vector<std::vector<uint32_t>> expected;  // top row first
  };
  const std::vector<uint8_t> eightBit = {2, 1, 0, 0,  // bottom row: two of index 1, end of line
                                         0, 3, 1, 2, 3, 0,  // literal 1, 2, 3 (padded to a word)
                                         0, 2, 1, 1, 1, 0,
                                         0, 0,  // delta (+1, +1), one of index 0, end of line
                                         1, 2, 0, 1};  // top row: one of index 2, end of picture
  std::vector<uint8_t> cutAfterLiteral(eightBit.begin(), eightBit.begin() + 10);
  const std::vector<Case> cases = {
      {"8 bits",
       8,
       5,
       4,
       eightBit,
       {{G, 0, 0, 0, 0}, {0, 0, 0, 0, P0}, {R, G, B, 0, 0}, {R, R, 0, 0, 0}}},
      {"8 bits, cut short",
       8,
       5,
       4,
       cutAfterLiteral,
       {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {R, G, B, 0, 0}, {R, R, 0, 0, 0}}},
      {"8 bits, cut inside a literal run", 8, 5, 1, {0, 5, 1, 2}, {{R, G, 0, 0, 0}}},
      {"8 bits, no data", 8, 3, 2, {}, {{0, 0, 0}, {0, 0, 0}}},
      {"4 bits",
       4,
       6,
       2,
       {5, 0x12, 3, 0x30, 0, 0,  // 1 2 1 2 1, then 3 beyond the edge is cut off
        0, 2, 2, 0,              // delta (+2, 0)
        0, 3, 0x23, 0x10,        // literal 2 3 1
        0, 1},
       {{0, 0, G, B, R, 0}, {R, G, R, G, R, B}}},
  };
  Module qtimage(QTIMAGE_PATH);
  const std::vector<void*> plugins = {qtimage.handle()};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = Write("runs.bmp", RunLengthBmp(c.bits, c.width, c.height, palette, c.codes));
    FrameBuffer first;
    ASSERT_TRUE(LoadStillImage(file, first, plugins));
    EXPECT_EQ(AllPixels(first), c.expected);
    // Decoded again after the heap has held other pictures: still the same pixels.
    std::vector<FrameBuffer> clutter(4);
    for (FrameBuffer& b : clutter) {
      ASSERT_TRUE(CreateFrameBuffer(b, c.width, c.height, 32));
      std::memset(b.pixels, 0xA5, b.byteSize);
    }
    clutter.clear();
    FrameBuffer second;
    ASSERT_TRUE(LoadStillImage(file, second, plugins));
    EXPECT_EQ(AllPixels(second), c.expected);
  }
}

// How many pixels differ and where the first one is (rows top first); empty when none do.
std::string Mismatches(const std::vector<std::vector<uint32_t>>& got,
                       const std::vector<std::vector<uint32_t>>& expected) {
  if (got.size() != expected.size() || (!got.empty() && got[0].size() != expected[0].size())) {
    return "the sizes differ";
  }
  size_t count = 0;
  std::ostringstream first;
  for (size_t y = 0; y < got.size(); ++y) {
    for (size_t x = 0; x < got[y].size(); ++x) {
      if (got[y][x] == expected[y][x]) continue;
      if (count++ == 0) {
        first << std::hex << "first at (" << std::dec << x << ", " << y << "): 0x" << std::hex
              << got[y][x] << " instead of 0x" << expected[y][x];
      }
    }
  }
  return count == 0 ? "" : std::to_string(count) + " pixels differ, " + first.str();
}

// While it lives, the C library fills every block it hands out with one byte and every block it
// takes back with another (glibc's M_PERTURB, as MALLOC_PERTURB_ does), so that a pixel read
// from memory nobody wrote differs between two fill bytes.
class PerturbedHeap {
 public:
  explicit PerturbedHeap(int fill) { mallopt(M_PERTURB, fill); }
  ~PerturbedHeap() { mallopt(M_PERTURB, 0); }
  PerturbedHeap(const PerturbedHeap&) = delete;
  PerturbedHeap& operator=(const PerturbedHeap&) = delete;
};

// An uncompressed BMP file that ends inside its pixel rows reaches qtimage.spi (the reader
// refuses it), which decodes the rows that are there; every pixel whose bytes are missing is
// black, whatever the heap held before. Each palette entry is a colour other than black, so
// that neither index 0 nor leftover bytes can pass for a missing pixel.
TEST_F(QtImagePluginTest, TruncatedUncompressedBitmapsHaveBlackMissingPixels) {
  struct Case {
    const char* name;
    uint16_t bits;
    int32_t width, height;
    size_t keptRows;   // whole stored rows left in the file
    size_t keptBytes;  // bytes of the next stored row left in the file
    int keptPixels;    // pixels of that row whose bytes are all there
  };
  const std::vector<Case> cases = {
      {"8 bits, bottom-up, cut inside the third row", 8, 40, 30, 2, 15, 15},
      {"24 bits, bottom-up, cut inside a pixel", 24, 21, 20, 5, 31, 10},
      {"8 bits, top-down, cut after a row", 8, 40, -25, 7, 0, 0},
      {"4 bits, bottom-up, odd width", 4, 33, 30, 3, 5, 10},
      {"1 bit, bottom-up", 1, 70, 40, 4, 3, 24},
      {"8 bits, no pixel bytes at all", 8, 40, 30, 0, 0, 0},
  };
  Module qtimage(QTIMAGE_PATH);
  const std::vector<void*> plugins = {qtimage.handle()};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::BmpRecipe recipe;
    recipe.bitCount = c.bits;
    recipe.width = c.width;
    recipe.height = c.height;
    const int rows = c.height < 0 ? -c.height : c.height;
    auto colourOf = [](uint32_t index) {  // never black: the red byte is at least 0x40
      return 0x400000u | ((index * 37 % 192) << 16) | ((index & 0xFF) << 8) |
             (255 - (index & 0xFF));
    };
    if (c.bits <= 8) {
      for (uint32_t i = 0; i < (1u << c.bits); ++i) recipe.palette.push_back(colourOf(i));
    }
    // Top row first; each value a palette index, or a 0xRRGGBB colour for 24 bits.
    std::vector<std::vector<uint32_t>> expected(rows, std::vector<uint32_t>(c.width));
    for (int y = 0; y < rows; ++y) {
      recipe.rows.emplace_back();
      for (int x = 0; x < c.width; ++x) {
        const uint32_t index =
            static_cast<uint32_t>(x * 7 + y * 13) & ((1u << std::min<int>(c.bits, 8)) - 1);
        const uint32_t value = c.bits == 24 ? colourOf(index) | 0x000001u : index;
        recipe.rows.back().push_back(value);
        // Stored row k is picture row k top-down, rows - 1 - k bottom-up.
        const size_t stored =
            c.height < 0 ? static_cast<size_t>(y) : static_cast<size_t>(rows - 1 - y);
        const bool there = stored < c.keptRows || (stored == c.keptRows && x < c.keptPixels);
        expected[y][x] = !there ? 0 : (c.bits == 24 ? value : colourOf(index));
      }
    }
    std::vector<uint8_t> bytes = testing::BuildBmp(recipe);
    const size_t stride = (static_cast<size_t>(c.bits) * c.width + 31) / 32 * 4;
    const size_t pixelOffset = bytes.size() - stride * rows;
    bytes.resize(pixelOffset + c.keptRows * stride + c.keptBytes);
    const auto file = Write("short.bmp", bytes);
    ASSERT_FALSE(LoadBitmapFile(file));

    for (int fill : {0x55, 0xAA}) {
      SCOPED_TRACE(fill);
      FrameBuffer buffer;
      {
        PerturbedHeap heap(fill);
        ASSERT_TRUE(LoadStillImage(file, buffer, plugins));
      }
      EXPECT_EQ(Mismatches(AllPixels(buffer), expected), "");
    }
  }
}

// Files of Qt's other formats cut short: each is refused (PNG, PPM) or decodes to the same
// pixels whatever the heap held before (JPEG).
TEST_F(QtImagePluginTest, TruncatedFilesOfOtherFormatsDecodeTheSameOnEveryRun) {
  QImage picture(64, 48, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      picture.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xFF));
    }
  }
  Module qtimage(QTIMAGE_PATH);
  const std::vector<void*> plugins = {qtimage.handle()};
  for (const char* format : {"PNG", "JPEG", "PPM"}) {
    SCOPED_TRACE(format);
    const auto whole = folder_ / (std::string("whole.") + format);
    ASSERT_TRUE(picture.save(QString::fromStdString(whole.string()), format));
    std::ifstream in(whole, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    for (size_t kept : {bytes.size() / 2, bytes.size() * 9 / 10}) {
      SCOPED_TRACE(kept);
      const auto file = Write("cut.bin", std::vector<uint8_t>(bytes.begin(), bytes.begin() + kept));
      std::vector<std::optional<std::vector<std::vector<uint32_t>>>> runs;
      for (int fill : {0x55, 0xAA}) {
        FrameBuffer buffer;
        PerturbedHeap heap(fill);
        runs.push_back(LoadStillImage(file, buffer, plugins) ? std::optional(AllPixels(buffer))
                                                             : std::nullopt);
      }
      ASSERT_EQ(runs[0].has_value(), runs[1].has_value());
      if (runs[0]) EXPECT_EQ(Mismatches(*runs[0], *runs[1]), "");
    }
  }
}

TEST_F(QtImagePluginTest, BrokenRunLengthHeadersAreRefused) {
  Module qtimage(QTIMAGE_PATH);
  const std::vector<void*> plugins = {qtimage.handle()};
  FrameBuffer buffer;
  // Top-down is not allowed for runs; a colour table that runs past the end of the file.
  EXPECT_FALSE(LoadStillImage(Write("down.bmp", RunLengthBmp(8, 2, -2, {0xFF}, {2, 0, 0, 1})),
                              buffer, plugins));
  std::vector<uint8_t> noTable = RunLengthBmp(8, 2, 2, {}, {});
  noTable[46] = 200;  // 200 colours claimed, none there
  EXPECT_FALSE(LoadStillImage(Write("table.bmp", noTable), buffer, plugins));
  // A huge picture claimed by a few bytes of runs is refused without allocating it.
  EXPECT_FALSE(LoadStillImage(Write("huge.bmp", RunLengthBmp(8, 60000, 60000, {0xFF}, {0, 1})),
                              buffer, plugins));
}

TEST_F(QtImagePluginTest, DecodesGifAndRefusesOtherBytes) {
  Module qtimage(QTIMAGE_PATH);
  const std::vector<void*> plugins = {qtimage.handle()};
  // One red pixel: a two-entry global colour table, LZW data selecting entry 0.
  const std::vector<uint8_t> gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01,
                                    0x00, 0x80, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                    0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                    0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
  FrameBuffer buffer;
  ASSERT_TRUE(LoadStillImage(Write("red.gif", gif), buffer, plugins));
  ASSERT_EQ(buffer.Width(), 1);
  ASSERT_EQ(buffer.Height(), 1);
  EXPECT_EQ(buffer.At(0, 0), 0xFF0000u);

  EXPECT_FALSE(
      LoadStillImage(Write("noise.bin", std::vector<uint8_t>(300, 0x5A)), buffer, plugins));
  EXPECT_TRUE(buffer.Empty());
}

}  // namespace
}  // namespace tavrona
