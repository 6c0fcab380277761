// The interface language: its codes, the start-up choice and the translators it installs.
#include "ui/language.h"

#include <gtest/gtest.h>

#include "qt_printers.h"
#include "ui/document.h"

namespace tavrona {
namespace {

TEST(Language, CodesAndTheStartUpChoice) {
  EXPECT_EQ(ParseLanguage(u"ja"), Language::Japanese);
  EXPECT_EQ(ParseLanguage(u"en"), Language::English);
  EXPECT_FALSE(ParseLanguage(u"EN"));
  EXPECT_FALSE(ParseLanguage(u""));
  EXPECT_EQ(LanguageCode(Language::English), "en");
  EXPECT_EQ(LanguageCode(Language::Japanese), "ja");
  // The command line wins over the setting; nothing valid means Japanese.
  EXPECT_EQ(StartLanguage("en", std::string("ja")), Language::English);
  EXPECT_EQ(StartLanguage("", std::string("en")), Language::English);
  EXPECT_EQ(StartLanguage("fr", std::string("en")), Language::English);
  EXPECT_EQ(StartLanguage("", std::string("xx")), Language::Japanese);
  EXPECT_EQ(StartLanguage("", std::nullopt), Language::Japanese);
}

TEST(Language, EnglishIsLoadedFromTheProgramAndJapaneseComesBack) {
  CKeldaDoc doc;
  ASSERT_TRUE(ApplyLanguage(Language::English));
  EXPECT_EQ(CurrentLanguage(), Language::English);
  EXPECT_EQ(doc.Title(), "Untitled");
  ASSERT_TRUE(ApplyLanguage(Language::Japanese));
  EXPECT_EQ(CurrentLanguage(), Language::Japanese);
  EXPECT_EQ(doc.Title(), "無題");
}

}  // namespace
}  // namespace tavrona
