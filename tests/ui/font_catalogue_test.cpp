#include "ui/font_catalogue.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <algorithm>

#include "model/file_entry.h"
#include "qt_printers.h"
#include "sources/text_image.h"
#include "ui/dialogs/file_dialog.h"

namespace tavrona {
namespace {

FontCatalogueEntry Entry(const char16_t* face, uint8_t charSet, const char* script) {
  FontCatalogueEntry entry;
  std::u16string_view name(face);
  std::copy(name.begin(), name.end(), entry.font.lfFaceName);
  entry.font.lfCharSet = charSet;
  entry.fullName = QString::fromUtf16(face);
  entry.scriptName = QString::fromLatin1(script);
  return entry;
}

TEST(FontCatalogueTest, OneEntryPerFamilyAndWritingSystemWithAUsableLogicalFont) {
  const FontCatalogue& catalogue = ProcessFontCatalogue();
  ASSERT_FALSE(catalogue.empty());
  EXPECT_EQ(&catalogue, &ProcessFontCatalogue());  // built once

  size_t expected = 0;
  for (const QString& family : QFontDatabase::families()) {
    if (family.isEmpty() || family.size() >= kLfFaceSize) continue;
    for (auto system : QFontDatabase::writingSystems(family)) {
      if (system != QFontDatabase::Any) ++expected;
    }
  }
  EXPECT_EQ(catalogue.size(), expected);

  for (const FontCatalogueEntry& entry : catalogue) {
    ASSERT_EQ(FaceName(entry.font), entry.fullName);
    ASSERT_FALSE(entry.scriptName.isEmpty());
  }
  // A Latin entry, where there is one, asks for the ANSI character set.
  const auto latin = std::find_if(catalogue.begin(), catalogue.end(), [](const auto& e) {
    return e.scriptName == QFontDatabase::writingSystemName(QFontDatabase::Latin);
  });
  if (latin != catalogue.end()) EXPECT_EQ(latin->font.lfCharSet, 0);

  // What the dialog builds from an entry makes a text source.
  FileDialogValues values;
  values.size = u"24";
  values.weightIndex = 6;
  const LOGFONTW font = BuildDialogFont(catalogue.front().font, values);
  FileEntry entry;
  ASSERT_TRUE(MakeTextImage(entry, u"Ab", 0x000000, font, TextEdgesAsDrawn));
  EXPECT_EQ(entry.kind, FileText);
  EXPECT_EQ(entry.font.lfWeight, 700);
  EXPECT_EQ(entry.font.lfHeight, 24);
  EXPECT_GT(entry.picture.Width(), 0);
}

TEST(FontCatalogueTest, LanguageListKeepsTheFirstOfEachPrefixAndSortsWithoutCase) {
  const FontCatalogue catalogue = {
      Entry(u"Serif", 0, "Latin"),       Entry(u"Mincho", 128, "Japanese"),
      Entry(u"Mono", 0, "latin"),  // a prefix of "Latin" without case: not added
      Entry(u"Gothic", 128, "Japanese"), Entry(u"Long", 1, "Latin Extended"),  // added
      Entry(u"Short", 1, "Lat"),  // prefix of an item already there: not added
      Entry(u"Greek", 161, "Greek"),
  };
  EXPECT_EQ(LanguageList(catalogue), (QStringList{"Greek", "Japanese", "Latin", "Latin Extended"}));
  EXPECT_EQ(FontsForScript(catalogue, "Japanese"), (std::vector<int>{1, 3}));
  EXPECT_EQ(FontsForScript(catalogue, "Latin"), (std::vector<int>{0}));  // exact names only
  EXPECT_EQ(FindPrefix({"Greek", "Latin"}, "lat"), 1);
  EXPECT_EQ(FindPrefix({"Greek", "Latin"}, "Thai"), -1);

  LOGFONTW font{};
  std::u16string_view gothic(u"Gothic");
  std::copy(gothic.begin(), gothic.end(), font.lfFaceName);
  font.lfCharSet = 128;
  EXPECT_EQ(FindCatalogueEntry(catalogue, font), 3);
  font.lfCharSet = 0;  // the same face in another character set is another entry
  EXPECT_EQ(FindCatalogueEntry(catalogue, font), -1);
  EXPECT_EQ(FindCatalogueEntry(catalogue, LOGFONTW{}), -1);
}

}  // namespace
}  // namespace tavrona
