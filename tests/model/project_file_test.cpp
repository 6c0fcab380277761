#include "model/project_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/process_state.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/missing_source_answers.h"
#include "model/project_data.h"
#include "model/text_encoding.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

// Opens a source when base + path names a file that exists in the fake file system; gives
// every opened source a small picture so the slot counts as open.
class FakeOpener : public SourceOpener {
 public:
  std::set<std::u16string> existing;  // full names that "exist"
  std::vector<std::u16string> tried;  // base + path of every attempt
  bool textWorks = true;

  bool Open(FileEntry& e, int32_t kind, std::u16string_view path, std::u16string_view base) {
    std::u16string full = path.starts_with(u'\\') ? std::u16string(base) + std::u16string(path)
                                                  : std::u16string(path);
    tried.push_back(full);
    if (!existing.count(full)) return false;
    ResetFileEntry(e);
    e.kind = kind;
    CreateFrameBuffer(e.picture, 2, 2);
    SetPath(e.path, path);
    e.transparentColour = 0xFF000000;
    return true;
  }
  bool OpenMovie(FileEntry& e, std::u16string_view path, std::u16string_view base) override {
    return Open(e, FileMovie, path, base);
  }
  bool OpenImage(FileEntry& e, std::u16string_view path, std::u16string_view base) override {
    return Open(e, FileStillImage, path, base);
  }
  bool MakeText(FileEntry& e, std::u16string_view text, uint32_t colour,
                const LOGFONTW& font) override {
    ResetFileEntry(e);
    if (!textWorks) return false;
    e.kind = FileText;
    e.text = text;
    e.font = font;
    e.transparentColour = colour ^ 0x808080;
    CreateFrameBuffer(e.picture, 1, 1);
    return true;
  }
};

class ScriptedAnswers : public LoadQuestions {
 public:
  explicit ScriptedAnswers(bool answer) : answer_(answer) {}
  bool AskYesNo(const std::u16string& message) override {
    asked.push_back(message);
    return answer_;
  }
  std::vector<std::u16string> asked;

 private:
  bool answer_;
};

class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavrona_vpj_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::u16string PathOf(const std::string& name) { return FromUtf8((dir_ / name).string()); }
  void WriteBytes(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string ReadBytes(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Reads bytes as a project file; returns the block or null on failure.
  std::unique_ptr<ProjectData> Load(const std::string& bytes, bool answer = false) {
    WriteBytes("in.vpj", bytes);
    auto p = AllocateProjectData();
    ScriptedAnswers answers(answer);
    if (!ReadProjectFile(PathOf("in.vpj"), *p, opener_, answers)) return nullptr;
    return p;
  }

  static std::unique_ptr<ProjectData> NewProject() {
    auto p = AllocateProjectData();
    ApplyNewProjectReset(*p);
    return p;
  }

  fs::path dir_;
  FakeOpener opener_;
};

template <class T>
void Put(std::string& s, T v) {
  s.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <class T>
T Get(const std::string& s, size_t offset) {
  T v;
  std::memcpy(&v, s.data() + offset, sizeof v);
  return v;
}

std::string Header(uint32_t version, double rate = 30.0, int32_t method = 0) {
  std::string s;
  Put<uint32_t>(s, 3);
  s.append(520, '\0');
  Put<int32_t>(s, 640);
  Put<int32_t>(s, 480);
  Put<double>(s, rate);
  Put<uint32_t>(s, 90);
  Put<uint32_t>(s, 0x00112233);
  if (version > kProjectVersion0) Put<int32_t>(s, method);
  return s;
}

std::string Start(uint32_t version) {
  std::string s = "TPRJ";
  Put<uint32_t>(s, 1);
  Put<uint32_t>(s, version);
  return s;
}

std::string End() {
  std::string s;
  Put<uint32_t>(s, 2);
  return s;
}

TEST_F(ProjectFileTest, NewProjectIs568BytesExactly) {
  auto p = NewProject();
  const std::string bytes = SerializeProject(*p);
  ASSERT_EQ(bytes.size(), 568u);
  EXPECT_EQ(bytes.substr(0, 4), "TPRJ");
  EXPECT_EQ(Get<uint32_t>(bytes, 4), 1u);
  EXPECT_EQ(Get<uint32_t>(bytes, 8), 0x00010002u);
  EXPECT_EQ(Get<uint32_t>(bytes, 12), 3u);
  EXPECT_EQ(bytes.substr(16, 520), std::string(520, '\0'));
  EXPECT_EQ(Get<int32_t>(bytes, 536), 320);
  EXPECT_EQ(Get<int32_t>(bytes, 540), 240);
  EXPECT_EQ(Get<double>(bytes, 544), 30.0);
  EXPECT_EQ(Get<uint32_t>(bytes, 552), 1u);
  EXPECT_EQ(Get<uint32_t>(bytes, 556), 0u);
  EXPECT_EQ(Get<int32_t>(bytes, 560), 0);
  EXPECT_EQ(Get<uint32_t>(bytes, 564), 2u);
}

TEST_F(ProjectFileTest, MinimalFileReadsAsNewProject) {
  auto p = Load(Start(kProjectVersionCurrent) + End());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->outputWidth, 320);
  EXPECT_EQ(p->outputHeight, 240);
  EXPECT_EQ(p->frameRate, 30.0);
  EXPECT_EQ(p->frameDuration100ns, 333'333);
  EXPECT_EQ(p->movieLength, 1u);
  for (const auto& t : p->tracks) EXPECT_EQ(t.count, 0u);
  for (const auto& f : p->files) EXPECT_EQ(f.kind, FileEmpty);
  EXPECT_EQ(PathView(p->projectFolder), FromUtf8(dir_.string()));
}

TEST_F(ProjectFileTest, VersionZeroConvertsHeaderAndEvents) {
  std::string s = Start(kProjectVersion0) + Header(kProjectVersion0, 25.0);
  Put<uint32_t>(s, 5);
  Put<uint32_t>(s, 7);  // track 7
  Put<uint32_t>(s, 1);
  std::string old(152, '\0');
  for (int i = 0; i < 152; ++i) old[i] = static_cast<char>(i + 1);
  s += old;
  s += End();
  auto p = Load(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->defaultDrawingMethod, 1);
  EXPECT_EQ(p->frameDuration100ns, 400'000);
  EXPECT_EQ(p->outputWidth, 640);
  EXPECT_EQ(p->movieLength, 90u);
  EXPECT_EQ(p->backgroundColour, 0x00112233u);
  ASSERT_EQ(p->tracks[7].count, 1u);
  const auto* e = reinterpret_cast<const uint8_t*>(&p->tracks[7].events[0]);
  EXPECT_EQ(std::memcmp(e, old.data(), 12), 0);
  EXPECT_EQ(p->tracks[7].events[0].drawingMethod, 0);
  EXPECT_EQ(std::memcmp(e + 16, old.data() + 16, 36), 0);
  EXPECT_EQ(p->tracks[7].events[0].blendMode, 0);
  EXPECT_EQ(std::memcmp(e + 56, old.data() + 52, 96), 0);
  EXPECT_EQ(p->tracks[7].events[1].start, kEndMarkerStart);
}

TEST_F(ProjectFileTest, VersionOneKeepsDrawingMethodAndConvertsTemplates) {
  std::string s = Start(kProjectVersion1) + Header(kProjectVersion1, 30.0, 3);
  Put<uint32_t>(s, 6);
  Put<uint32_t>(s, 63);
  std::string old(152, '\0');
  for (int i = 0; i < 152; ++i) old[i] = static_cast<char>(200 - i);
  s += old;
  s += End();
  auto p = Load(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->defaultDrawingMethod, 3);
  const auto* e = reinterpret_cast<const uint8_t*>(&p->templates[63]);
  EXPECT_EQ(std::memcmp(e, old.data(), 52), 0);
  EXPECT_EQ(p->templates[63].blendMode, 0);
  EXPECT_EQ(std::memcmp(e + 56, old.data() + 52, 96), 0);
}

TEST_F(ProjectFileTest, RecordsInAnyOrderAndSkipRecords) {
  std::string s = "TPRJ";
  Put<uint32_t>(s, 0);
  Put<uint32_t>(s, 5);
  s += "hello";
  s += Header(kProjectVersionCurrent, 50.0, 4);  // before any version: current layout
  Put<uint32_t>(s, 1);
  Put<uint32_t>(s, kProjectVersionCurrent);
  s += End();
  s += "trailing bytes after the end record are never read";
  auto p = Load(s);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->frameDuration100ns, 200'000);
  EXPECT_EQ(p->defaultDrawingMethod, 4);
}

TEST_F(ProjectFileTest, TextSlotBlockLengths) {
  auto p = NewProject();
  opener_.MakeText(p->files[0], u"ab", 0xFFFFFF, LOGFONTW{});
  opener_.MakeText(p->files[1], u"abc", 0xFFFFFF, LOGFONTW{});
  opener_.MakeText(p->files[2], u"", 0xFFFFFF, LOGFONTW{});
  const std::string bytes = SerializeProject(*p);
  // header ends at 564; slot 0: tag, id, kind, colour, font (92), N, text
  size_t at = 564;
  for (uint32_t expectedN : {8u, 8u, 4u}) {
    ASSERT_EQ(Get<uint32_t>(bytes, at), 4u);
    const uint32_t n = Get<uint32_t>(bytes, at + 16 + 92);
    EXPECT_EQ(n, expectedN);
    at += 16 + 92 + 4 + n;
  }
  auto back = Load(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->files[0].text, u"ab");
  EXPECT_EQ(back->files[1].text, u"abc");
  EXPECT_EQ(back->files[2].kind, FileText);
  EXPECT_EQ(back->files[2].text, u"");
}

// A path field whose 260 units are all used still reads back as 259 units and a terminator, in
// the header's base path and in a file slot; a path of 259 units is written with its terminator.
TEST_F(ProjectFileTest, PathFieldsFilledToTheirLastUnitReadBackTerminated) {
  auto p = NewProject();
  const std::u16string base(259, u'b');
  const std::u16string path(259, u'p');
  ASSERT_TRUE(SetPath(p->basePath, base));
  p->files[0].kind = FileStillImage;
  ASSERT_TRUE(SetPath(p->files[0].path, path));
  CreateFrameBuffer(p->files[0].picture, 2, 2);
  const std::string written = SerializeProject(*p);
  constexpr size_t kBaseField = 16;        // after "TPRJ", the version record and the header's tag
  constexpr size_t kSlotField = 564 + 12;  // after the slot record's tag, ID and kind
  ASSERT_EQ(Get<uint32_t>(written, 12), 3u);
  ASSERT_EQ(Get<uint32_t>(written, 564), 4u);
  EXPECT_EQ(Get<uint16_t>(written, kBaseField + 2 * 258), u'b');
  EXPECT_EQ(Get<uint16_t>(written, kBaseField + 2 * 259), 0);
  EXPECT_EQ(Get<uint16_t>(written, kSlotField + 2 * 259), 0);
  // The same file with the last unit of both fields used: nothing terminates them there.
  std::string filled = written;
  filled[kBaseField + 2 * 259] = 'x';
  filled[kSlotField + 2 * 259] = 'x';
  opener_.existing.insert(path);
  for (const std::string& bytes : {written, filled}) {
    auto back = Load(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(PathView(back->basePath), base);
    EXPECT_EQ(back->basePath[259], 0);
    EXPECT_EQ(back->files[0].kind, FileStillImage);
    EXPECT_EQ(PathView(back->files[0].path), path);
    EXPECT_EQ(back->files[0].path[259], 0);
  }
}

TEST_F(ProjectFileTest, NewerVersionFails) {
  EXPECT_FALSE(Load(Start(0x00010003) + End()));
}

TEST_F(ProjectFileTest, RelativePathFoundInProjectFolderAndWrittenBackUnchanged) {
  auto p = NewProject();
  SetPath(p->basePath, u"/nowhere");
  p->files[12].kind = FileStillImage;
  SetPath(p->files[12].path, u"\\clip.bmp");
  p->files[12].transparentColour = 0x0000FF00;
  CreateFrameBuffer(p->files[12].picture, 2, 2);
  const std::string bytes = SerializeProject(*p);

  opener_.existing.insert(FromUtf8(dir_.string()) + u"\\clip.bmp");
  auto back = Load(bytes);
  ASSERT_TRUE(back);
  ASSERT_EQ(opener_.tried.size(), 2u);
  EXPECT_EQ(opener_.tried[0], u"/nowhere\\clip.bmp");  // the base path first
  EXPECT_EQ(back->files[12].kind, FileStillImage);
  EXPECT_EQ(PathView(back->files[12].path), u"\\clip.bmp");
  EXPECT_EQ(back->files[12].transparentColour, 0x0000FF00u);
  EXPECT_EQ(SerializeProject(*back), bytes);
}

TEST_F(ProjectFileTest, MissingSourceAnsweredYesOrNo) {
  auto p = NewProject();
  p->files[3].kind = FileMovie;
  p->files[3].referenceFrameDuration100ns = 400'000;
  SetPath(p->files[3].path, u"/gone/clip.avi");
  EventRecord e = DefaultEventForFile(*p, 3, 5);
  ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &e));
  const std::string bytes = SerializeProject(*p);

  WriteBytes("in.vpj", bytes);
  auto no = AllocateProjectData();
  ScriptedAnswers sayNo(false);
  EXPECT_FALSE(ReadProjectFile(PathOf("in.vpj"), *no, opener_, sayNo));
  ASSERT_EQ(sayNo.asked.size(), 1u);
  EXPECT_EQ(sayNo.asked[0], SourceLoadQuestion(u"/gone/clip.avi"));

  auto yes = AllocateProjectData();
  ScriptedAnswers sayYes(true);
  ASSERT_TRUE(ReadProjectFile(PathOf("in.vpj"), *yes, opener_, sayYes));
  EXPECT_EQ(yes->files[3].kind, FileEmpty);
  EXPECT_EQ(yes->tracks[0].count, 1u);  // the event using the slot stays
  EXPECT_EQ(yes->tracks[0].events[0].fileId, 3);
}

TEST_F(ProjectFileTest, FailedTextAsksWithTheText) {
  auto p = NewProject();
  opener_.MakeText(p->files[0], u"タイトル", 0x00FFFFFF, LOGFONTW{});
  const std::string bytes = SerializeProject(*p);
  opener_.textWorks = false;
  WriteBytes("in.vpj", bytes);
  auto back = AllocateProjectData();
  ScriptedAnswers sayYes(true);
  ASSERT_TRUE(ReadProjectFile(PathOf("in.vpj"), *back, opener_, sayYes));
  ASSERT_EQ(sayYes.asked.size(), 1u);
  EXPECT_EQ(sayYes.asked[0], TextCreateQuestion(u"タイトル"));
  EXPECT_EQ(back->files[0].kind, FileEmpty);
}

// A front end's questions with "すべてに適用": the missing-source answers come from a script
// through one MissingSourceAnswers, as the GUI's document keeps it; every question shown is
// recorded. Other questions are answered Yes.
class ApplyToAllAnswers : public LoadQuestions {
 public:
  bool AskYesNo(const std::u16string& message) override {
    asked.push_back(message);
    return true;
  }
  bool AskMissingSource(std::u16string_view path) override {
    return memory.Answer([&] {
      asked.push_back(SourceLoadQuestion(path));
      return script.at(asked.size() - 1);
    });
  }
  std::vector<MissingSourceAnswer> script;  // by the number of the question
  std::vector<std::u16string> asked;
  MissingSourceAnswers memory;
};

TEST_F(ProjectFileTest, AnAnswerAppliedToAllMissingSourcesStandsForTheRestOfTheLoad) {
  // Four sources whose folder has gone, a text that cannot be drawn between them, and an event
  // on each slot.
  auto p = NewProject();
  const std::vector<int> missing = {1, 5, 6, 9};
  for (int id : missing) {
    p->files[id].kind = FileStillImage;
    const std::u16string path = u"/media/clip" + FromUtf8(std::to_string(id)) + u".bmp";
    SetPath(p->files[id].path, path);
  }
  opener_.MakeText(p->files[3], u"タイトル", 0x00FFFFFF, LOGFONTW{});
  for (int id : {1, 3, 5, 6, 9}) {
    EventRecord e = DefaultEventForFile(*p, id, static_cast<uint32_t>(id) * 10);
    ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &e));
  }
  WriteBytes("in.vpj", SerializeProject(*p));
  opener_.textWorks = false;

  // Yes for all: asked about the first missing source only; the text is still asked about.
  ApplyToAllAnswers answers;
  answers.script = {{true, true}, {true, false}};
  answers.memory.StartLoad();
  auto back = AllocateProjectData();
  ASSERT_TRUE(ReadProjectFile(PathOf("in.vpj"), *back, opener_, answers));
  EXPECT_EQ(answers.asked, (std::vector<std::u16string>{SourceLoadQuestion(u"/media/clip1.bmp"),
                                                        TextCreateQuestion(u"タイトル")}));
  for (int id : {1, 3, 5, 6, 9}) EXPECT_EQ(back->files[id].kind, FileEmpty) << id;
  EXPECT_EQ(back->tracks[0].count, 5u);  // the events stay
  EXPECT_EQ(answers.memory.Standing(), true);

  // The next load starts afresh: Yes without "すべてに適用" is asked source by source.
  answers.asked.clear();
  answers.script = {{true, false}, {true, false}, {true, false}, {true, false}, {true, false}};
  answers.memory.StartLoad();
  back = AllocateProjectData();
  ASSERT_TRUE(ReadProjectFile(PathOf("in.vpj"), *back, opener_, answers));
  EXPECT_EQ(answers.asked.size(), 5u);
  EXPECT_EQ(answers.asked[4], SourceLoadQuestion(u"/media/clip9.bmp"));
  EXPECT_EQ(answers.memory.Standing(), std::nullopt);

  // No for all ends the read at the first missing source, and stands until the next load.
  answers.asked.clear();
  answers.script = {{false, true}};
  answers.memory.StartLoad();
  back = AllocateProjectData();
  std::string why;
  EXPECT_FALSE(ReadProjectFile(PathOf("in.vpj"), *back, opener_, answers, &why));
  EXPECT_EQ(answers.asked.size(), 1u);
  EXPECT_NE(why.find("/media/clip1.bmp (ID 1) could not be opened"), std::string::npos) << why;
  EXPECT_EQ(answers.memory.Standing(), false);
  EXPECT_FALSE(answers.memory.Answer([] { return MissingSourceAnswer{true, true}; }));
  answers.memory.StartLoad();
  EXPECT_TRUE(answers.memory.Answer([] { return MissingSourceAnswer{true, false}; }));
}

TEST_F(ProjectFileTest, TemplatesWithoutInUseBitAreNotWritten) {
  auto p = NewProject();
  const size_t base = SerializeProject(*p).size();
  p->templates[5].fileId = 9;
  p->templates[5].flags = EventSelected;  // set fields, but not in use
  EXPECT_EQ(SerializeProject(*p).size(), base);
  p->templates[5].flags = EventInUse;
  EXPECT_EQ(SerializeProject(*p).size(), base + 8 + 152);
}

// A project with every kind of record, used for round trips and the malformed corpus.
std::unique_ptr<ProjectData> RichProject(FakeOpener& opener) {
  auto p = AllocateProjectData();
  ApplyNewProjectReset(*p);
  p->outputWidth = 1280;
  p->outputHeight = 720;
  p->SetFrameRate(29.97);
  p->movieLength = 300;
  p->backgroundColour = 0x00336699;
  p->defaultDrawingMethod = 3;
  SetPath(p->basePath, u"/media/素材/");
  opener.existing.insert(u"/media/素材/\\a.bmp");
  opener.existing.insert(u"/abs/clip.avi");
  opener.OpenImage(p->files[0], u"\\a.bmp", u"/media/素材/");
  p->files[0].transparentColour = 0x0000FF;
  p->files[1023].referenceFrameDuration100ns = 333'667;
  opener.OpenMovie(p->files[1023], u"/abs/clip.avi", u"");
  LOGFONTW font{};
  font.lfHeight = -32;
  font.lfWeight = 700;
  std::u16string face = u"IPAGothic";
  std::copy(face.begin(), face.end(), font.lfFaceName);
  opener.MakeText(p->files[500], u"二行の\nテキスト", 0x00FFFFFF, font);
  for (uint32_t t : {0u, 255u}) {
    std::vector<EventRecord> events;
    for (uint32_t i = 0; i < 3; ++i) {
      EventRecord e = DefaultEventForFile(*p, 0, i * 10);
      e.flags |= (i == 1 ? EventSelected | EventInterpolate : 0);
      e.blendMode = static_cast<int32_t>(i + 4);
      e.rotation = 17.0f * i;
      events.push_back(e);
    }
    InsertSorted(p->tracks[t], 3, events.data());
  }
  p->templates[0] = DefaultEventForFile(*p, 500, 0);
  return p;
}

TEST_F(ProjectFileTest, RoundTripGivesTheSameBytes) {
  auto p = RichProject(opener_);
  ASSERT_TRUE(WriteProjectFile(PathOf("rich.vpj"), *p));
  EXPECT_EQ(PathView(p->projectFolder), FromUtf8(dir_.string()));
  const std::string first = ReadBytes("rich.vpj");
  EXPECT_EQ(first, SerializeProject(*p));
  auto back = Load(first);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->frameDuration100ns, 333'667);
  EXPECT_EQ(back->files[500].text, u"二行の\nテキスト");
  EXPECT_EQ(back->files[500].font.lfHeight, -32);
  EXPECT_EQ(back->files[1023].referenceFrameDuration100ns, 333'667);
  ASSERT_TRUE(WriteProjectFile(PathOf("again.vpj"), *back));
  EXPECT_EQ(ReadBytes("again.vpj"), first);
}

TEST_F(ProjectFileTest, EveryTruncationFails) {
  auto p = RichProject(opener_);
  const std::string bytes = SerializeProject(*p);
  for (size_t n = 0; n < bytes.size(); ++n) {
    ASSERT_FALSE(Load(bytes.substr(0, n))) << "truncated at " << n;
  }
  EXPECT_TRUE(Load(bytes));
}

TEST_F(ProjectFileTest, MalformedRecordsFail) {
  const std::string start = Start(kProjectVersionCurrent);
  auto with = [&](const std::string& body) { return Load(start + body + End()); };
  std::string s;

  EXPECT_FALSE(Load("TPRX" + End()));  // wrong magic
  s.clear();
  Put<uint32_t>(s, 7);  // unknown tag
  EXPECT_FALSE(with(s));
  EXPECT_FALSE(with(Header(kProjectVersionCurrent, 0.0)));    // frame rate zero
  EXPECT_FALSE(with(Header(kProjectVersionCurrent, -30.0)));  // negative
  EXPECT_FALSE(with(Header(kProjectVersionCurrent, std::nan(""))));

  s.clear();  // file slot beyond the table
  Put<uint32_t>(s, 4);
  Put<uint32_t>(s, 1024);
  Put<uint32_t>(s, 2);
  s.append(520, '\0');
  Put<uint32_t>(s, 0);
  EXPECT_FALSE(with(s));

  s.clear();  // unknown kind
  Put<uint32_t>(s, 4);
  Put<uint32_t>(s, 0);
  Put<uint32_t>(s, 4);
  EXPECT_FALSE(with(s));

  auto text = [](uint32_t n, const std::string& bytes) {
    std::string t;
    Put<uint32_t>(t, 4);
    Put<uint32_t>(t, 0);
    Put<uint32_t>(t, 3);
    Put<uint32_t>(t, 0);
    t.append(92, '\0');
    Put<uint32_t>(t, n);
    return t + bytes;
  };
  EXPECT_FALSE(with(text(3, std::string("a\0\0", 3))));   // odd length
  EXPECT_FALSE(with(text(4, std::string("a\0b\0", 4))));  // no terminator
  EXPECT_FALSE(with(text(0xFFFFFFF0u, "")));              // longer than the file
  EXPECT_TRUE(with(text(4, std::string("a\0\0\0", 4))));  // well formed

  s.clear();  // track number beyond the table
  Put<uint32_t>(s, 5);
  Put<uint32_t>(s, 256);
  Put<uint32_t>(s, 0);
  EXPECT_FALSE(with(s));

  s.clear();  // a count the file cannot back: refused before any allocation
  Put<uint32_t>(s, 5);
  Put<uint32_t>(s, 0);
  Put<uint32_t>(s, 0xFFFFFFFFu);
  EXPECT_FALSE(with(s));

  s.clear();  // template slot beyond the table
  Put<uint32_t>(s, 6);
  Put<uint32_t>(s, 64);
  s.append(152, '\0');
  EXPECT_FALSE(with(s));

  s.clear();  // a skip past the end of the file
  Put<uint32_t>(s, 0);
  Put<uint32_t>(s, 0x7FFFFFFFu);
  EXPECT_FALSE(with(s));
  s.clear();
  Put<uint32_t>(s, 0);
  Put<uint32_t>(s, 0xFFFFFFFFu);  // "negative" as a signed length
  EXPECT_FALSE(with(s));

  EXPECT_FALSE(Load(start));  // no end record
}

TEST_F(ProjectFileTest, FailedSaveKeepsThePreviousFile) {
  auto p = RichProject(opener_);
  ASSERT_TRUE(WriteProjectFile(PathOf("keep.vpj"), *p));
  const std::string before = ReadBytes("keep.vpj");
  // The target is a folder: the rename fails after the data was written and flushed.
  fs::create_directory(dir_ / "folder.vpj");
  p->outputWidth = 1;
  EXPECT_FALSE(WriteProjectFile(PathOf("folder.vpj"), *p));
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.vpj"));
  EXPECT_FALSE(WriteProjectFile(PathOf("missing/x.vpj"), *p));
  EXPECT_EQ(ReadBytes("keep.vpj"), before);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().string().find("saving"), std::string::npos) << entry.path();
  }
}

TEST_F(ProjectFileTest, DocumentKeepsProjectWhenOpenFails) {
  ProjectDocument doc;
  ASSERT_TRUE(doc.NewProject());
  doc.Project()->outputWidth = 999;
  doc.SetModified();
  Process().defaultDrawingMethodMirror = 2;
  ScriptedAnswers no(false);
  WriteBytes("bad.vpj", "TPRJ");
  EXPECT_FALSE(doc.OpenProject(PathOf("bad.vpj"), opener_, no));
  EXPECT_EQ(doc.Project()->outputWidth, 999);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(Process().defaultDrawingMethodMirror, 2);

  WriteBytes("good.vpj",
             Start(kProjectVersionCurrent) + Header(kProjectVersionCurrent, 30, 4) + End());
  ASSERT_TRUE(doc.OpenProject(PathOf("good.vpj"), opener_, no));
  EXPECT_EQ(doc.Project()->outputWidth, 640);
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(Process().defaultDrawingMethodMirror, 4);

  doc.SetModified();
  EXPECT_FALSE(doc.SaveProject(PathOf("missing/x.vpj")));
  EXPECT_TRUE(doc.Modified());
  EXPECT_TRUE(doc.SaveProject(PathOf("saved.vpj")));
  EXPECT_FALSE(doc.Modified());
  Process().defaultDrawingMethodMirror = 0;
}

}  // namespace
}  // namespace tavrona

namespace tavrona {
namespace {

std::string TrackSoundRecord(uint32_t count, const std::string& entries) {
  std::string s;
  Put<uint32_t>(s, 0);
  Put<uint32_t>(s, static_cast<uint32_t>(8 + 4 + entries.size()));
  s += "TVSNDTR1";
  Put<uint32_t>(s, count);
  return s + entries;
}

std::string TrackSoundEntry(uint32_t track, float volumeDb, uint32_t flags) {
  std::string s;
  Put<uint32_t>(s, track);
  Put<float>(s, volumeDb);
  Put<uint32_t>(s, flags);
  return s;
}

TEST_F(ProjectFileTest, TrackSoundSettingsRoundTripAndDefaultsWriteNothing) {
  auto p = RichProject(opener_);
  const std::string plain = SerializeProject(*p);
  EXPECT_EQ(plain.find("TVSNDTR1"), std::string::npos);

  p->trackSound[0] = TrackSound{-6.0f, false};
  p->trackSound[255] = TrackSound{0.0f, true};
  const std::string withSound = SerializeProject(*p);
  // One skip record of 8 + 4 + 2 * 12 bytes more, and nothing else changed around it.
  EXPECT_EQ(withSound.size(), plain.size() + 8 + 36);
  auto back = Load(withSound);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->trackSound[0], (TrackSound{-6.0f, false}));
  EXPECT_EQ(back->trackSound[255], (TrackSound{0.0f, true}));
  EXPECT_TRUE(back->trackSound[1].IsDefault());
  EXPECT_EQ(SerializeProject(*back), withSound);

  // Going back to the defaults gives the old bytes again.
  back->trackSound[0] = TrackSound{};
  back->trackSound[255] = TrackSound{};
  EXPECT_EQ(SerializeProject(*back), plain);
}

TEST_F(ProjectFileTest, TrackSoundRecordsAreReadCheckedAndForeignSkipRecordsIgnored) {
  const std::string start = Start(kProjectVersionCurrent) + Header(kProjectVersionCurrent);
  // Out-of-range and non-number volumes are brought into range.
  auto p = Load(start +
                TrackSoundRecord(3, TrackSoundEntry(1, 40.0f, 0) + TrackSoundEntry(2, -99.0f, 1) +
                                        TrackSoundEntry(3, std::nanf(""), 0)) +
                End());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->trackSound[1].volumeDb, kTrackVolumeMaxDb);
  EXPECT_EQ(p->trackSound[2], (TrackSound{kTrackVolumeMinDb, true}));
  EXPECT_EQ(p->trackSound[3].volumeDb, 0.0f);

  // A skip record of someone else's, even one starting like ours, is passed over.
  std::string foreign;
  Put<uint32_t>(foreign, 0);
  Put<uint32_t>(foreign, 16);
  foreign += "TVSNDTR2whatever";
  EXPECT_TRUE(Load(start + foreign + End()));

  // Ours, but damaged: a count that does not fit the length, or a track beyond 255.
  EXPECT_FALSE(Load(start + TrackSoundRecord(2, TrackSoundEntry(1, 0.0f, 1)) + End()));
  EXPECT_FALSE(Load(start + TrackSoundRecord(1, TrackSoundEntry(256, 0.0f, 1)) + End()));
}

}  // namespace
}  // namespace tavrona
