#include "ui/language.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>
#include <memory>
#include <vector>

namespace tavrona {
namespace {

Language current = Language::Japanese;

// The translators installed for English: one per compiled translation file.
std::vector<std::unique_ptr<QTranslator>>& Installed() {
  static std::vector<std::unique_ptr<QTranslator>> translators;
  return translators;
}

}  // namespace

std::optional<Language> ParseLanguage(QStringView code) {
  if (code == u"ja") return Language::Japanese;
  if (code == u"en") return Language::English;
  return std::nullopt;
}

QString LanguageCode(Language language) {
  return language == Language::English ? QStringLiteral("en") : QStringLiteral("ja");
}

bool ApplyLanguage(Language language) {
  auto& translators = Installed();
  for (auto& t : translators) QCoreApplication::removeTranslator(t.get());
  translators.clear();
  current = Language::Japanese;
  if (language == Language::Japanese) return true;
  const QDir folder(QStringLiteral(":/tavrona/i18n"));
  bool loaded = false;
  for (const QString& name : folder.entryList({QStringLiteral("*_en.qm")}, QDir::Files)) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(folder.filePath(name))) continue;
    QCoreApplication::installTranslator(translator.get());
    translators.push_back(std::move(translator));
    loaded = true;
  }
  if (loaded) current = Language::English;
  return loaded;
}

Language CurrentLanguage() {
  return current;
}

Language StartLanguage(const QString& commandLine, const std::optional<std::string>& setting) {
  if (const auto chosen = ParseLanguage(commandLine)) return *chosen;
  if (setting) {
    if (const auto saved = ParseLanguage(QString::fromStdString(*setting))) return *saved;
  }
  return Language::Japanese;
}

}  // namespace tavrona
