// One QApplication for the whole widget test program, created before the first test and
// destroyed after the last (so that Qt releases its font database before the leak checker of
// the sanitizer build looks).
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace tavrona {
namespace {

class WidgetEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qApp == nullptr) app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "tavrona_ui";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new WidgetEnvironment);

}  // namespace
}  // namespace tavrona
