// Autosave and crash recovery: the recovery file's format and its failures, the locks that tell
// a running program's file from an abandoned one, the mirror the autosave copies the project
// into, and the autosave and the start-up offer in a real main window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "bmp_builder.h"
#include "model/project_file.h"
#include "model/track_data.h"
#include "qt_printers.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/profile.h"
#include "ui/prompts.h"
#include "ui/recovery/autosaver.h"
#include "ui/recovery/project_mirror.h"
#include "ui/recovery/recovery_file.h"
#include "ui/recovery/recovery_offer.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Events of a seeded pseudo-random content, ascending by start, on the given tracks.
void FillTracks(ProjectData& p, std::initializer_list<std::pair<int, uint32_t>> counts,
                uint32_t seed) {
  std::mt19937 random(seed);
  for (const auto& [track, count] : counts) {
    ASSERT_TRUE(ResetTrack(p.tracks[track], count));
    for (uint32_t i = 0; i < count; ++i) {
      EventRecord& e = p.tracks[track].events[i];
      e.flags = EventInUse;
      e.start = i * 3;
      e.fileId = static_cast<int32_t>(random() % kFileCount);
      e.playbackPosition = static_cast<int64_t>(random());
      e.scale = static_cast<float>(random() % 1000) / 100.0f;
    }
  }
}

std::unique_ptr<ProjectData> SampleProject(uint32_t seed) {
  auto p = AllocateProjectData();
  ApplyNewProjectReset(*p);
  p->outputWidth = 640;
  p->backgroundColour = 0x123456;
  FillTracks(*p, {{0, 5}, {3, 40}, {255, 1}}, seed);
  p->templates[2].flags = EventInUse;
  p->templates[2].fileId = 7;
  return p;
}

// --- The file ----------------------------------------------------------------------------------

class RecoveryFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  fs::path Path(const char* name) const { return fs::path(dir_.filePath(name).toStdString()); }
  QTemporaryDir dir_;
};

TEST_F(RecoveryFileTest, RoundTripKeepsTimePathAndTheProjectAsSaveWritesIt) {
  const auto project = SampleProject(1);
  const std::string bytes = SerializeProject(*project);
  const fs::path file = Path("a.recovery");
  for (const std::string& original : {std::string("/home/u/映像/clip.vpj"), std::string()}) {
    const int64_t at = 1'765'000'000'123 + static_cast<int64_t>(original.size());
    std::string why;
    ASSERT_TRUE(WriteRecoveryFile(file, at, original, bytes, &why)) << why;
    RecoveryContent read;
    ASSERT_TRUE(ReadRecoveryFile(file, read, &why)) << why;
    EXPECT_EQ(read.savedAtMs, at);
    EXPECT_EQ(read.originalPath, original);
    EXPECT_EQ(read.projectBytes, bytes);
    EXPECT_EQ(fs::file_size(file),
              kRecoveryHeaderBytes + original.size() + bytes.size() + kRecoveryTrailerBytes);
  }
  // The checksum is the common CRC-32: its check value over "123456789".
  EXPECT_EQ(RecoveryCrc32(0, "123456789"), 0xCBF43926u);
  EXPECT_EQ(RecoveryCrc32(RecoveryCrc32(0, "1234"), "56789"), 0xCBF43926u);
}

TEST_F(RecoveryFileTest, TruncatedDamagedAndForeignFilesAreRefusedWithTheirCause) {
  const std::string project = SerializeProject(*SampleProject(2));
  const fs::path file = Path("b.recovery");
  ASSERT_TRUE(WriteRecoveryFile(file, 42, "/p/x.vpj", project));
  const std::string whole = ReadBytes(file);
  RecoveryContent out;
  std::string why;
  ASSERT_TRUE(ParseRecoveryFile(whole, out, &why));

  // Every cut, from the magic to the last byte of the checksum.
  for (size_t cut = 4; cut < whole.size(); cut += (cut < 64 ? 1 : 97)) {
    why.clear();
    EXPECT_FALSE(ParseRecoveryFile(std::string_view(whole).substr(0, cut), out, &why)) << cut;
    EXPECT_NE(why.find("truncated"), std::string::npos) << cut << ": " << why;
  }
  // One flipped bit anywhere after the magic and the lengths.
  for (size_t at : {size_t{8}, size_t{33}, whole.size() / 2, whole.size() - 5, whole.size() - 1}) {
    std::string damaged = whole;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
    why.clear();
    EXPECT_FALSE(ParseRecoveryFile(damaged, out, &why)) << at;
    EXPECT_NE(why.find("damaged"), std::string::npos) << at << ": " << why;
  }
  // Bytes appended.
  EXPECT_FALSE(ParseRecoveryFile(whole + "x", out, &why));
  EXPECT_NE(why.find("too long"), std::string::npos) << why;
  // A newer format, a foreign file, an empty one, one that is not there.
  std::string newer = whole;
  newer[4] = 2;
  EXPECT_FALSE(ParseRecoveryFile(newer, out, &why));
  EXPECT_NE(why.find("version 2"), std::string::npos) << why;
  EXPECT_FALSE(ParseRecoveryFile(project, out, &why));
  EXPECT_NE(why.find("not a recovery file"), std::string::npos) << why;
  EXPECT_FALSE(ParseRecoveryFile("", out, &why));
  EXPECT_FALSE(ReadRecoveryFile(Path("none.recovery"), out, &why));
  EXPECT_EQ(why, std::strerror(ENOENT));
}

TEST_F(RecoveryFileTest, AFullDiskLeavesThePreviousFileIntact) {
  const fs::path file = Path("c.recovery");
  ASSERT_TRUE(WriteRecoveryFile(file, 1, "/p/old.vpj", "old project"));
  const std::string before = ReadBytes(file);
  // The disk takes 100 bytes, then is full.
  size_t taken = 0;
  const WriteCall full = [&taken](int fd, const void* data, size_t size) -> ssize_t {
    const size_t room = taken < 100 ? std::min<size_t>(size, 100 - taken) : 0;
    if (room == 0) {
      errno = ENOSPC;
      return -1;
    }
    taken += room;
    return ::write(fd, data, room);
  };
  std::string why;
  EXPECT_FALSE(WriteRecoveryFile(file, 2, "/p/new.vpj", std::string(5000, 'n'), &why, full));
  EXPECT_EQ(taken, 100u);
  EXPECT_EQ(why, std::strerror(ENOSPC));
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
      << "the temporary file stayed behind";
}

// --- Locks -------------------------------------------------------------------------------------

class RecoverySlotTest : public RecoveryFileTest {
 protected:
  fs::path Folder() const { return Path("recovery"); }
};

TEST_F(RecoverySlotTest, AFileIsClaimedOnlyOnceItsProgramHasEnded) {
  fs::path data, lock;
  {
    auto slot = RecoverySlot::Create(Folder());
    ASSERT_TRUE(slot);
    data = slot->DataPath();
    lock = slot->LockPath();
    ASSERT_TRUE(WriteRecoveryFile(data, 5, "", "p"));
    // While this program holds the slot, nobody claims it, this program included.
    EXPECT_TRUE(ClaimAbandonedSlots(Folder()).empty());
  }  // released as a crash would: both files stay
  ASSERT_TRUE(fs::exists(data));
  ASSERT_TRUE(fs::exists(lock));

  // Another live process holds the lock.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(lock.c_str(), O_RDWR);
    const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    for (;;) ::pause();
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_EQ(ok, 'y');
  EXPECT_TRUE(ClaimAbandonedSlots(Folder()).empty());

  // It dies (SIGKILL): the kernel drops its lock, and the file is there for the taking, once.
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  std::vector<RecoverySlot> claimed = ClaimAbandonedSlots(Folder());
  ASSERT_EQ(claimed.size(), 1u);
  EXPECT_EQ(claimed[0].DataPath(), data);
  EXPECT_TRUE(ClaimAbandonedSlots(Folder()).empty()) << "claimed twice";
  claimed[0].Remove();
  EXPECT_FALSE(fs::exists(data));
  EXPECT_FALSE(fs::exists(lock));
}

TEST_F(RecoverySlotTest, LeftoverLocksGoAndFilesWithoutALockCanStillBeClaimed) {
  auto live = RecoverySlot::Create(Folder());
  ASSERT_TRUE(live);
  fs::path lonelyLock, lonelyData;
  {
    auto ended = RecoverySlot::Create(Folder());  // a program that ended before writing
    ASSERT_TRUE(ended);
    lonelyLock = ended->LockPath();
    auto noLock = RecoverySlot::Create(Folder());  // a file whose lock file was removed by hand
    ASSERT_TRUE(noLock);
    lonelyData = noLock->DataPath();
    ASSERT_TRUE(WriteRecoveryFile(lonelyData, 5, "", "p"));
    fs::remove(noLock->LockPath());
  }
  const std::string lonelyBytes = ReadBytes(lonelyData);
  std::vector<RecoverySlot> claimed = ClaimAbandonedSlots(Folder());
  ASSERT_EQ(claimed.size(), 1u);
  EXPECT_EQ(claimed[0].DataPath(), lonelyData);
  EXPECT_TRUE(fs::exists(claimed[0].LockPath()));
  EXPECT_FALSE(fs::exists(lonelyLock));
  EXPECT_TRUE(fs::exists(live->LockPath())) << "a running program's lock was removed";
  // A broken file is moved aside, not removed.
  const auto aside = claimed[0].MoveAside();
  ASSERT_TRUE(aside);
  EXPECT_EQ(aside->string(), lonelyData.string() + ".broken");
  EXPECT_EQ(ReadBytes(*aside), lonelyBytes);
  EXPECT_FALSE(fs::exists(lonelyData));
}

TEST(RecoveryFolderTest, FollowsXdgStateHomeAndFallsBackToTheHomeFolder) {
  const QByteArray state = qgetenv("XDG_STATE_HOME");
  const QByteArray home = qgetenv("HOME");
  qputenv("XDG_STATE_HOME", "/srv/state");
  EXPECT_EQ(RecoveryFolder(), fs::path("/srv/state/tavrona/recovery"));
  qputenv("XDG_STATE_HOME", "relative/state");  // only an absolute path counts
  qputenv("HOME", "/home/someone");
  EXPECT_EQ(RecoveryFolder(), fs::path("/home/someone/.local/state/tavrona/recovery"));
  qunsetenv("XDG_STATE_HOME");
  EXPECT_EQ(RecoveryFolder(), fs::path("/home/someone/.local/state/tavrona/recovery"));
  qputenv("HOME", home);
  if (state.isNull()) {
    qunsetenv("XDG_STATE_HOME");
  } else {
    qputenv("XDG_STATE_HOME", state);
  }
}

// --- The mirror and the delay ------------------------------------------------------------------

// Copies with a deadline already past: one look at the clock per call, as many calls as it takes.
int CopyInSlices(ProjectMirror& mirror, const ProjectData& live) {
  mirror.Begin();
  int calls = 1;
  while (mirror.CopySome(live, std::chrono::steady_clock::now()) == ProjectMirror::Step::More) {
    ++calls;
  }
  return calls;
}

TEST(ProjectMirrorTest, ACopyInSlicesSerialisesLikeTheLiveProjectAndIsReused) {
  auto live = SampleProject(3);
  ASSERT_TRUE(SetPath(live->files[4].path, u"\\media\\a.avi"));
  live->files[4].kind = FileMovie;
  live->files[4].referenceFrameDuration100ns = 333667;
  live->files[9].kind = FileText;
  live->files[9].text = u"テロップ";
  live->files[9].transparentColour = 0x808080;
  live->trackSound[7] = TrackSound{-12.5f, true};
  // A track longer than one look at the clock copies over several calls.
  FillTracks(*live, {{7, ProjectMirror::kEventsPerLook * 2 + 5}}, 4);
  ProjectMirror mirror;
  EXPECT_GE(CopyInSlices(mirror, *live), 3);
  EXPECT_EQ(SerializeProject(mirror.Copy()), SerializeProject(*live));

  // Changed between two autosaves: tracks shrunk, grown, emptied; a slot emptied; a text longer.
  FillTracks(*live, {{0, 2}, {3, 900}, {7, 10}}, 5);
  ASSERT_TRUE(ResetTrack(live->tracks[255], 0));
  live->files[4].kind = FileEmpty;
  live->files[9].text = u"もっと長いテロップの文字列";
  live->templates[2] = {};
  live->SetFrameRate(25);
  live->trackSound[7] = TrackSound{};
  live->trackSound[3].volumeDb = 6.0f;
  CopyInSlices(mirror, *live);
  EXPECT_EQ(SerializeProject(mirror.Copy()), SerializeProject(*live));
}

TEST(AutosaveDelayTest, WaitsAfterTheLastChangeButNotForeverWhileEditsGoOn) {
  EXPECT_EQ(AutosaveDelayMs(50'000, std::nullopt, 30), 30'000);
  EXPECT_EQ(AutosaveDelayMs(50'000, 50'000, 30), 30'000);
  EXPECT_EQ(AutosaveDelayMs(50'000 + 70'000, 50'000, 30), 20'000);  // 90 s after the first
  EXPECT_EQ(AutosaveDelayMs(50'000 + 95'000, 50'000, 30), 0);
  EXPECT_EQ(AutosaveDelayMs(50'000, 50'000, 1), 1'000);
}

// --- In the main window ------------------------------------------------------------------------

class RecoveryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    savedState_ = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir_.filePath("state").toUtf8());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p);
      if (p.kind == PromptKind::SaveFile) p.answerText = nextPath_;
      if (answers_.empty()) return PromptAnswer::Ok;
      const PromptAnswer a = answers_.front();
      answers_.erase(answers_.begin());
      return a;
    });
    Start();
  }
  void TearDown() override {
    session_.reset();
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
    if (savedState_.isNull()) {
      qunsetenv("XDG_STATE_HOME");
    } else {
      qputenv("XDG_STATE_HOME", savedState_);
    }
  }
  // The program starts (the prompts seen are those of this run).
  void Start(int seconds = 1) {
    prompts_.clear();
    document_ = std::make_unique<CKeldaDoc>();
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->show();
    session_ = std::make_unique<RecoverySession>(*document_, *frame_, seconds);
  }
  // The program dies: nothing is cleaned up.
  void Crash() {
    session_.reset();
    frame_.reset();
    document_.reset();
  }
  fs::path Folder() const { return session_->Folder(); }
  void EditBackground(uint32_t colour) {
    document_->Edit({QStringLiteral("背景色"), EditScope::Header()}, nullptr, [&] {
      document_->Project().backgroundColour = colour;
      return true;
    });
  }
  // Runs the event loop until the autosave in flight ends; its result.
  bool WaitForAutosave(int timeoutMs = 60000) {
    QSignalSpy spy(&session_->Saver(), &Autosaver::finished);
    if (!spy.wait(timeoutMs)) return false;
    return spy.front().front().toBool();
  }
  std::vector<fs::path> FilesIn(const fs::path& folder, const std::string& suffix) const {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(folder, error)) {
      const std::string name = e.path().filename().string();
      if (name.size() >= suffix.size() && name.ends_with(suffix)) found.push_back(e.path());
    }
    return found;
  }
  QString SaveAs(const char* name) {
    nextPath_ = dir_.filePath(name);
    EXPECT_TRUE(frame_->SaveProject(true));
    return nextPath_;
  }

  QTemporaryDir dir_;
  QByteArray savedState_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<RecoverySession> session_;
  std::vector<Prompt> prompts_;
  std::vector<PromptAnswer> answers_;
  QString nextPath_;
};

TEST_F(RecoveryWindowTest, AnAutosaveWritesAfterTheDelayAndTouchesNothingElse) {
  const QString path = SaveAs("film.vpj");
  const std::string savedBytes = ReadBytes(path.toStdString());
  const PathBuffer folder = document_->Project().projectFolder;
  EditBackground(0x00FF00);
  const QString title = frame_->windowTitle();
  const uint64_t changes = document_->ChangeCount();
  QElapsedTimer clock;
  clock.start();
  const int64_t before = QDateTime::currentMSecsSinceEpoch();
  ASSERT_TRUE(WaitForAutosave());
  EXPECT_GE(clock.elapsed(), 900) << "written before the delay";

  const std::vector<fs::path> files = FilesIn(Folder(), ".recovery");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0], session_->Saver().Slot().DataPath());
  RecoveryContent content;
  std::string why;
  ASSERT_TRUE(ReadRecoveryFile(files[0], content, &why)) << why;
  EXPECT_EQ(content.originalPath, path.toStdString());
  EXPECT_EQ(content.projectBytes, SerializeProject(document_->Project()));
  EXPECT_GE(content.savedAtMs, before);
  EXPECT_LE(content.savedAtMs, QDateTime::currentMSecsSinceEpoch());
  // The project file, the flag, the title and the folder are as they were.
  EXPECT_EQ(ReadBytes(path.toStdString()), savedBytes);
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(frame_->windowTitle(), title);
  EXPECT_EQ(document_->Project().projectFolder, folder);
  EXPECT_EQ(document_->PathName(), path);
  // The composition worker was never stopped (that would have counted as a change).
  EXPECT_EQ(document_->ChangeCount(), changes);
  EXPECT_GE(session_->Saver().LastTiming().slices, 1);
}

TEST_F(RecoveryWindowTest, SaveDiscardUndoAndCleanExitRemoveTheFileACrashLeavesIt) {
  auto recoveryFiles = [&] { return FilesIn(Folder(), ".recovery").size(); };
  EditBackground(1);
  ASSERT_TRUE(WaitForAutosave());
  ASSERT_EQ(recoveryFiles(), 1u);
  SaveAs("saved.vpj");
  EXPECT_EQ(recoveryFiles(), 0u) << "a save";

  EditBackground(2);
  ASSERT_TRUE(WaitForAutosave());
  ASSERT_EQ(recoveryFiles(), 1u);
  answers_ = {PromptAnswer::No};  // 変更を保存しますか? いいえ
  EXPECT_TRUE(frame_->SaveModified());
  EXPECT_EQ(recoveryFiles(), 0u) << "a discard";

  // Back at the saved state by the time the autosave comes: nothing to recover.
  EditBackground(3);
  ASSERT_TRUE(WaitForAutosave());
  ASSERT_EQ(recoveryFiles(), 1u);
  document_->SetModifiedFlag(false);
  session_->Saver().AutosaveNow();
  EXPECT_EQ(recoveryFiles(), 0u) << "unmodified at autosave time";

  EditBackground(4);
  ASSERT_TRUE(WaitForAutosave());
  const fs::path lock = session_->Saver().Slot().LockPath();
  session_->EndCleanly();
  EXPECT_EQ(recoveryFiles(), 0u) << "a clean exit";
  EXPECT_FALSE(fs::exists(lock));

  Crash();
  Start();
  EditBackground(5);
  ASSERT_TRUE(WaitForAutosave());
  Crash();
  Start();
  EXPECT_EQ(FilesIn(Folder(), ".recovery").size(), 1u) << "a crash";
  // The new program holds a lock of its own from the start; the crashed one's lock is free.
  EXPECT_EQ(FilesIn(Folder(), ".lock").size(), 2u);
  EXPECT_EQ(ClaimAbandonedSlots(Folder()).size(), 1u);
}

TEST_F(RecoveryWindowTest, YesBringsTheProjectBackModifiedAtItsPathAndAdoptsTheFile) {
  // A picture stored relative to the project's folder ("\\pic.bmp"), which is not the current
  // folder: it opens only when the recovered project is bound to its own folder.
  ASSERT_TRUE(QDir(dir_.path()).mkpath("films"));
  testing::BmpRecipe bmp;
  bmp.width = 3;
  bmp.height = 2;
  bmp.rows = {{0xFF0000, 0x00FF00, 0x0000FF}, {0x000000, 0xFFFFFF, 0x808080}};
  testing::WriteFile(dir_.filePath("films/pic.bmp").toStdString(), testing::BuildBmp(bmp));
  document_->Project().files[0].kind = FileStillImage;
  ASSERT_TRUE(SetPath(document_->Project().files[0].path, u"\\pic.bmp"));
  const QString path = SaveAs("films/story.vpj");
  EditBackground(0xABCDEF);
  document_->Project().outputWidth = 1234;  // in the same change, as far as the file goes
  ASSERT_TRUE(WaitForAutosave());
  const fs::path file = session_->Saver().Slot().DataPath();
  Crash();

  Start();
  answers_ = {PromptAnswer::Yes};
  session_->OfferAbandoned();
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, PromptKind::YesNoCancel);
  EXPECT_EQ(prompts_[0].caption, "Tavrona");
  EXPECT_TRUE(prompts_[0].text.startsWith("保存されていない変更が見つかりました。\nstory.vpj ("))
      << prompts_[0].text.toStdString();
  EXPECT_TRUE(prompts_[0].text.endsWith(")\n復元しますか?")) << prompts_[0].text.toStdString();
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(document_->PathName(), path);
  EXPECT_EQ(document_->Title(), "story.vpj");
  EXPECT_EQ(ToQString(PathView(document_->Project().projectFolder)),
            QFileInfo(path).absolutePath());
  EXPECT_EQ(document_->Project().backgroundColour, 0xABCDEFu);
  EXPECT_EQ(document_->Project().outputWidth, 1234);
  EXPECT_EQ(document_->Project().files[0].kind, FileStillImage);
  EXPECT_EQ(document_->Project().files[0].picture.Width(), 3);
  EXPECT_EQ(document_->Project().files[0].picture.Height(), 2);
  // The file is this program's now: it stays through a crash, and a save removes it.
  EXPECT_EQ(session_->Saver().Slot().DataPath(), file);
  EXPECT_TRUE(ClaimAbandonedSlots(Folder()).empty());
  EXPECT_TRUE(fs::exists(file));
  ASSERT_TRUE(frame_->SaveProject(false));
  EXPECT_FALSE(fs::exists(file));
  auto reread = AllocateProjectData();
  StandardSourceOpener opener;
  class NoQuestions : public LoadQuestions {
    bool AskYesNo(const std::u16string&) override { return false; }
  } questions;
  ASSERT_TRUE(ReadProjectFile(ToU16(path), *reread, opener, questions));
  EXPECT_EQ(reread->backgroundColour, 0xABCDEFu);
}

TEST_F(RecoveryWindowTest, NoRemovesCancelKeepsAndASecondYesAsksTheSaveQuestionFirst) {
  // Three abandoned files, of three crashed programs.
  for (uint32_t colour : {1u, 2u, 3u}) {
    EditBackground(colour);
    ASSERT_TRUE(WaitForAutosave());
    Crash();
    Start();
  }
  ASSERT_EQ(FilesIn(Folder(), ".recovery").size(), 3u);
  answers_ = {PromptAnswer::No, PromptAnswer::Cancel, PromptAnswer::Yes};
  session_->OfferAbandoned();
  ASSERT_EQ(prompts_.size(), 3u);
  EXPECT_EQ(FilesIn(Folder(), ".recovery").size(), 2u);  // the kept one and the adopted one
  EXPECT_TRUE(document_->Modified());
  EXPECT_TRUE(prompts_[0].text.contains("\n無題 (")) << prompts_[0].text.toStdString();

  // The next start: the kept one again; yes to it asks about the adopted project first.
  Crash();
  Start();
  prompts_.clear();
  answers_ = {PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::No};
  session_->OfferAbandoned();
  ASSERT_EQ(prompts_.size(), 3u);
  EXPECT_TRUE(prompts_[0].text.startsWith("保存されていない変更が見つかりました。"));
  EXPECT_TRUE(prompts_[1].text.startsWith("保存されていない変更が見つかりました。"));
  EXPECT_TRUE(prompts_[2].text.contains("への変更を保存しますか?"))
      << prompts_[2].text.toStdString();
  // The first one recovered was discarded by that No: only the second remains, now ours.
  const std::vector<fs::path> left = FilesIn(Folder(), ".recovery");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0], session_->Saver().Slot().DataPath());
}

TEST_F(RecoveryWindowTest, BrokenFilesAreReportedAndMovedAsideOutdatedOnesAreNotOffered) {
  const QString path = SaveAs("old.vpj");
  EditBackground(7);
  ASSERT_TRUE(WaitForAutosave());
  Crash();
  // The project was saved again later, by another program: the autosave is older.
  Start();
  {
    auto p = AllocateProjectData();
    ApplyNewProjectReset(*p);
    ASSERT_TRUE(WriteProjectFile(ToU16(path), *p));
    const auto later = fs::file_time_type::clock::now() + std::chrono::seconds(5);
    fs::last_write_time(path.toStdString(), later);
  }
  // And one cut short, and one damaged.
  for (const char* damage : {"cut", "flip"}) {
    Crash();
    Start();
    EditBackground(8);
    ASSERT_TRUE(WaitForAutosave());
    const fs::path file = session_->Saver().Slot().DataPath();
    std::string bytes = ReadBytes(file);
    if (std::string(damage) == "cut") {
      bytes.resize(bytes.size() - 10);
    } else {
      bytes[bytes.size() / 2] ^= 1;
    }
    WriteBytes(file, bytes);
  }
  Crash();
  Start();
  session_->OfferAbandoned();
  ASSERT_EQ(prompts_.size(), 2u) << "the outdated file was offered";
  for (const Prompt& p : prompts_) {
    EXPECT_EQ(p.kind, PromptKind::Error);
    EXPECT_TRUE(p.text.contains(".recovery: the file")) << p.text.toStdString();
    EXPECT_TRUE(p.text.contains(".recovery.broken")) << p.text.toStdString();
  }
  EXPECT_TRUE(prompts_[0].text.contains("truncated") || prompts_[1].text.contains("truncated"));
  EXPECT_TRUE(prompts_[0].text.contains("damaged") || prompts_[1].text.contains("damaged"));
  EXPECT_EQ(FilesIn(Folder(), ".recovery").size(), 0u);
  EXPECT_EQ(FilesIn(Folder(), ".broken").size(), 2u);
  // Only the running program's own lock is left.
  const std::vector<fs::path> locks = FilesIn(Folder(), ".lock");
  ASSERT_EQ(locks.size(), 1u);
  EXPECT_EQ(locks[0], session_->Saver().Slot().LockPath());
  EXPECT_FALSE(document_->Modified());
}

TEST_F(RecoveryWindowTest, AnUnwritableFolderGivesOneNoteAndEditingGoesOn) {
  // The state folder is a file: the recovery folder can never be made.
  WriteBytes(dir_.filePath("blocked").toStdString(), "not a folder");
  qputenv("XDG_STATE_HOME", dir_.filePath("blocked").toUtf8());
  Crash();
  Start();
  QStringList notes;
  QObject::connect(frame_->statusBar(), &QStatusBar::messageChanged, [&](const QString& text) {
    // Status tips of whatever the pointer rests on come here too.
    if (text.startsWith("自動保存")) notes << text;
  });
  for (uint32_t colour : {1u, 2u, 3u}) {
    EditBackground(colour);
    EXPECT_FALSE(WaitForAutosave());
    EXPECT_EQ(document_->Project().backgroundColour, colour);
  }
  ASSERT_EQ(notes.size(), 1) << notes.join(" | ").toStdString();
  EXPECT_TRUE(notes[0].startsWith("自動保存できませんでした: ")) << notes[0].toStdString();
  EXPECT_TRUE(notes[0].contains("blocked")) << notes[0].toStdString();
  EXPECT_TRUE(document_->Modified());
}

TEST_F(RecoveryWindowTest, AFullDiskKeepsTheLastGoodFileAndSaysSoOnce) {
  EditBackground(1);
  ASSERT_TRUE(WaitForAutosave());
  const fs::path file = session_->Saver().Slot().DataPath();
  const std::string good = ReadBytes(file);
  session_->Saver().SetWriteCallForTests([](int, const void*, size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  });
  QStringList notes;
  QObject::connect(frame_->statusBar(), &QStatusBar::messageChanged, [&](const QString& text) {
    // Status tips of whatever the pointer rests on come here too.
    if (text.startsWith("自動保存")) notes << text;
  });
  EditBackground(2);
  EXPECT_FALSE(WaitForAutosave());
  EditBackground(3);
  EXPECT_FALSE(WaitForAutosave());
  EXPECT_EQ(ReadBytes(file), good);
  ASSERT_EQ(notes.size(), 1);
  EXPECT_TRUE(notes[0].contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
      << notes[0].toStdString();
  // The disk has room again: the next autosave writes.
  session_->Saver().SetWriteCallForTests({});
  EditBackground(4);
  EXPECT_TRUE(WaitForAutosave());
  RecoveryContent content;
  ASSERT_TRUE(ReadRecoveryFile(file, content, nullptr));
  EXPECT_EQ(content.projectBytes, SerializeProject(document_->Project()));
}

TEST_F(RecoveryWindowTest, ACopyStartsOverWhenTheProjectChangesBetweenSlices) {
  // Enough events that the copy takes several slices.
  FillTracks(document_->Project(), {{0, 400'000}, {1, 400'000}}, 9);
  EditBackground(1);
  QSignalSpy spy(&session_->Saver(), &Autosaver::finished);
  session_->Saver().AutosaveNow();
  ASSERT_FALSE(session_->Saver().Idle());
  // A selection change between two slices, in events already copied: the count moves, this
  // copy is dropped and a new one taken.
  document_->QuiesceWorker();
  document_->Project().tracks[0].events[0].flags |= EventSelected;
  ASSERT_TRUE(spy.wait(60000));  // returns at the signal; the bound is for sanitizer builds
  EXPECT_GT(session_->Saver().LastTiming().slices, 1);
  RecoveryContent content;
  ASSERT_TRUE(ReadRecoveryFile(session_->Saver().Slot().DataPath(), content, nullptr));
  EXPECT_EQ(content.projectBytes, SerializeProject(document_->Project()));
}

TEST(RecoveryOfferTest, OutdatedOnlyWhenTheProjectFileIsNewerThanTheAutosave) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("p.vpj").toStdString();
  WriteBytes(path, "TPRJ");
  const int64_t mtime = *FileModifiedMs(path);
  EXPECT_TRUE(OutdatedBySave({mtime - 1000, path, ""}));
  EXPECT_FALSE(OutdatedBySave({mtime + 1000, path, ""}));
  EXPECT_FALSE(OutdatedBySave({0, "", ""}));                                      // never saved
  EXPECT_FALSE(OutdatedBySave({0, dir.filePath("gone.vpj").toStdString(), ""}));  // removed
}

}  // namespace
}  // namespace tavrona
