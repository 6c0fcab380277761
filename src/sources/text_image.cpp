#include "sources/text_image.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

#include "app/process_state.h"

namespace tavrona {
namespace {

constexpr int32_t kMaxFontHeight = 4096;
// lfHeight 0 asks for the default size: the cell height of the classic system font.
constexpr int32_t kDefaultCellHeight = 16;
constexpr int kTabStopCharacters = 8;

QFontDatabase::WritingSystem WritingSystemForCharSet(uint8_t charSet) {
  switch (charSet) {
    case 2: return QFontDatabase::Symbol;
    case 128: return QFontDatabase::Japanese;            // SHIFTJIS_CHARSET
    case 129: case 130: return QFontDatabase::Korean;    // HANGUL, JOHAB
    case 134: return QFontDatabase::SimplifiedChinese;   // GB2312_CHARSET
    case 136: return QFontDatabase::TraditionalChinese;  // CHINESEBIG5_CHARSET
    case 161: return QFontDatabase::Greek;
    case 163: return QFontDatabase::Vietnamese;
    case 177: return QFontDatabase::Hebrew;
    case 178: return QFontDatabase::Arabic;
    case 204: return QFontDatabase::Cyrillic;            // RUSSIAN_CHARSET
    case 222: return QFontDatabase::Thai;
    default: return QFontDatabase::Any;
  }
}

QFont::StyleHint StyleHintForFamily(uint8_t pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case 0x10: return QFont::Serif;       // FF_ROMAN
    case 0x20: return QFont::SansSerif;   // FF_SWISS
    case 0x30: return QFont::TypeWriter;  // FF_MODERN
    case 0x40: return QFont::Cursive;     // FF_SCRIPT
    case 0x50: return QFont::Decorative;  // FF_DECORATIVE
    default: return QFont::AnyStyle;
  }
}

// The font a LOGFONTW describes. The face name comes first; a font of the character set's
// script follows it, so a face that does not exist here (or lacks glyphs) still gives glyphs
// of the right script. lfHeight < 0 is the character (em) height in pixels, > 0 the cell height
// (ascent + descent). Escapement and orientation are not applied.
std::optional<QFont> FontFromLogFont(const LOGFONTW& lf) {
  const char16_t* faceEnd = std::find(lf.lfFaceName, lf.lfFaceName + kLfFaceSize, u'\0');
  if (faceEnd == lf.lfFaceName + kLfFaceSize) return std::nullopt;
  if (lf.lfHeight < -kMaxFontHeight || lf.lfHeight > kMaxFontHeight) return std::nullopt;

  QStringList families;
  if (faceEnd != lf.lfFaceName) {
    families << QString::fromUtf16(lf.lfFaceName, faceEnd - lf.lfFaceName);
  }
  const QFontDatabase::WritingSystem script = WritingSystemForCharSet(lf.lfCharSet);
  if (script != QFontDatabase::Any) {
    const QStringList scriptFamilies = QFontDatabase::families(script);
    if (!scriptFamilies.isEmpty()) families << scriptFamilies.front();
  }
  QFont font;
  if (!families.isEmpty()) font.setFamilies(families);
  font.setStyleHint(StyleHintForFamily(lf.lfPitchAndFamily));
  if ((lf.lfPitchAndFamily & 3) == 1) font.setFixedPitch(true);  // FIXED_PITCH
  font.setWeight(static_cast<QFont::Weight>(lf.lfWeight <= 0 ? 400 : std::min(lf.lfWeight, 1000)));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  if (lf.lfQuality == 3) font.setStyleStrategy(QFont::NoAntialias);  // NONANTIALIASED_QUALITY
  font.setKerning(false);

  if (lf.lfHeight < 0) {
    font.setPixelSize(-lf.lfHeight);
  } else {
    // Find the largest pixel size whose cell (ascent + descent) fits the height asked for.
    const int cell = lf.lfHeight == 0 ? kDefaultCellHeight : lf.lfHeight;
    auto cellOf = [&font](int pixelSize) {
      font.setPixelSize(pixelSize);
      return QFontMetrics(font).height();
    };
    int size = std::max(1, static_cast<int>(static_cast<int64_t>(cell) * cell /
                                            std::max(1, cellOf(cell))));
    for (int i = 0; i < 8 && size > 1 && cellOf(size) > cell; ++i) --size;
    for (int i = 0; i < 8 && cellOf(size + 1) <= cell; ++i) ++size;
    font.setPixelSize(size);
  }
  if (lf.lfWidth != 0) {
    // The average character width asked for, as a stretch of the font's own.
    const int average = QFontMetrics(font).averageCharWidth();
    if (average > 0) {
      const int64_t stretch = static_cast<int64_t>(std::abs(lf.lfWidth)) * 100 / average;
      font.setStretch(static_cast<int>(std::clamp<int64_t>(stretch, 1, 4000)));
    }
  }
  return font;
}

// One line of text split at its tabs, with the x position of every piece.
struct TextLine {
  std::vector<std::pair<int, QString>> pieces;
  int width = 0;
};

std::vector<TextLine> LayOutLines(const QString& text, const QFontMetrics& metrics) {
  const int tabStop = std::max(1, kTabStopCharacters * metrics.averageCharWidth());
  std::vector<TextLine> lines(1);
  QString piece;
  int x = 0;
  auto flushPiece = [&] {
    if (!piece.isEmpty()) {
      lines.back().pieces.emplace_back(x, piece);
      x += metrics.horizontalAdvance(piece);
      piece.clear();
    }
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      flushPiece();
      lines.back().width = x;
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.emplace_back();
      x = 0;
    } else if (c == u'\t') {
      flushPiece();
      x = (x / tabStop + 1) * tabStop;
    } else {
      piece += c;
    }
  }
  flushPiece();
  lines.back().width = x;
  return lines;
}

bool DrawText(FrameBuffer& picture, const std::vector<TextLine>& lines, const QFont& font,
              int lineHeight, int ascent, uint32_t textColour, uint32_t keyColour) {
  const int width = picture.Width();
  const int height = picture.Height();
  // The pixels seen top-down; the rows are put into bottom-up order afterwards, in place.
  QImage image(picture.pixels, width, height, static_cast<qsizetype>(width) * 4,
               QImage::Format_RGB32);
  if (image.isNull()) return false;
  const QColor key(keyColour & 0xFF, (keyColour >> 8) & 0xFF, (keyColour >> 16) & 0xFF);
  const QColor ink(textColour & 0xFF, (textColour >> 8) & 0xFF, (textColour >> 16) & 0xFF);
  {
    QPainter painter;
    if (!painter.begin(&image)) return false;
    painter.setFont(font);
    painter.setPen(ink);
    for (size_t i = 0; i < lines.size(); ++i) {
      const int top = static_cast<int>(i) * lineHeight;
      if (lines[i].width > 0) painter.fillRect(0, top, lines[i].width, lineHeight, key);
      for (const auto& [x, text] : lines[i].pieces) {
        painter.drawText(QPoint(x, top + ascent), text);
      }
    }
    painter.end();
  }
  uint32_t* words = picture.Words();
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(words + static_cast<size_t>(top) * width,
                     words + static_cast<size_t>(top + 1) * width,
                     words + static_cast<size_t>(bottom) * width);
  }
  return true;
}

void TreatEdges(FrameBuffer& picture, uint32_t textPixel, uint32_t keyPixel, int32_t mode) {
  uint32_t* words = picture.Words();
  const size_t count = picture.byteSize / 4;
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = words[i] & 0x00FFFFFFu;
    if (mode == TextEdgesToKey && p != textPixel) p = keyPixel;
    if (mode == TextEdgesToTextColour && p != keyPixel) p = textPixel;
    words[i] = p;
  }
}

bool Render(FileEntry& entry, uint32_t textColour, const LOGFONTW& logFont, int32_t mode) {
  if (qGuiApp == nullptr) return false;
  const std::optional<QFont> font = FontFromLogFont(logFont);
  if (!font) return false;
  const uint32_t keyColour = TextKeyColour(textColour);
  const uint32_t textPixel = ProjectColourToPixel(textColour & 0xFFFFFFu);
  const uint32_t keyPixel = ProjectColourToPixel(keyColour);

  FrameBuffer picture;
  if (entry.text.empty()) {
    if (!CreateFrameBuffer(picture, 1, 1, 32)) return false;
    picture.Words()[0] = keyPixel;
  } else {
    const QString text = QString::fromUtf16(entry.text.data(), entry.text.size());
    const QFontMetrics metrics(*font);
    const std::vector<TextLine> lines = LayOutLines(text, metrics);
    int width = 0;
    for (const TextLine& line : lines) width = std::max(width, line.width);
    const int lineHeight = metrics.height();
    const int64_t height = static_cast<int64_t>(lineHeight) * static_cast<int64_t>(lines.size());
    if (width <= 0 || lineHeight <= 0 || height > INT32_MAX) return false;
    if (!CreateFrameBuffer(picture, width, static_cast<int32_t>(height), 32)) return false;
    if (!DrawText(picture, lines, *font, lineHeight, metrics.ascent(), textColour, keyColour)) {
      return false;
    }
  }
  TreatEdges(picture, textPixel, keyPixel, mode);

  entry.kind = FileText;
  entry.picture = std::move(picture);
  entry.transparentColour = keyColour;
  entry.font = logFont;
  return true;
}

}  // namespace

bool MakeTextImage(FileEntry& entry, std::u16string_view text, uint32_t textColour,
                   const LOGFONTW& font, int32_t textImageMode) {
  ResetFileEntry(entry);
  text = text.substr(0, std::min(text.size(), text.find(u'\0')));
  try {
    entry.text.assign(text);
  } catch (const std::bad_alloc&) {
    ResetFileEntry(entry);
    return false;
  }
  if (!Render(entry, textColour, font, textImageMode)) {
    ResetFileEntry(entry);
    return false;
  }
  return true;
}

bool MakeTextImage(FileEntry& entry, std::u16string_view text, uint32_t textColour,
                   const LOGFONTW& font) {
  return MakeTextImage(entry, text, textColour, font, Process().settings.textImageMode);
}

}  // namespace tavrona
