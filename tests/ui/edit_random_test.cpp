// Long seeded sequences of every kind of edit, made through the document's edit path with the
// functions the panes and dialogs call, then undone to the start and redone to the end. Each
// state between steps is checked on the way back and on the way forward.
//
// Selecting is no undo step, and the edits below select between steps as the user would; so the
// states compared are the project's bytes with the selected flags masked.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <random>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "masked_project_bytes.h"
#include "model/project_file.h"
#include "model/track_data.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/dialogs/project_dialog.h"
#include "ui/document.h"
#include "ui/panes/event_view_logic.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/track_view_logic.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

using testing::MaskedProjectBytes;

std::u16string Number(uint32_t n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

class RandomEdits {
 public:
  RandomEdits(CKeldaDoc& doc, uint32_t seed, std::vector<std::u16string> images)
      : doc_(doc), random_(seed), images_(std::move(images)) {}

  // Makes one random edit through the document; returns whether the project changed.
  void EditOnce() {
    switch (Pick(13)) {
      case 0: return InsertEvents();
      case 1: return MoveSelection();
      case 2: return Nudge();
      case 3: return Paste();
      case 4: return DeleteSelection();
      case 5: return EventProperties();
      case 6: return TemplatePaste();
      case 7: return TemplateDelete();
      case 8: return DropFiles();
      case 9: return DeleteFiles();
      case 10: return DuplicateFiles();
      case 11: return FileProperties();
      default: return ProjectSettings();
    }
  }

 private:
  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }
  ProjectData& P() { return doc_.Project(); }

  // Selecting, as the panes do: not an edit.
  uint32_t SelectSome() {
    const uint32_t track = Pick(4);
    doc_.QuiesceWorker();
    TrackData& t = P().tracks[track];
    for (uint32_t i = 0; i < t.count; ++i) {
      t.events[i].flags = Pick(3) == 0 ? (t.events[i].flags | EventSelected)
                                       : (t.events[i].flags & ~uint32_t{EventSelected});
    }
    doc_.BreakStepMerging();
    return track;
  }

  void EditTrack(const char* label, uint32_t track, const std::function<void(TrackData&)>& apply,
                 uint64_t mergeKey = 0) {
    const EditStep step{QString::fromUtf8(label), EditScope::Track(track).WithHeader(), mergeKey};
    doc_.Edit(step, nullptr, [&] {
      apply(P().tracks[track]);
      AutoExtendMovie(P(), true, LastStart(P().tracks[track]));
      return true;
    });
  }

  void InsertEvents() {
    const uint32_t track = Pick(4);
    EventRecord e{};
    e.flags = EventInUse | (Pick(2) ? EventSelected : 0);
    e.start = Pick(400);
    e.fileId = static_cast<int32_t>(Pick(8));
    e.red = static_cast<uint8_t>(Pick(256));
    e.scale = 1.0f;
    EditTrack("イベントの挿入", track, [&](TrackData& t) { InsertSorted(t, 1, &e); });
  }
  void MoveSelection() {
    const uint32_t track = SelectSome();
    const uint32_t delta = Pick(2) ? Pick(50) : static_cast<uint32_t>(-static_cast<int32_t>(Pick(50)));
    EditTrack("イベントの移動", track, [&](TrackData& t) { MoveSelected(t, delta); });
  }
  void Nudge() {
    // Consecutive moves of one selection: merged into one step.
    const uint32_t track = SelectSome();
    const int times = 1 + static_cast<int>(Pick(4));
    for (int i = 0; i < times; ++i) {
      EditTrack("イベントの移動", track, [&](TrackData& t) { MoveSelected(t, 1); },
                (uint64_t{1} << 32) | track);
    }
  }
  void Paste() {
    const uint32_t from = SelectSome();
    std::vector<EventRecord> records = EventsForClipboard(P().tracks[from]);
    if (records.empty()) return;
    const uint32_t to = Pick(4);
    const uint32_t at = Pick(300);
    EditTrack("貼り付け", to, [&](TrackData& t) { PasteEvents(t, records, at); });
  }
  void DeleteSelection() {
    const uint32_t track = SelectSome();
    EditTrack("削除", track, [&](TrackData& t) { RemoveFlagged(t, EventSelected); });
  }
  void EventProperties() {
    const uint32_t track = SelectSome();
    const std::vector<uint32_t> selected = SelectedIndices(P().tracks[track]);
    if (selected.empty()) return;
    EditTrack("イベントのプロパティ", track, [&](TrackData& t) {
      EventDialogValues values = FillEventDialog(P(), t.events[selected[0]], true);
      values.start = Number(Pick(500));
      values.opacity = Number(1 + Pick(256));
      values.blendMode = static_cast<int>(Pick(kBlendModeCount));
      values.rotation = Number(Pick(360));
      for (uint32_t i : selected) ApplyEventDialog(P(), values, t.events[i]);
      Sort(t);
    });
  }
  void TemplatePaste() {
    std::vector<EventRecord> records;
    for (uint32_t i = 0, n = 1 + Pick(3); i < n; ++i) {
      EventRecord e{};
      e.flags = EventInUse;
      e.fileId = static_cast<int32_t>(Pick(8));
      e.green = static_cast<uint8_t>(Pick(256));
      records.push_back(e);
    }
    doc_.Edit({QStringLiteral("貼り付け"), EditScope::Templates()}, nullptr, [&] {
      return PasteTemplates(P().templates, static_cast<int>(Pick(kTemplateCount)), records) > 0;
    });
  }
  void TemplateDelete() {
    doc_.QuiesceWorker();
    for (EventRecord& e : P().templates) {
      if (Pick(4) == 0) e.flags |= EventSelected;
    }
    doc_.Edit({QStringLiteral("削除"), EditScope::Templates()}, nullptr, [&] {
      DeleteSelectedTemplates(P().templates);
      return true;
    });
  }
  void SelectFiles() {
    files_.ClearAll();
    for (int32_t id : UsedFileSlots(P())) files_.Set(id, Pick(2) == 0);
    files_.current = static_cast<int32_t>(Pick(16));
  }
  void DropFiles() {
    std::vector<std::u16string> paths;
    for (uint32_t i = 0, n = 1 + Pick(3); i < n; ++i) paths.push_back(images_[Pick(images_.size())]);
    // Now and then a file that does not open: the files before it are the step.
    if (Pick(4) == 0) paths.push_back(u"/no/such/picture.bmp");
    files_.current = static_cast<int32_t>(Pick(16));
    doc_.Edit({QStringLiteral("ファイルの追加"), EditScope::AllFiles()}, nullptr, [&] {
      LoadDroppedFiles(P(), files_, paths);
      return true;
    });
  }
  void DeleteFiles() {
    SelectFiles();
    doc_.Edit({QStringLiteral("ファイルの削除"), EditScope::AllFiles()}, nullptr, [&] {
      DeleteSelectedFiles(P(), files_);
      return true;
    });
  }
  void DuplicateFiles() {
    SelectFiles();
    doc_.Edit({QStringLiteral("ファイルの複製"), EditScope::AllFiles()}, nullptr, [&] {
      return DuplicateSelectedFiles(P(), files_).changed > 0;
    });
  }
  void FileProperties() {
    const int32_t id = static_cast<int32_t>(Pick(16));
    doc_.Edit({QStringLiteral("ファイルのプロパティ"), EditScope::AllFiles()}, nullptr, [&] {
      FileDialogValues values = FillFileDialog(P(), id);
      switch (Pick(3)) {
        case 0:  // a change of ID
          values.id = Number(Pick(16));
          break;
        case 1:  // a text
          values.textMode = true;
          values.text = u"字幕 " + Number(Pick(100));
          values.size = u"12";
          values.red = u"255";
          values.green = Number(Pick(256));
          values.blue = u"0";
          break;
        default:  // a picture with a transparent colour
          values.textMode = false;
          values.path = images_[Pick(images_.size())];
          values.transparent = true;
          values.red = Number(Pick(256));
          values.green = u"0";
          values.blue = u"0";
          break;
      }
      if (ValidateFileDialog(values)) return false;
      values.font = BuildDialogFont(values.font, values);
      return ApplyFileDialog(P(), id, values).status != FileApplyStatus::IdInUse;
    });
  }
  void ProjectSettings() {
    doc_.Edit({QStringLiteral("プロジェクトの設定"), EditScope::Header()}, nullptr, [&] {
      ProjectDialogValues values;
      values.basePath = Pick(2) ? u"" : u"/tmp";
      values.width = Number(16 + Pick(640));
      values.height = Number(16 + Pick(480));
      values.frameRate = Pick(2) ? u"30" : u"29.97";
      values.movieLength = Number(1 + Pick(1000));
      values.red = Number(Pick(256));
      values.green = u"0";
      values.blue = u"0";
      values.drawingMethod = static_cast<int>(Pick(5));
      ApplyProjectDialog(P(), values);
      return true;
    });
  }

  CKeldaDoc& doc_;
  std::mt19937 random_;
  std::vector<std::u16string> images_;
  FileSelection files_;
};

class RandomEditTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    // A file that no longer opens is said in a message box; none is expected here, but a box
    // must never wait for an answer.
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p.text);
      return PromptAnswer::Ok;
    });
    for (int i = 0; i < 3; ++i) {
      testing::BmpRecipe recipe;
      recipe.width = 2 + i;
      recipe.height = 2;
      recipe.rows = {std::vector<uint32_t>(recipe.width, 0x102030u * (i + 1)),
                     std::vector<uint32_t>(recipe.width, 0xFF00FFu)};
      const QString path = dir_.filePath(QStringLiteral("p%1.bmp").arg(i));
      testing::WriteFile(path.toStdString(), testing::BuildBmp(recipe));
      images_.push_back(path.toStdU16String());
    }
  }
  void TearDown() override { SetPromptHookForTests(nullptr); }

  QTemporaryDir dir_;
  std::vector<std::u16string> images_;
  std::vector<QString> prompts_;
};

TEST_P(RandomEditTest, UndoingEverythingBringsTheStartBackAndRedoingItTheEnd) {
  CKeldaDoc doc;
  RandomEdits edits(doc, GetParam(), images_);
  // The states between steps: states[k] is the project after k steps.
  std::vector<std::string> states{MaskedProjectBytes(doc.Project())};
  for (int i = 0; i < 400; ++i) {
    edits.EditOnce();
    const size_t steps = doc.History().UndoCount();
    ASSERT_LE(steps, states.size());
    states.resize(steps);  // a merged step replaces the state it led to
    states.push_back(MaskedProjectBytes(doc.Project()));
    ASSERT_EQ(states.size(), steps + 1);
  }
  const size_t steps = states.size() - 1;
  ASSERT_GT(steps, 200u) << "too few edits changed the project";
  for (size_t k = steps; k > 0; --k) {
    ASSERT_TRUE(doc.Undo());
    ASSERT_EQ(MaskedProjectBytes(doc.Project()), states[k - 1]) << "after undoing step " << k;
  }
  EXPECT_FALSE(doc.Undo());
  EXPECT_FALSE(doc.Modified());
  for (size_t k = 1; k <= steps; ++k) {
    ASSERT_TRUE(doc.Redo());
    ASSERT_EQ(MaskedProjectBytes(doc.Project()), states[k]) << "after redoing step " << k;
  }
  EXPECT_FALSE(doc.Redo());
  EXPECT_TRUE(prompts_.empty());
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomEditTest, ::testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace tavrona
