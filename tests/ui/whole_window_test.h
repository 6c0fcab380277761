// A test with the whole desktop window: a settings file in a fresh folder, every prompt recorded
// and answered OK instead of shown, a document and its main window, shown and exposed.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona::testing {

class WholeWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p);
      return PromptAnswer::Ok;
    });
    document_ = std::make_unique<CKeldaDoc>();
    PrepareDocument(*document_);
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->resize(1000, 700);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  }
  void TearDown() override {
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
  }
  // Called before the window is made.
  virtual void PrepareDocument(CKeldaDoc&) {}

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<Prompt> prompts_;
};

}  // namespace tavrona::testing
