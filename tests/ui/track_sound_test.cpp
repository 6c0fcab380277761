// Track volume and mute in the desktop program: the dialog (its copy, its refusals), the
// "音声..." item of a track number's context menu driven by synthesized events, one undoable
// edit, the muted number drawn grey, the settings kept by save and open; and the file pane's
// word for a sound-only slot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <tuple>

#include "modal_answer.h"
#include "qt_printers.h"
#include "whole_window_test.h"
#include "sound_playback_support.h"
#include "sources/movie_file.h"
#include "ui/dialogs/field_checks.h"
#include "ui/dialogs/track_sound_dialog.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

class TrackSoundDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p.text);
      return PromptAnswer::Ok;
    });
  }
  void TearDown() override { SetPromptHookForTests(nullptr); }
  std::vector<QString> prompts_;
};

TEST_F(TrackSoundDialogTest, ShowsTheTrackAndItsSettingsAndAcceptsAnEditedCopy) {
  const TrackSound original{-6.5f, false};
  TrackSoundDialog dialog(5, original);
  EXPECT_EQ(dialog.windowTitle(), "トラック 005 の音声");
  EXPECT_EQ(dialog.volumeEdit()->text(), "-6.5");
  EXPECT_EQ(dialog.volumeSlider()->value(), -65);
  EXPECT_FALSE(dialog.muteBox()->isChecked());

  // The slider writes the field; typing moves the slider.
  dialog.volumeSlider()->setValue(-600);
  EXPECT_EQ(dialog.volumeEdit()->text(), "-60.0");
  dialog.volumeEdit()->selectAll();
  QTest::keyClicks(dialog.volumeEdit(), "3.24");
  EXPECT_EQ(dialog.volumeSlider()->value(), 32);
  QTest::mouseClick(dialog.muteBox(), Qt::LeftButton);
  EXPECT_EQ(dialog.Sound(), original);  // nothing taken before OK
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(prompts_.empty());
  // One decimal, as shown.
  EXPECT_EQ(dialog.Sound(), (TrackSound{3.2f, true}));
}

TEST_F(TrackSoundDialogTest, RefusesVolumesThatAreNoNumberOrOutOfRange) {
  const TrackSound original{0.0f, true};
  TrackSoundDialog dialog(0, original);
  const QString range = QString::fromStdU16String(RealRangeMessage(-60, 12));
  for (const char* typed : {"12.1", "-60.01", "-100", "loud", ""}) {
    prompts_.clear();
    dialog.volumeEdit()->setText(typed);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << typed;
    ASSERT_EQ(prompts_.size(), 1u) << typed;
    if (QString(typed).startsWith('-') || QString(typed).startsWith('1')) {
      EXPECT_EQ(prompts_.back(), range) << typed;
    }
    EXPECT_EQ(dialog.Sound(), original) << typed;
  }
  // The ends of the range are good.
  for (const auto& [typed, volume] : {std::pair{"12", 12.0f}, std::pair{"-60.0", -60.0f}}) {
    prompts_.clear();
    dialog.volumeEdit()->setText(typed);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << typed;
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(dialog.Sound().volumeDb, volume);
    dialog.setResult(QDialog::Rejected);
  }
}

TEST(VolumeField, ReadsOneDecimalAndShowsOne) {
  EXPECT_EQ(ReadVolumeField("-6.25").volumeDb, std::optional<float>(-6.3f));
  EXPECT_EQ(ReadVolumeField(" 0").volumeDb, std::optional<float>(0.0f));
  EXPECT_FALSE(ReadVolumeField("12.04").volumeDb);  // out of range before rounding
  EXPECT_EQ(VolumeFieldText(-0.04f), "-0.0");
  EXPECT_EQ(VolumeFieldText(12.0f), "12.0");
  EXPECT_EQ(VolumeSliderTenths(-70.0f), -600);  // clamped into range
  EXPECT_EQ(VolumeOfSliderTenths(-65), -6.5f);
}

class TrackSoundUiTest : public testing::WholeWindowTest {
 protected:
  void PrepareDocument(CKeldaDoc& document) override { document.Project().movieLength = 300; }

  ProjectData& Project() { return document_->Project(); }
  CTrackView* Timeline() { return static_cast<CTrackView*>(frame_->Pane(PaneTimeline)); }
  // The viewport point of document point (x, y) of the timeline.
  QPoint ViewportPoint(int x, int y) {
    return QPoint(x - Timeline()->horizontalScrollBar()->value(),
                  y - Timeline()->verticalScrollBar()->value());
  }
  // Right-clicks at viewport point p and chooses the menu item whose data is `data`, when the
  // menu holds one; returns the texts of the menu's items.
  QStringList RightClickChoosing(QPoint p, int data) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      QAction* chosen = nullptr;
      for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        texts << a->text();
        if (a->data().toInt() == data && chosen == nullptr) chosen = a;
      }
      if (chosen == nullptr) {
        menu->close();
        return;
      }
      menu->setActiveAction(chosen);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(Timeline()->viewport(), Qt::RightButton, {}, p);
    return texts;
  }
};

TEST_F(TrackSoundUiTest, TheTrackNumbersMenuSetsVolumeAndMuteAsOneUndoableEdit) {
  const int y3 = kRowsTop + 3 * kRowHeight + 8;
  // Away from the number the menu is the pane's usual one.
  const QStringList usual =
      RightClickChoosing(ViewportPoint(kTrackNumberWidth + 100, y3), CTrackView::kTrackSoundAction);
  ASSERT_FALSE(usual.isEmpty());
  EXPECT_EQ(usual.front(), "プロパティ(&S)...");
  EXPECT_FALSE(document_->Modified());

  // On track 3's number: "音声(&U)..." first; the dialog is answered as a user would.
  testing::AnswerNextModal<TrackSoundDialog>(frame_.get(), [](TrackSoundDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "トラック 003 の音声");
    dialog.volumeEdit()->setText("-12.5");
    dialog.muteBox()->setChecked(true);
  });
  const QStringList onNumber =
      RightClickChoosing(ViewportPoint(4, y3), CTrackView::kTrackSoundAction);
  ASSERT_FALSE(onNumber.isEmpty());
  EXPECT_EQ(onNumber.front(), "音声(&U)...");
  EXPECT_EQ(onNumber.mid(1), usual);
  EXPECT_EQ(Project().trackSound[3], (TrackSound{-12.5f, true}));
  EXPECT_EQ(Project().trackSound[2], TrackSound{});
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(document_->LastEdit().label, "トラックの音声");
  EXPECT_TRUE(prompts_.empty());

  // The muted track's number is drawn grey, the others black.
  std::vector<TrackDrawOp> ops;
  TrackViewCells cells;
  BuildTrackViewPaint(Project(), Timeline()->State(), {0, 0, 800, 600}, ops, cells);
  int numbers = 0;
  const TrackDrawOp* box = nullptr;  // the last fill before track 3's number
  for (const TrackDrawOp& op : ops) {
    if (op.kind == TrackDrawOp::Fill) box = &op;
    if (op.kind != TrackDrawOp::Text || op.left != 0 || op.top < kRowsTop) continue;
    ++numbers;
    EXPECT_EQ(op.colour, op.text == "003" ? kGrey : kBlack) << op.text.toStdString();
    if (op.text == "003") {
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(std::make_tuple(box->left, box->top, box->right, box->colour),
                std::make_tuple(0, op.top + 1, kTrackNumberWidth, kPaleGrey));
    }
  }
  EXPECT_GT(numbers, 4);

  // Undo brings the defaults back and clears the modified flag; redo the settings again.
  ASSERT_TRUE(document_->Undo());
  EXPECT_EQ(Project().trackSound[3], TrackSound{});
  EXPECT_FALSE(document_->Modified());
  ASSERT_TRUE(document_->Redo());
  EXPECT_EQ(Project().trackSound[3], (TrackSound{-12.5f, true}));
  EXPECT_TRUE(document_->Modified());

  // Cancel, or OK without a change, is no edit and no undo step.
  const uint64_t edits = document_->History().UndoCount();
  testing::AnswerNextModal<TrackSoundDialog>(
      frame_.get(), [](TrackSoundDialog& dialog) { dialog.volumeEdit()->setText("6"); }, false);
  Timeline()->EditTrackSound(3);
  testing::AnswerNextModal<TrackSoundDialog>(frame_.get(), [](TrackSoundDialog&) {});
  Timeline()->EditTrackSound(3);
  EXPECT_EQ(Project().trackSound[3], (TrackSound{-12.5f, true}));
  EXPECT_EQ(document_->History().UndoCount(), edits);
}

TEST_F(TrackSoundUiTest, SavedVolumeAndMuteComeBackWhenTheProjectIsOpened) {
  document_->Edit({QStringLiteral("トラックの音声"), EditScope::Header()}, nullptr, [&] {
    Project().trackSound[7] = {-3.5f, true};
    Project().trackSound[255] = {9.0f, false};
    return true;
  });
  const QString path = dir_.filePath("sound.vpj");
  ASSERT_TRUE(document_->OnSaveDocument(path));
  CKeldaDoc reopened;
  ASSERT_TRUE(reopened.OnOpenDocument(path));
  for (int t = 0; t < kTrackCount; ++t) {
    EXPECT_EQ(reopened.Project().trackSound[t], Project().trackSound[t]) << "track " << t;
  }
  EXPECT_EQ(reopened.Project().trackSound[7], (TrackSound{-3.5f, true}));
  EXPECT_TRUE(prompts_.empty());
}

TEST(FilePaneSoundKind, ASoundOnlyMovieSlotShowsSound) {
  FileEntry entry;
  entry.kind = FileMovie;
  SetPath(entry.path, u"beep.wav");
  EXPECT_FALSE(IsSoundOnly(entry));
  EXPECT_EQ(FileRowColumnTexts(entry, 4).kind, "動画");
  entry.sound = std::make_unique<testing::BeepSamples>(48000, 0, 100);
  EXPECT_TRUE(IsSoundOnly(entry));
  const FileRowColumns columns = FileRowColumnTexts(entry, 4);
  EXPECT_EQ(columns.kind, "音声");
  EXPECT_EQ(columns.name, "beep.wav");
  EXPECT_EQ(FileRowText(entry, 4), " ID:0004 音声      beep.wav");
  // A still picture never shows as sound, whatever it holds.
  entry.kind = FileStillImage;
  EXPECT_FALSE(IsSoundOnly(entry));
}

}  // namespace
}  // namespace tavrona
