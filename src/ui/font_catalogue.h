// The font catalogue: one entry per installed font family and writing system it supports, as
// the platform's font database reports them. The file dialog builds its language and font lists
// from it; each entry's logical font is a record a text source can be made from.
//
// The catalogue is the same for every document in a process: it is built on first use and kept.
// User-interface thread only; a QGuiApplication must exist before the first call.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "model/win_types.h"

namespace tavrona {

struct FontCatalogueEntry {
  LOGFONTW font{};     // face name, character set and pitch of the family; height 0, weight 400
  QString fullName;    // the family's name as the font list shows it
  QString scriptName;  // the writing system's name as the language list shows it
};

using FontCatalogue = std::vector<FontCatalogueEntry>;

// The process's catalogue, built from the font database on the first call.
const FontCatalogue& ProcessFontCatalogue();

// Builds a catalogue afresh: families in the database's order, and for each the writing systems
// it supports in the database's order. Families whose name does not fit the 31 units of a face
// name are left out (a text source could not name them).
FontCatalogue BuildFontCatalogue();

// The Windows character set a writing system's fonts are asked for with (ANSI for Latin,
// SHIFTJIS for Japanese, ...; DEFAULT_CHARSET (1) for scripts without one of their own).
uint8_t CharSetForWritingSystem(int writingSystem);

// The face name of a logical font, up to its terminator (the whole field when there is none).
QString FaceName(const LOGFONTW& font);

}  // namespace tavrona
