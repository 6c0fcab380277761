#include "ui/panes/file_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "bmp_builder.h"
#include "modal_answer.h"
#include "model/project_data.h"
#include "qt_printers.h"
#include "sources/movie_file.h"
#include "sources/source_cache.h"
#include "sources/text_image.h"
#include "test_movies.h"
#include "ui/cursors.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/document.h"
#include "ui/panes/file_view_logic.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

// ---- The decisions, without widgets ----

class FileViewLogicTest : public ::testing::Test {
 protected:
  void SetUp() override { project_ = AllocateProjectData(); }
  void Use(int id, FileKind kind) { project_->files[static_cast<size_t>(id)].kind = kind; }
  std::unique_ptr<ProjectData> project_;
  FileSelection selection_;
};

TEST_F(FileViewLogicTest, RowTextsByKind) {
  FileEntry entry;
  entry.kind = FileMovie;
  ASSERT_TRUE(SetPath(entry.path, u"\\clip.avi"));
  EXPECT_EQ(FileRowText(entry, 3), QStringLiteral(" ID:0003 動画      \\clip.avi"));
  entry.kind = FileStillImage;
  EXPECT_EQ(FileRowText(entry, 1023), QStringLiteral(" ID:1023 画像      \\clip.avi"));
  entry.kind = FileText;
  entry.text = u"字幕";
  EXPECT_EQ(FileRowText(entry, 12), QStringLiteral(" ID:0012 テキスト  字幕"));
  entry.kind = 9;
  EXPECT_EQ(FileRowText(entry, 7), QStringLiteral(" ID:0007 不明"));
  entry.kind = FileEmpty;  // nothing to release
}

TEST_F(FileViewLogicTest, CellsCoverTheVisibleRowsAtMost64WithTheirColours) {
  for (int id = 0; id < 200; id += 2) Use(id, FileText);  // 100 used slots, rows 0..99
  selection_.Set(4, true);
  selection_.current = 6;
  std::vector<PaneCell> cells = FileCells(*project_, selection_, QRect(0, 0, 400, 50));
  ASSERT_EQ(cells.size(), 3u);  // rows 0, 1 and 2 meet y < 50
  EXPECT_EQ(cells[2].data, 4);
  EXPECT_EQ(cells[2].top, 40);
  EXPECT_EQ(cells[2].right, 1024);
  EXPECT_EQ(cells[2].colour1, 0xC0C0C0u);  // selected: grey, framed dark grey
  EXPECT_EQ(cells[2].colour2, 0x808080u);
  EXPECT_EQ(cells[0].colour1, 0xFFFFFFu);
  EXPECT_EQ(cells[0].colour2, 0xFFFFFFu);
  cells = FileCells(*project_, selection_, QRect(0, 30, 400, 40));
  EXPECT_EQ(cells.front().data, 2);
  EXPECT_EQ(cells[1].data, 4);
  EXPECT_EQ(cells[2].colour2, 0x0000FFu);  // the current file: red frame
  EXPECT_EQ(FileAtPoint(cells, QPoint(100, 45)), 4);
  EXPECT_EQ(FileAtPoint(cells, QPoint(100, 200)), -1);

  cells = FileCells(*project_, selection_, QRect(0, 0, 400, 5000));
  ASSERT_EQ(cells.size(), 64u);
  EXPECT_EQ(cells.back().data, 126);
  for (auto& cell : project_->files) cell.kind = FileEmpty;
}

TEST_F(FileViewLogicTest, UpAndDownMoveBetweenUsedSlotsAndStopAtTheEnds) {
  Use(3, FileStillImage);
  Use(10, FileStillImage);
  selection_.current = 3;
  selection_.Set(10, true);
  MoveCurrentFile(*project_, selection_, -1);  // nothing above: stays, selected
  EXPECT_EQ(selection_.current, 3);
  EXPECT_TRUE(selection_.IsSelected(3));
  EXPECT_EQ(selection_.Count(), 1);
  MoveCurrentFile(*project_, selection_, 1);
  EXPECT_EQ(selection_.current, 10);
  EXPECT_EQ(selection_.Count(), 1);
  MoveCurrentFile(*project_, selection_, 1);
  EXPECT_EQ(selection_.current, 10);
  for (auto& cell : project_->files) cell.kind = FileEmpty;
}

TEST_F(FileViewLogicTest, ClicksWithCtrlAndShift) {
  ClickFile(selection_, 5, false, false);
  ClickFile(selection_, 9, false, true);  // 6, 7, 8 toggled, then 9
  EXPECT_EQ(selection_.Count(), 5);
  ClickFile(selection_, 7, true, false);  // Ctrl toggles 7 off
  EXPECT_FALSE(selection_.IsSelected(7));
  EXPECT_EQ(selection_.current, 7);
  ClickFile(selection_, 4, false, true);  // 5 and 6 toggled off, 4 on
  EXPECT_TRUE(selection_.IsSelected(4));
  EXPECT_FALSE(selection_.IsSelected(5));
  EXPECT_FALSE(selection_.IsSelected(6));
  EXPECT_TRUE(selection_.IsSelected(8));
  ClickFile(selection_, 2, false, false);
  EXPECT_EQ(selection_.Count(), 1);
}

TEST_F(FileViewLogicTest, FreeSlotSearchWrapsFromTheCurrentFile) {
  for (int id = 1; id < kFileCount; ++id) Use(id, FileText);
  selection_.current = 1023;
  ASSERT_TRUE(TakeFreeFileSlot(*project_, selection_));
  EXPECT_EQ(selection_.current, 0);
  Use(0, FileText);
  EXPECT_FALSE(TakeFreeFileSlot(*project_, selection_));
  for (auto& cell : project_->files) cell.kind = FileEmpty;
}

// ---- The pane ----

std::filesystem::path PluginFolder() {
  return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "bin";
}

class FileViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppProfile().Load(folder_.Path() / "tavrona.INI");
    Process().plugins.Discover(PluginFolder());
    testing::BmpRecipe recipe;
    recipe.width = 4;
    recipe.height = 2;
    recipe.rows = {{0xFF0000, 0x00FF00, 0x0000FF, 0}, {0, 0xFFFFFF, 0x808080, 0x102030}};
    bmp_ = folder_.Path() / "four.bmp";
    testing::WriteFile(bmp_, testing::BuildBmp(recipe));
    png_ = folder_.Path() / "six.png";
    QImage image(6, 3, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(image.save(QString::fromStdString(png_.string()), "PNG"));
    neither_ = folder_.Path() / "notes.txt";
    std::ofstream(neither_) << "neither a picture nor a movie\n";
    movie_ = testing::TestMoviePath(testing::Ffv1Avi30());
    ASSERT_FALSE(movie_.empty());

    document_ = std::make_unique<CKeldaDoc>();
    view_ = std::make_unique<CFileView>(*document_);
    // As the main window connects its panes: every pane but the sender refreshes.
    QObject::connect(document_.get(), &CKeldaDoc::viewsUpdated, view_.get(),
                     [this](QObject* sender) {
                       if (sender != view_.get()) view_->OnUpdate(sender);
                     });
    view_->resize(400, 300);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    SetPromptHookForTests([this](Prompt& prompt) {
      prompts_.push_back(prompt.text);
      return PromptAnswer::Ok;
    });
  }
  void TearDown() override {
    SetPromptHookForTests(nullptr);
    view_.reset();
    document_.reset();
    Process().plugins.Release();
  }

  ProjectData& Project() { return document_->Project(); }
  FileEntry& Slot(int id) { return Project().files[static_cast<size_t>(id)]; }
  static QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

  // A drop of files from a file manager onto the pane.
  void Drop(const std::vector<std::filesystem::path>& files) {
    QList<QUrl> urls;
    for (const auto& f : files) urls.append(QUrl::fromLocalFile(Path(f)));
    QMimeData data;
    data.setUrls(urls);
    ASSERT_TRUE(data.hasFormat("text/uri-list"));
    const QPointF at(50, 50);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view_->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view_->viewport(), &drop);
    ASSERT_TRUE(drop.isAccepted());
  }

  // Answers the next file dialog: edits it, then OK (or Cancel when ok is false).
  void AnswerFileDialog(std::function<void(CFilePropertyDlg&)> edit, bool ok = true) {
    testing::AnswerNextModal<CFilePropertyDlg>(view_.get(), std::move(edit), ok);
  }

  QPoint RowPoint(int row) const { return QPoint(40, row * kFileRowHeight + 10); }

  testing::TempFolder folder_;
  std::filesystem::path bmp_, png_, neither_, movie_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CFileView> view_;
  std::vector<QString> prompts_;
};

TEST_F(FileViewTest, DroppedPicturesAndMoviesLoadInOrderAndAFileOfNeitherKindStopsTheDrop) {
  Drop({bmp_, png_, movie_, neither_, bmp_});
  EXPECT_EQ(Slot(0).kind, FileStillImage);
  EXPECT_EQ(Slot(0).picture.Width(), 4);
  EXPECT_EQ(Slot(1).kind, FileStillImage);  // through the image plug-in
  EXPECT_EQ(Slot(1).picture.Width(), 6);
  EXPECT_EQ(Slot(2).kind, FileMovie);
  EXPECT_EQ(Slot(3).kind, FileEmpty);  // the text file; the drop stopped there
  EXPECT_EQ(Slot(4).kind, FileEmpty);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0],
            QStringLiteral("ファイル\"%1\"の読み込みに失敗しました。").arg(Path(neither_)));
  EXPECT_EQ(PathView(Slot(2).path), movie_.u16string());
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(view_->Selection().Count(), 0);
  EXPECT_EQ(view_->TotalSize().height(), view_->viewport()->height() + 3 * kFileRowHeight);
}

TEST_F(FileViewTest, ThreeFilesOntoTenTwentyTwoUsedSlotsLoadTwo) {
  for (int id = 0; id < 1022; ++id) Slot(id).kind = FileText;
  view_->OnUpdate(nullptr);
  Drop({bmp_, png_, bmp_});
  EXPECT_EQ(Slot(1022).kind, FileStillImage);
  EXPECT_EQ(Slot(1023).kind, FileStillImage);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0], QStringLiteral("ファイルが多すぎます。"));
  EXPECT_TRUE(document_->Modified());
  for (int id = 0; id < 1022; ++id) Slot(id).kind = FileEmpty;
}

TEST_F(FileViewTest, ClicksSelectPaintAndStartAFileDrag) {
  Drop({bmp_, png_, bmp_});
  ASSERT_TRUE(prompts_.empty());
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, RowPoint(1));
  EXPECT_EQ(view_->Selection().current, 1);
  EXPECT_TRUE(view_->Selection().IsSelected(1));
  EXPECT_FALSE(document_->drag.active);  // the release ended it
  EXPECT_EQ(document_->preview.mode, PreviewFile);
  EXPECT_EQ(document_->preview.number, 1);
  EXPECT_TRUE(document_->preview.needsRender);

  QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(2));
  EXPECT_EQ(view_->Selection().Count(), 2);
  view_->repaint();
  const QImage shown = view_->viewport()->grab().toImage();
  EXPECT_EQ(shown.pixel(200, 10), qRgb(255, 255, 255));  // row 0: not selected
  EXPECT_EQ(shown.pixel(200, 30), qRgb(192, 192, 192));  // row 1: selected
  EXPECT_EQ(shown.pixel(200, 20), qRgb(128, 128, 128));  // its frame
  EXPECT_EQ(shown.pixel(200, 50), qRgb(192, 192, 192));  // row 2: selected and current,
  EXPECT_EQ(shown.pixel(200, 40), qRgb(255, 0, 0));      // framed red
  EXPECT_EQ(shown.pixel(300, 70), qRgb(255, 255, 255));  // below the rows

  QTest::mousePress(view_->viewport(), Qt::LeftButton, {}, RowPoint(0));
  EXPECT_TRUE(document_->drag.active);
  EXPECT_EQ(document_->drag.kind, DragFile);
  EXPECT_EQ(document_->drag.fileId, 0);
  EXPECT_EQ(view_->CursorAt(QPoint(5, 5)).pixmap().toImage(),
            PaneCursor(CursorMove).pixmap().toImage());
  document_->drag.kind = DragTemplate;
  EXPECT_EQ(view_->CursorAt(QPoint(5, 5)).pixmap().toImage(),
            PaneCursor(CursorNoDrop).pixmap().toImage());
  document_->drag.kind = DragFile;
  QTest::mouseRelease(view_->viewport(), Qt::LeftButton, {}, RowPoint(0));
  EXPECT_FALSE(document_->drag.active);
  EXPECT_EQ(view_->CursorAt(QPoint(5, 5)).shape(), Qt::ArrowCursor);

  // A press below the rows clears the selection.
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, QPoint(40, 200));
  EXPECT_EQ(view_->Selection().Count(), 0);
}

TEST_F(FileViewTest, UpDownSelectAllAndDelete) {
  Drop({bmp_, png_, bmp_});
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, RowPoint(0));
  QTest::keyClick(view_.get(), Qt::Key_Down);
  EXPECT_EQ(view_->Selection().current, 1);
  QTest::keyClick(view_.get(), Qt::Key_Up);
  QTest::keyClick(view_.get(), Qt::Key_Up);
  EXPECT_EQ(view_->Selection().current, 0);
  EXPECT_TRUE(view_->Selection().IsSelected(0));

  Project().tracks[0].events[0].fileId = 1;  // an event's ID stays when its file goes
  view_->RunCommand(CmdEditSelectAll);
  EXPECT_EQ(view_->Selection().Count(), 3);
  view_->RunCommand(CmdEditClear);
  EXPECT_EQ(UsedFileSlots(Project()).size(), 0u);
  EXPECT_EQ(view_->Selection().Count(), 0);
  EXPECT_EQ(Project().tracks[0].events[0].fileId, 1);
  Project().tracks[0].events[0].fileId = 0;
}

TEST_F(FileViewTest, DuplicateCopiesEachKindIntoFreeSlots) {
  const auto movieName = movie_.u16string();
  ASSERT_TRUE(SetPath(Project().basePath, folder_.Path().u16string()));
  Slot(0).referenceFrameDuration100ns = 500000;
  ASSERT_TRUE(OpenMovieFile(Slot(0), movieName, u""));
  Slot(0).transparentColour = 0x00112233;
  ASSERT_TRUE(OpenImageFile(Slot(1), u"\\four.bmp", PathView(Project().basePath)));
  Slot(1).transparentColour = 0x00445566;
  LOGFONTW font{};
  font.lfHeight = 18;
  ASSERT_TRUE(MakeTextImage(Slot(2), u"Dup", 0x0000FF, font, TextEdgesAsDrawn));
  view_->OnUpdate(nullptr);
  view_->RunCommand(CmdEditSelectAll);
  view_->RunCommand(CmdDuplicateFile);
  EXPECT_TRUE(prompts_.empty());
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(Slot(3).kind, FileMovie);
  EXPECT_NE(Slot(3).movie.get(), Slot(0).movie.get());
  EXPECT_EQ(MovieFrameDuration100ns(Slot(3)), 500000);
  EXPECT_EQ(Slot(3).transparentColour, 0x00112233u);
  EXPECT_EQ(Slot(4).kind, FileStillImage);
  EXPECT_EQ(PathView(Slot(4).path), u"\\four.bmp");
  EXPECT_EQ(Slot(4).transparentColour, 0x00445566u);
  EXPECT_EQ(Slot(5).kind, FileText);
  EXPECT_EQ(Slot(5).text, u"Dup");
  EXPECT_EQ(Slot(5).transparentColour, Slot(2).transparentColour);
  EXPECT_EQ(Slot(5).font.lfHeight, 18);
  EXPECT_EQ(view_->Selection().current, 5);

  // A picture whose file went away cannot be copied.
  std::filesystem::remove(bmp_);
  view_->RunCommand(CmdEditSelectAll);
  view_->RunCommand(CmdDuplicateFile);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0], QStringLiteral("ファイルの複製に失敗しました。"));
  EXPECT_EQ(Slot(6).kind, FileMovie);  // the movie before it was copied
  EXPECT_EQ(Slot(7).kind, FileEmpty);
}

TEST_F(FileViewTest, PropertiesChangeTheIdToAUsedAndToAFreeSlot) {
  Drop({bmp_, png_});
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, RowPoint(0));
  AnswerFileDialog([](CFilePropertyDlg& d) {
    d.fieldEdit(FileDialogField::Id)->setText("1");
    d.transparentBox()->setChecked(true);
  });
  document_->SetModifiedFlag(false);
  view_->RunCommand(CmdProperties);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0], QStringLiteral("指定したIDはすでに使用されています。"));
  EXPECT_EQ(Slot(0).picture.Width(), 4);
  EXPECT_EQ(Slot(0).transparentColour, 0xFF000000u);
  EXPECT_EQ(Slot(1).picture.Width(), 6);
  EXPECT_FALSE(document_->Modified());

  AnswerFileDialog([](CFilePropertyDlg& d) { d.fieldEdit(FileDialogField::Id)->setText("500"); });
  view_->RunCommand(CmdProperties);
  EXPECT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(Slot(0).kind, FileEmpty);
  EXPECT_EQ(Slot(500).picture.Width(), 4);
  EXPECT_EQ(view_->Selection().current, 500);
  EXPECT_TRUE(view_->Selection().IsSelected(500));
  EXPECT_FALSE(view_->Selection().IsSelected(0));
  EXPECT_TRUE(document_->Modified());

  // A double click on the current row opens the dialog too.
  view_->repaint();
  AnswerFileDialog([](CFilePropertyDlg& d) { d.fieldEdit(FileDialogField::Id)->setText("501"); });
  QTest::mouseDClick(view_->viewport(), Qt::LeftButton, {}, RowPoint(1));
  EXPECT_EQ(Slot(501).picture.Width(), 4);
}

TEST_F(FileViewTest, AddOpensTheDialogOnAFreeSlotAndCancelLeavesItUnselected) {
  Drop({bmp_});
  AnswerFileDialog(
      [this](CFilePropertyDlg& d) { d.fieldEdit(FileDialogField::Path)->setText(Path(png_)); });
  view_->RunCommand(CmdAddFile);
  EXPECT_EQ(Slot(1).kind, FileStillImage);
  EXPECT_EQ(Slot(1).transparentColour, 0xFF000000u);  // transparent unchecked
  EXPECT_TRUE(view_->Selection().IsSelected(1));

  AnswerFileDialog([](CFilePropertyDlg&) {}, false);
  view_->RunCommand(CmdAddFile);
  EXPECT_EQ(view_->Selection().current, 2);
  EXPECT_FALSE(view_->Selection().IsSelected(2));
  EXPECT_EQ(Slot(2).kind, FileEmpty);
  EXPECT_TRUE(prompts_.empty());

  for (int id = 0; id < kFileCount; ++id) {
    if (Slot(id).kind == FileEmpty) Slot(id).kind = FileText;
  }
  view_->RunCommand(CmdAddFile);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0], QStringLiteral("ファイルが多すぎます。"));
  for (int id = 2; id < kFileCount; ++id) Slot(id).kind = FileEmpty;
}

TEST_F(FileViewTest, ContextMenuEntries) {
  std::unique_ptr<QMenu> menu = view_->MakeContextMenu();
  QStringList texts;
  for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(texts, (QStringList{"プロパティ(&S)...", "追加(&N)...", "複製(&X)", "-", "消去(&E)",
                                "-", "すべて選択(&A)", "-", "プレビュー表示(&V)"}));
  EXPECT_TRUE(menu->actions().back()->isChecked());
  menu->actions().back()->trigger();
  EXPECT_FALSE(view_->PreviewEnabled());
}

}  // namespace
}  // namespace tavrona
