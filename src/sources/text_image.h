// Text sources: a text drawn once, with a chosen font, into the file entry's picture.
//
// Drawn with QtGui (QFont, QPainter on a QImage over the picture's own memory). The caller must
// have created a QGuiApplication before the first call; any platform plug-in will do, the
// offscreen one included (QT_QPA_PLATFORM=offscreen), so no display is needed. Without a
// QGuiApplication the call fails. User-interface thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/file_entry.h"
#include "model/win_types.h"

namespace tavrona {

// The key colour a text is drawn on: every component of the text colour moved by half the
// range, so it always differs from the text colour. 0x00BBGGRR in and out.
constexpr uint32_t TextKeyColour(uint32_t textColour) {
  return (textColour & 0xFFFFFFu) ^ 0x808080u;
}

// Edge treatment of the drawn text (the TextImageMode setting).
enum TextImageMode : int32_t {
  TextEdgesAsDrawn = 0,        // anti-aliased edges stay as drawn (other values act the same)
  TextEdgesToKey = 1,          // every pixel other than the text colour becomes the key
  TextEdgesToTextColour = 2,   // every pixel other than the key becomes the text colour
};

// Empties the entry, then draws text (up to its first NUL) in textColour (0x00BBGGRR, low 24
// bits) with font into a picture exactly as large as the text: lines end only at CR, LF or
// CR LF (no word wrap), tabs advance to the next multiple of 8 average character widths, the
// widest line gives the width and the line count times the font's line height the height.
// Each line's own extent is filled with the key colour; beside shorter lines the pixels stay 0.
// An empty text gives a 1 x 1 picture holding the key colour. The mode's edge treatment is
// applied and every pixel's fourth byte cleared.
//
// On success the entry is kind text with its own copy of the text, the picture, the font and
// the key colour as its transparent colour. On failure (no QGuiApplication, a face name
// without terminator, |lfHeight| above 4096, a text that measures 0 wide, no memory) the entry
// stays empty.
bool MakeTextImage(FileEntry& entry, std::u16string_view text, uint32_t textColour,
                   const LOGFONTW& font, int32_t textImageMode);

// The same with the process-wide TextImageMode setting.
bool MakeTextImage(FileEntry& entry, std::u16string_view text, uint32_t textColour,
                   const LOGFONTW& font);

}  // namespace tavrona
