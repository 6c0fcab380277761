// The desktop program's words for the libraries' message codes (model/messages.h), the export's
// progress figures and the compressors, in the current language (language.h): the Japanese texts
// are the source texts, the English ones come from translations/messages_en.ts. Worded each time
// they are shown, so a change of language shows at once.
#pragma once

#include <QString>
#include <cstdint>

#include "export/avi_writer.h"
#include "export/export_progress.h"
#include "model/messages.h"

namespace tavrona {

// The caption of error boxes and questions ("エラー").
QString ErrorCaption();

// The message of code. subject is the path of SourceLoadFailed or the text of TextCreateFailed;
// count the frames of MovieLengthLimit; the other codes carry no data.
QString MessageText(MessageCode code, const QString& subject = QString(), uint32_t count = 0);

// A failed load: the message, then the line that names the file and the reader's words
// (LoadFailureDetail).
QString LoadFailedText(const QString& fileName, const std::string& why);

// The export's progress text: position, percentage, elapsed and remaining time.
QString ExportProgressText(const ProgressFigures& figures);

// A compressor as the compressor list shows it: its title and what it does.
QString CompressorDescription(const AviCompressor& compressor);

}  // namespace tavrona
