#include "ui/recent_files.h"

#include <QDir>

#include "ui/profile.h"

namespace tavrona {
namespace {

constexpr const char* kSection = "Recent File List";

QByteArray KeyOf(int index) {
  return "File" + QByteArray::number(index + 1);
}

}  // namespace

void RecentFileList::Load(const Profile& profile) {
  paths_.clear();
  for (int i = 0; i < kSize; ++i) {
    const QString path = profile.GetString(kSection, KeyOf(i).constData());
    if (!path.isEmpty() && !paths_.contains(path)) paths_.append(path);
  }
}

void RecentFileList::Save(Profile& profile) const {
  for (int i = 0; i < kSize; ++i) {
    if (i < paths_.size()) {
      profile.SetString(kSection, KeyOf(i).constData(), paths_[i]);
    } else {
      profile.RemoveKey(kSection, KeyOf(i).constData());
    }
  }
}

void RecentFileList::Add(const QString& path) {
  paths_.removeAll(path);
  paths_.prepend(path);
  while (paths_.size() > kSize) paths_.removeLast();
}

void RecentFileList::Remove(const QString& path) {
  paths_.removeAll(path);
}

QString RecentFileList::MenuText(int index, const QString& path) {
  QString shown = QDir::toNativeSeparators(path);
  constexpr int kLongest = 60;
  if (shown.size() > kLongest) {
    shown = shown.left(kLongest / 2 - 2) + QStringLiteral("...") + shown.right(kLongest / 2 - 1);
  }
  // A literal "&" in a path must not become a mnemonic.
  shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace tavrona
