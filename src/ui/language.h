// The language of the desktop program's texts. The Japanese texts are the source texts and the
// default; English comes from the translations compiled into the program (:/tavrona/i18n/).
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace tavrona {

enum class Language { Japanese, English };

// "ja" and "en" (as [Settings] Language and --lang write them); nullopt for anything else.
std::optional<Language> ParseLanguage(QStringView code);
QString LanguageCode(Language language);

// Installs the translators of language in the application, removing those of the other: every
// widget receives a LanguageChange event and retranslates itself. False when a translation of
// English could not be loaded (the texts stay Japanese).
bool ApplyLanguage(Language language);
Language CurrentLanguage();

// The language the program starts in: the command line's --lang when given and valid, else
// [Settings] Language, else Japanese.
Language StartLanguage(const QString& commandLine, const std::optional<std::string>& setting);

}  // namespace tavrona
