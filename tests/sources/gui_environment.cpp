// One QGuiApplication for the whole test program (text images and Qt's image readers need
// it), created before the first test and destroyed after the last, so that Qt releases its
// font database before the leak checker of the sanitizer build looks.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <memory>

namespace tavrona {
namespace {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qGuiApp == nullptr) app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "tavrona_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
}  // namespace tavrona
