#include "ui/font_catalogue.h"

#include <QFontDatabase>
#include <QList>
#include <QStringList>
#include <algorithm>

namespace tavrona {

uint8_t CharSetForWritingSystem(int writingSystem) {
  switch (static_cast<QFontDatabase::WritingSystem>(writingSystem)) {
    case QFontDatabase::Latin:
      return 0;  // ANSI_CHARSET
    case QFontDatabase::Symbol:
      return 2;  // SYMBOL_CHARSET
    case QFontDatabase::Japanese:
      return 128;  // SHIFTJIS_CHARSET
    case QFontDatabase::Korean:
      return 129;  // HANGUL_CHARSET
    case QFontDatabase::SimplifiedChinese:
      return 134;  // GB2312_CHARSET
    case QFontDatabase::TraditionalChinese:
      return 136;  // CHINESEBIG5_CHARSET
    case QFontDatabase::Greek:
      return 161;
    case QFontDatabase::Vietnamese:
      return 163;
    case QFontDatabase::Hebrew:
      return 177;
    case QFontDatabase::Arabic:
      return 178;
    case QFontDatabase::Cyrillic:
      return 204;  // RUSSIAN_CHARSET
    case QFontDatabase::Thai:
      return 222;
    default:
      return 1;  // DEFAULT_CHARSET
  }
}

QString FaceName(const LOGFONTW& font) {
  const char16_t* end = std::find(font.lfFaceName, font.lfFaceName + kLfFaceSize, u'\0');
  return QString::fromUtf16(font.lfFaceName, end - font.lfFaceName);
}

FontCatalogue BuildFontCatalogue() {
  FontCatalogue catalogue;
  for (const QString& family : QFontDatabase::families()) {
    if (family.isEmpty() || family.size() >= kLfFaceSize) continue;
    LOGFONTW font{};
    font.lfWeight = 400;
    // FIXED_PITCH or VARIABLE_PITCH, as the enumeration reports TrueType families.
    font.lfPitchAndFamily = QFontDatabase::isFixedPitch(family) ? 1 : 2;
    std::copy_n(reinterpret_cast<const char16_t*>(family.utf16()), family.size(), font.lfFaceName);
    for (const QFontDatabase::WritingSystem system : QFontDatabase::writingSystems(family)) {
      if (system == QFontDatabase::Any) continue;
      FontCatalogueEntry entry;
      entry.font = font;
      entry.font.lfCharSet = CharSetForWritingSystem(system);
      entry.fullName = family;
      entry.scriptName = QFontDatabase::writingSystemName(system);
      catalogue.push_back(std::move(entry));
    }
  }
  return catalogue;
}

const FontCatalogue& ProcessFontCatalogue() {
  static const FontCatalogue catalogue = BuildFontCatalogue();
  return catalogue;
}

}  // namespace tavrona
