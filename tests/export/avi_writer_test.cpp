#include "export/avi_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "avi_file_reader.h"
#include "export_test_support.h"

namespace tavrona {
namespace {

using testing::AviFileLayout;
using testing::FourCc;
using testing::JsonField;

class AviWriterTest : public testing::TempFolderTest {
 protected:
  // Writes frames 0 .. count - 1 of the test picture with the given compressor; returns the
  // frames as written (bottom-up bytes).
  std::vector<std::vector<uint8_t>> WriteMovie(const std::string& file,
                                               const std::string& compressor, int width, int height,
                                               uint32_t count, int threads = 0,
                                               uint32_t rate = 300000, uint32_t scale = 10000,
                                               bool pipelined = false) {
    std::vector<std::vector<uint8_t>> written;
    AviWriter writer;
    writer.SetEncoderThreads(threads);
    writer.SetPipelined(pipelined);
    EXPECT_TRUE(ChooseCompressor(writer, compressor));
    InitAviWriter(writer);
    FrameBuffer frames[2];
    EXPECT_TRUE(CreateFrameBuffer(frames[0], width, height));
    EXPECT_TRUE(CreateFrameBuffer(frames[1], width, height));
    EXPECT_TRUE(OpenAviStream(writer, Path16(file), frames[0].header, rate, scale));
    for (uint32_t n = 0; n < count; ++n) {
      FrameBuffer& current = frames[1 - n % 2];
      testing::DrawTestPicture(current, n);
      EXPECT_TRUE(WriteAviFrame(writer, n, current.pixels, current.byteSize, frames[n % 2].pixels))
          << compressor << " frame " << n;
      written.emplace_back(current.pixels, current.pixels + current.byteSize);
    }
    EXPECT_TRUE(CloseAviWriter(writer));
    EXPECT_FALSE(writer.Initialised());
    return written;
  }

  AviFileLayout Layout(const std::string& file) {
    AviFileLayout layout;
    EXPECT_TRUE(testing::ReadAviLayout(PathOf(file), layout)) << file;
    return layout;
  }
};

BITMAPINFOHEADER FrameHeader(int width, int height) {
  FrameBuffer frame;
  CreateFrameBuffer(frame, width, height);
  return frame.header;
}

// Decoded top-down bgr0 frames against the written bottom-up frames: the largest difference
// of any colour byte, or 256 when the sizes do not match.
int LargestColourDifference(const std::vector<uint8_t>& decoded,
                            const std::vector<std::vector<uint8_t>>& written, int width,
                            int height) {
  const size_t frameBytes = static_cast<size_t>(width) * 4 * height;
  if (decoded.size() != frameBytes * written.size()) return 256;
  int largest = 0;
  for (size_t n = 0; n < written.size(); ++n) {
    for (int y = 0; y < height; ++y) {
      const uint8_t* got = &decoded[n * frameBytes + static_cast<size_t>(y) * width * 4];
      const uint8_t* want = &written[n][static_cast<size_t>(height - 1 - y) * width * 4];
      for (int x = 0; x < width * 4; ++x) {
        if (x % 4 == 3) continue;  // not a colour channel
        largest = std::max(largest, std::abs(got[x] - want[x]));
      }
    }
  }
  return largest;
}

TEST(AviCompressorListTest, FullFramesFirstAndTheCodecsOfThisMachine) {
  const std::vector<AviCompressor> list = ListAviCompressors();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list[0].name, kFullFramesCompressor);
  EXPECT_EQ(list[0].fourcc, 0u);
  std::set<std::string> names;
  for (const AviCompressor& c : list) {
    EXPECT_TRUE(names.insert(c.name).second) << "duplicate " << c.name;
    EXPECT_FALSE(c.description.empty());
  }
  // The build machine's libavcodec has all of these.
  const std::pair<const char*, uint32_t> expected[] = {
      {"mjpeg", FourCc("MJPG")},   {"ffv1", FourCc("FFV1")},    {"ffvhuff", FourCc("FFVH")},
      {"huffyuv", FourCc("HFYU")}, {"utvideo", FourCc("ULRG")}, {"h264", FourCc("H264")}};
  for (const auto& [name, fourcc] : expected) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const AviCompressor& c) { return c.name == name; });
    ASSERT_NE(it, list.end()) << name;
    EXPECT_EQ(it->fourcc, fourcc) << name;
  }
}

TEST_F(AviWriterTest, StatesAndRefusals) {
  AviWriter writer;
  const BITMAPINFOHEADER header = FrameHeader(8, 6);
  std::vector<uint8_t> pixels(header.biSizeImage);
  CloseAviWriter(writer);  // safe on a fresh writer
  EXPECT_FALSE(writer.Initialised());
  EXPECT_EQ(writer.Compressor().name, kFullFramesCompressor);  // nothing chosen: full frames
  EXPECT_FALSE(WriteAviFrame(writer, 0, pixels.data(), header.biSizeImage, nullptr));
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), header, 30, 1));  // not initialised

  EXPECT_FALSE(ChooseCompressor(writer, "no-such-codec"));
  ASSERT_TRUE(ChooseCompressor(writer, "mjpeg"));
  EXPECT_FALSE(ChooseCompressor(writer, ""));
  EXPECT_EQ(writer.Compressor().name, "mjpeg");  // a refused choice changes nothing

  InitAviWriter(writer);
  ASSERT_TRUE(OpenAviStream(writer, Path16("a.avi"), header, 30, 1));
  EXPECT_TRUE(writer.StreamOpen());
  EXPECT_FALSE(ChooseCompressor(writer, "raw"));  // not while a stream is open
  EXPECT_FALSE(OpenAviStream(writer, Path16("b.avi"), header, 30, 1));  // already open
  EXPECT_EQ(writer.Compressor().name, "mjpeg");

  CloseAviWriter(writer);
  CloseAviWriter(writer);  // twice is harmless
  EXPECT_FALSE(writer.Initialised());
  EXPECT_FALSE(writer.StreamOpen());
  EXPECT_EQ(writer.Compressor().name, kFullFramesCompressor);  // the choice is gone
  EXPECT_FALSE(WriteAviFrame(writer, 0, pixels.data(), header.biSizeImage, nullptr));
}

TEST_F(AviWriterTest, RefusesHeadersThatAreNotFrames) {
  AviWriter writer;
  InitAviWriter(writer);
  const BITMAPINFOHEADER good = FrameHeader(8, 6);
  BITMAPINFOHEADER bad = good;
  bad.biBitCount = 24;
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), bad, 30, 1));
  bad = good;
  bad.biHeight = -6;  // top-down
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), bad, 30, 1));
  bad = good;
  bad.biSizeImage += 4;
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), bad, 30, 1));
  bad = good;
  bad.biCompression = FourCc("MJPG");
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), bad, 30, 1));
  bad = good;
  bad.biWidth = 0x10000;  // 65536 x 2048 pixels: more than the stream format can describe
  bad.biHeight = 2048;
  bad.biSizeImage = 0x10000u * 2048 * 4;
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), bad, 30, 1));
  EXPECT_FALSE(OpenAviStream(writer, Path16("a.avi"), good, 0, 1));  // no rate
  EXPECT_FALSE(writer.StreamOpen());
  EXPECT_TRUE(OpenAviStream(writer, Path16("a.avi"), good, 30, 0));  // scale 0 counts as 1
}

TEST_F(AviWriterTest, FramesOutOfOrderOrOfTheWrongSizeAreRefused) {
  AviWriter writer;
  InitAviWriter(writer);
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, 8, 6));
  ASSERT_TRUE(OpenAviStream(writer, Path16("a.avi"), frame.header, 30, 1));
  EXPECT_FALSE(WriteAviFrame(writer, 1, frame.pixels, frame.byteSize, nullptr));  // gap
  EXPECT_FALSE(WriteAviFrame(writer, 0, frame.pixels, frame.byteSize - 4, nullptr));
  EXPECT_FALSE(WriteAviFrame(writer, 0, nullptr, frame.byteSize, nullptr));
  EXPECT_TRUE(WriteAviFrame(writer, 0, frame.pixels, frame.byteSize, nullptr));
  EXPECT_FALSE(WriteAviFrame(writer, 0, frame.pixels, frame.byteSize, nullptr));  // again
  EXPECT_TRUE(WriteAviFrame(writer, 1, frame.pixels, frame.byteSize, frame.pixels));
  EXPECT_EQ(writer.FramesHandedIn(), 2u);
  CloseAviWriter(writer);
  const AviFileLayout layout = Layout("a.avi");
  EXPECT_EQ(layout.frameChunkIds.size(), 2u);
  EXPECT_EQ(layout.length, 2u);
}

// Full frames: the stream format is the frames' own header and every sample holds the bytes
// exactly as handed in, bottom row first, as a key frame.
TEST_F(AviWriterTest, FullFramesAreStoredExactly) {
  const int w = 37, h = 23;  // odd sizes: rows of 148 bytes, no padding
  const auto written = WriteMovie("raw.avi", "raw", w, h, 5);
  const AviFileLayout layout = Layout("raw.avi");

  EXPECT_EQ(layout.riffCount, 1u);
  EXPECT_EQ(layout.streamCount, 1u);
  EXPECT_EQ(layout.fccType, FourCc("vids"));
  EXPECT_EQ(layout.fccHandler, 0u);
  EXPECT_EQ(layout.rate, 300000u);  // 30 per second, as given
  EXPECT_EQ(layout.scale, 10000u);
  EXPECT_EQ(layout.avihMicroSecPerFrame, 33333u);
  EXPECT_EQ(layout.length, 5u);
  EXPECT_EQ(layout.avihTotalFrames, 5u);

  const BITMAPINFOHEADER header = FrameHeader(w, h);
  ASSERT_EQ(layout.strf.size(), 40u);
  EXPECT_EQ(std::memcmp(layout.strf.data(), &header, 40), 0);
  const uint8_t expectedStrf[40] = {40, 0, 0, 0, 37,   0,    0, 0, 23, 0, 0, 0, 1, 0, 32, 0,
                                    0,  0, 0, 0, 0x4C, 0x0D, 0, 0,  // 37 * 4 * 23 = 3404
                                    0,  0, 0, 0, 0,    0,    0, 0, 0,  0, 0, 0, 0, 0, 0,  0};
  EXPECT_EQ(std::memcmp(layout.strf.data(), expectedStrf, 40), 0);

  ASSERT_EQ(layout.frames.size(), 5u);
  for (size_t n = 0; n < 5; ++n) {
    EXPECT_EQ(layout.frames[n], written[n]) << "frame " << n;
  }
  ASSERT_EQ(layout.idx1.size(), 5u);
  for (const auto& entry : layout.idx1) {
    EXPECT_EQ(entry.flags & 0x10u, 0x10u);  // AVIIF_KEYFRAME
    EXPECT_EQ(entry.size, uint32_t(w * 4 * h));
  }

  const std::string probe = testing::ProbeStreams(PathOf("raw.avi"));
  EXPECT_EQ(testing::CountStreams(probe), 1);
  EXPECT_EQ(JsonField(probe, "codec_name"), "rawvideo");
  EXPECT_EQ(JsonField(probe, "width"), "37");
  EXPECT_EQ(JsonField(probe, "height"), "23");
  EXPECT_EQ(JsonField(probe, "r_frame_rate"), "30/1");
  EXPECT_EQ(JsonField(probe, "nb_read_frames"), "5");
  // Another decoder sees the picture the right way up, every colour byte intact.
  EXPECT_EQ(LargestColourDifference(testing::DecodeToBgr0(PathOf("raw.avi")), written, w, h), 0);
}

TEST_F(AviWriterTest, StreamRateIsTheProjectRateOverTenThousand) {
  WriteMovie("ntsc.avi", "raw", 4, 4, 2, 0, 299700, 10000);
  const AviFileLayout layout = Layout("ntsc.avi");
  EXPECT_EQ(layout.rate, 299700u);  // not reduced to 2997/100
  EXPECT_EQ(layout.scale, 10000u);
  EXPECT_EQ(layout.avihMicroSecPerFrame, 33367u);
  EXPECT_EQ(JsonField(testing::ProbeStreams(PathOf("ntsc.avi")), "r_frame_rate"), "2997/100");
}

// A stream closed before its first frame (an empty project, a full disk, an abort) still
// describes its video stream. (Matroska is left out: libavformat 5.1 cannot read back a file
// its muxer closed without a packet.)
TEST_F(AviWriterTest, StreamWithoutFramesIsAnEmptyVideoStream) {
  for (const auto& [file, codec, probed] :
       {std::tuple{"e.avi", "raw", "rawvideo"}, std::tuple{"e.mov", "raw", "rawvideo"},
        std::tuple{"e.mov", "h264", "h264"}, std::tuple{"e.mp4", "mjpeg", "mjpeg"},
        std::tuple{"e.mp4", "h264", "h264"}}) {
    SCOPED_TRACE(std::string(file) + " " + codec);
    WriteMovie(file, codec, 32, 16, 0);
    const std::string probe = testing::ProbeStreams(PathOf(file));
    EXPECT_EQ(testing::CountStreams(probe), 1) << probe;
    EXPECT_EQ(JsonField(probe, "codec_name"), probed);
    EXPECT_EQ(JsonField(probe, "width"), "32");
    EXPECT_EQ(testing::DecodeToBgr0(PathOf(file)).size(), 0u);
  }
}

TEST_F(AviWriterTest, ReplacesAnExistingFile) {
  WriteMovie("same.avi", "raw", 16, 16, 8);
  WriteMovie("same.avi", "raw", 16, 16, 2);
  const AviFileLayout layout = Layout("same.avi");
  EXPECT_EQ(layout.frameChunkIds.size(), 2u);
  EXPECT_EQ(JsonField(testing::ProbeStreams(PathOf("same.avi")), "nb_read_frames"), "2");
}

// File names are file names, even when they look like another libavformat protocol.
TEST_F(AviWriterTest, NamesThatLookLikeProtocolsAreFiles) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  AviWriter writer;
  InitAviWriter(writer);
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, 8, 8));
  const bool opened = OpenAviStream(writer, u"pipe:1", frame.header, 30, 1);
  if (opened) WriteAviFrame(writer, 0, frame.pixels, frame.byteSize, nullptr);
  CloseAviWriter(writer);
  std::filesystem::current_path(before);
  EXPECT_TRUE(opened);
  EXPECT_EQ(Layout("pipe:1").frameChunkIds.size(), 1u);
}

TEST_F(AviWriterTest, HandlerIsZeroForFullFramesAfterACompressedExport) {
  WriteMovie("first.avi", "mjpeg", 16, 16, 1);
  EXPECT_EQ(Layout("first.avi").fccHandler, FourCc("MJPG"));
  // The same writer again, this time without choosing: the earlier choice was closed away.
  AviWriter writer;
  ASSERT_TRUE(ChooseCompressor(writer, "mjpeg"));
  InitAviWriter(writer);
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, 16, 16));
  ASSERT_TRUE(OpenAviStream(writer, Path16("a.avi"), frame.header, 30, 1));
  CloseAviWriter(writer);
  InitAviWriter(writer);
  ASSERT_TRUE(OpenAviStream(writer, Path16("b.avi"), frame.header, 30, 1));
  ASSERT_TRUE(WriteAviFrame(writer, 0, frame.pixels, frame.byteSize, nullptr));
  CloseAviWriter(writer);
  const AviFileLayout layout = Layout("b.avi");
  EXPECT_EQ(layout.fccHandler, 0u);
  ASSERT_EQ(layout.strf.size(), 40u);
  EXPECT_EQ(std::memcmp(layout.strf.data(), &frame.header, 40), 0);
}

TEST_F(AviWriterTest, FailedOpenLeavesTheWriterInitialisedUntilClosed) {
  AviWriter writer;
  InitAviWriter(writer);
  const BITMAPINFOHEADER header = FrameHeader(8, 8);
  EXPECT_FALSE(OpenAviStream(writer, Path16("missing-folder/a.avi"), header, 30, 1));
  EXPECT_TRUE(writer.Initialised());
  EXPECT_FALSE(writer.StreamOpen());
  CloseAviWriter(writer);
  EXPECT_FALSE(writer.Initialised());
  // And the writer is good for the next export.
  InitAviWriter(writer);
  EXPECT_TRUE(OpenAviStream(writer, Path16("a.avi"), header, 30, 1));
}

// Closing part-way (abort, error) leaves a complete file with the frames handed in so far,
// also when the encoder or the encoding thread still held some of them.
TEST_F(AviWriterTest, ClosingMidWayLeavesAPlayableFile) {
  for (const bool pipelined : {false, true}) {
    for (const char* compressor : {"raw", "h264", "ffvhuff"}) {
      SCOPED_TRACE(::testing::Message() << compressor << (pipelined ? " pipelined" : ""));
      AviWriter writer;
      writer.SetEncoderThreads(3);
      writer.SetPipelined(pipelined);
      ASSERT_TRUE(ChooseCompressor(writer, compressor));
      InitAviWriter(writer);
      FrameBuffer frames[2];
      ASSERT_TRUE(CreateFrameBuffer(frames[0], 64, 48));
      ASSERT_TRUE(CreateFrameBuffer(frames[1], 64, 48));
      const std::string file = std::string(compressor) + (pipelined ? "-p" : "") + ".avi";
      ASSERT_TRUE(OpenAviStream(writer, Path16(file), frames[0].header, 300000, 10000));
      for (uint32_t n = 0; n < 4; ++n) {  // of, say, ten planned frames
        FrameBuffer& frame = frames[n % 2];
        testing::DrawTestPicture(frame, n);
        ASSERT_TRUE(WriteAviFrame(writer, n, frame.pixels, frame.byteSize, nullptr));
      }
      EXPECT_TRUE(CloseAviWriter(writer));
      const AviFileLayout layout = Layout(file);
      EXPECT_EQ(layout.frameChunkIds.size(), 4u);
      EXPECT_EQ(layout.length, 4u);
      EXPECT_EQ(layout.avihTotalFrames, 4u);
      EXPECT_EQ(layout.idx1.size(), 4u);
      const std::string probe = testing::ProbeStreams(PathOf(file));
      EXPECT_EQ(JsonField(probe, "nb_read_frames"), "4");
    }
  }
}

struct CodecCase {
  const char* name;
  const char* codecName;  // as ffprobe names it
  uint32_t fourcc;
  int largestError;  // 0: lossless
};

class AviCompressorTest : public AviWriterTest, public ::testing::WithParamInterface<CodecCase> {};

TEST_P(AviCompressorTest, WritesAStreamOthersDecode) {
  const CodecCase& c = GetParam();
  for (const auto& [w, h] : {std::pair{96, 64}, std::pair{95, 63}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    const auto written = WriteMovie("c.avi", c.name, w, h, 6);
    const AviFileLayout layout = Layout("c.avi");
    EXPECT_EQ(layout.streamCount, 1u);
    EXPECT_EQ(layout.fccHandler, c.fourcc);
    EXPECT_EQ(layout.rate, 300000u);
    EXPECT_EQ(layout.scale, 10000u);
    ASSERT_GE(layout.strf.size(), 40u);
    BITMAPINFOHEADER strf;
    std::memcpy(&strf, layout.strf.data(), 40);
    EXPECT_EQ(strf.biSize, layout.strf.size());  // a larger format is stored whole
    EXPECT_EQ(strf.biWidth, w);
    EXPECT_EQ(strf.biHeight, h);
    EXPECT_EQ(strf.biCompression, c.fourcc);
    ASSERT_EQ(layout.idx1.size(), 6u);
    for (const auto& entry : layout.idx1) EXPECT_EQ(entry.flags & 0x10u, 0x10u);

    const std::string probe = testing::ProbeStreams(PathOf("c.avi"));
    EXPECT_EQ(testing::CountStreams(probe), 1);
    EXPECT_EQ(JsonField(probe, "codec_name"), c.codecName);
    EXPECT_EQ(JsonField(probe, "width"), std::to_string(w));
    EXPECT_EQ(JsonField(probe, "height"), std::to_string(h));
    EXPECT_EQ(JsonField(probe, "r_frame_rate"), "30/1");
    EXPECT_EQ(JsonField(probe, "nb_read_frames"), "6");
    const int error =
        LargestColourDifference(testing::DecodeToBgr0(PathOf("c.avi")), written, w, h);
    EXPECT_LE(error, c.largestError);
  }
}

// Worker threads change how fast, never what: the stored stream is byte for byte that of a
// single-threaded encode.
TEST_P(AviCompressorTest, ThreadsDoNotChangeTheStream) {
  const CodecCase& c = GetParam();
  WriteMovie("one.avi", c.name, 320, 176, 6, 1);
  WriteMovie("three.avi", c.name, 320, 176, 6, 3);
  const AviFileLayout one = Layout("one.avi");
  const AviFileLayout three = Layout("three.avi");
  EXPECT_EQ(one.strf, three.strf);
  ASSERT_EQ(one.frames.size(), 6u);
  ASSERT_EQ(three.frames.size(), 6u);
  for (size_t n = 0; n < 6; ++n) EXPECT_EQ(one.frames[n], three.frames[n]) << "frame " << n;
}

// The encoding thread changes when, never what: the whole file is byte for byte that of a
// sequential write, for full frames as for every compressor.
TEST_P(AviCompressorTest, PipelinedWritesTheSameFile) {
  const CodecCase& c = GetParam();
  for (const char* name : {kFullFramesCompressor, c.name}) {
    SCOPED_TRACE(name);
    const auto sequential = WriteMovie("seq.avi", name, 96, 64, 6, 0, 300000, 10000, false);
    const auto pipelined = WriteMovie("pipe.avi", name, 96, 64, 6, 0, 300000, 10000, true);
    EXPECT_EQ(sequential, pipelined);  // the same frames handed in
    const std::vector<uint8_t> one = testing::ReadFileBytes(PathOf("seq.avi"));
    ASSERT_FALSE(one.empty());
    EXPECT_TRUE(one == testing::ReadFileBytes(PathOf("pipe.avi")));
  }
}

INSTANTIATE_TEST_SUITE_P(Compressors, AviCompressorTest,
                         ::testing::Values(CodecCase{"mjpeg", "mjpeg", FourCc("MJPG"), 16},
                                           CodecCase{"ffv1", "ffv1", FourCc("FFV1"), 0},
                                           CodecCase{"ffvhuff", "ffvhuff", FourCc("FFVH"), 0},
                                           CodecCase{"huffyuv", "huffyuv", FourCc("HFYU"), 0},
                                           CodecCase{"utvideo", "utvideo", FourCc("ULRG"), 0},
                                           CodecCase{"h264", "h264", FourCc("H264"), 16}),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame the encoding thread cannot write fails the next WriteAviFrame, or the close when none
// follows; frames after it are refused, and the writer is closed all the same.
TEST_F(AviWriterTest, PipelinedWriteFailureIsReportedByTheNextWriteOrTheClose) {
  const std::string device = testing::FullDevice();
  if (device.empty()) GTEST_SKIP() << "no device that is always full";
  FrameBuffer frames[2];
  ASSERT_TRUE(CreateFrameBuffer(frames[0], 128, 128));  // 64 KiB full frames
  ASSERT_TRUE(CreateFrameBuffer(frames[1], 128, 128));
  // Writes full frames until one is refused (at most 40); the number handed in before.
  auto framesUntilRefused = [&](AviWriter& writer) {
    InitAviWriter(writer);
    EXPECT_TRUE(OpenAviStream(writer, FromUtf8(device), frames[0].header, 30, 1));
    uint32_t n = 0;
    while (n < 40 && WriteAviFrame(writer, n, frames[n % 2].pixels, frames[0].byteSize, nullptr)) {
      ++n;
    }
    return n;
  };
  AviWriter sequential;  // the failure is the call's own: frame k, once the buffer is written
  const uint32_t failing = framesUntilRefused(sequential);
  ASSERT_LT(failing, 40u);
  EXPECT_FALSE(CloseAviWriter(sequential));

  AviWriter pipelined;  // frame k is handed in and fails on the thread; frame k + 1 says so
  pipelined.SetPipelined(true);
  EXPECT_EQ(framesUntilRefused(pipelined), failing + 1);
  EXPECT_EQ(pipelined.FramesHandedIn(), failing + 1);
  const uint32_t next = failing + 1;  // and every later frame is refused as well
  EXPECT_FALSE(WriteAviFrame(pipelined, next, frames[0].pixels, frames[0].byteSize, nullptr));
  EXPECT_FALSE(CloseAviWriter(pipelined));
  EXPECT_FALSE(pipelined.Initialised());
  EXPECT_TRUE(pipelined.Pipelined());  // the mode outlives the close, as the thread count does

  for (const char* compressor : {"raw", "ffv1", "h264"}) {
    SCOPED_TRACE(compressor);
    AviWriter writer;  // one frame handed in, then the close finds its failure
    writer.SetPipelined(true);
    ASSERT_TRUE(ChooseCompressor(writer, compressor));
    InitAviWriter(writer);
    ASSERT_TRUE(OpenAviStream(writer, FromUtf8(device), frames[0].header, 30, 1));
    testing::DrawTestPicture(frames[0], 0);
    EXPECT_TRUE(WriteAviFrame(writer, 0, frames[0].pixels, frames[0].byteSize, nullptr));
    EXPECT_FALSE(CloseAviWriter(writer));
    EXPECT_FALSE(writer.Initialised());
  }
}

// More than 1 GiB of frames: the file goes on in AVIX parts with OpenDML indexes. Writes about
// 1.1 GB, so it runs only when TAVRONA_LARGE_AVI_TESTS is set; a value above 310 is the number
// of 1280 x 720 frames to write (1200 frames: 4.4 GB, beyond 32-bit offsets).
TEST_F(AviWriterTest, LargeFilesContinueInOpenDmlParts) {
  const char* large = std::getenv("TAVRONA_LARGE_AVI_TESTS");
  if (large == nullptr) GTEST_SKIP() << "set TAVRONA_LARGE_AVI_TESTS=1 to write a 1.1 GB file";
  const int w = 1280, h = 720;
  // At least 310 * 3,686,400 bytes = 1.14 GB.
  const uint32_t count = std::max<uint32_t>(310, static_cast<uint32_t>(std::atoi(large)));
  AviWriter writer;
  InitAviWriter(writer);
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, w, h));
  ASSERT_TRUE(OpenAviStream(writer, Path16("big.avi"), frame.header, 300000, 10000));
  for (uint32_t n = 0; n < count; ++n) {
    frame.Words()[0] = n;  // mark each frame
    ASSERT_TRUE(WriteAviFrame(writer, n, frame.pixels, frame.byteSize, nullptr));
  }
  CloseAviWriter(writer);
  AviFileLayout layout;
  ASSERT_TRUE(testing::ReadAviLayout(PathOf("big.avi"), layout, false));
  EXPECT_GE(layout.riffCount, 2u);
  EXPECT_EQ(layout.superIndexEntries, layout.riffCount);
  EXPECT_EQ(layout.standardIndexChunks, layout.riffCount);
  EXPECT_EQ(layout.odmlTotalFrames, count);
  EXPECT_EQ(layout.frameChunkIds.size(), count);
  EXPECT_LT(layout.idx1.size(), count);  // the old index covers the first part only
  const std::string packets = testing::RunCommand(
      "ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 '" +
      PathOf("big.avi") + "'");
  EXPECT_EQ(std::stoul(packets), count);
  // The last frame decodes, wherever in the file it lies.
  const std::vector<uint8_t> last = testing::DecodeToBgr0Frame(PathOf("big.avi"), count - 1);
  ASSERT_EQ(last.size(), static_cast<size_t>(w) * 4 * h);
  uint32_t marker;
  std::memcpy(&marker, &last[static_cast<size_t>(h - 1) * w * 4], 4);  // bottom-left pixel
  EXPECT_EQ(marker & 0xFFFFFFu, (count - 1) & 0xFFFFFFu);
}

}  // namespace
}  // namespace tavrona
