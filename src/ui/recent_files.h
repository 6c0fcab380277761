// The recent-file list: the four projects opened or saved last, newest first, kept in
// tavrona.INI under "Recent File List" as File1 .. File4.
#pragma once

#include <QString>
#include <QStringList>

namespace tavrona {

class Profile;

class RecentFileList {
 public:
  static constexpr int kSize = 4;

  void Load(const Profile& profile);
  // Writes File1 .. FileN and removes the keys of the empty places.
  void Save(Profile& profile) const;

  // Moves path to the front (adding it when new); the oldest entry falls off past four.
  void Add(const QString& path);
  void Remove(const QString& path);
  const QStringList& Paths() const { return paths_; }

  // The menu text of entry index: "&1 path" with the path shortened in the middle when long.
  static QString MenuText(int index, const QString& path);

 private:
  QStringList paths_;
};

}  // namespace tavrona
