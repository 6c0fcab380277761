// Where tavrona.INI lives, for the desktop program and tavrona-cli alike.
//
// A portable build keeps its settings beside the executable: when the executable's folder can
// be written, tavrona.INI there is read and written exactly as it always was. An installed copy
// (its folder belongs to the system, as /usr/lib/tavrona does) keeps each user's settings in
// $XDG_CONFIG_HOME/tavrona/tavrona.INI, or ~/.config/tavrona/tavrona.INI when XDG_CONFIG_HOME is
// unset, empty or not absolute; the first run copies the installed default there. The default
// beside the executable is never written in that case.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace tavrona {

// The decision alone, without touching the file system. xdgConfigHome and home are the
// environment's values, nullptr when unset. When the folder is not writable and neither gives
// an absolute folder, the answer stays beside the executable (read, and its write-back fails).
std::filesystem::path ChooseIniFile(const std::filesystem::path& executableFolder,
                                    bool folderWritable, const char* xdgConfigHome,
                                    const char* home);

enum class SeedOutcome {
  Kept,        // the user's file was already there and is left untouched
  Seeded,      // the default was copied to the user's file
  NoDefault,   // there is no default to copy; the user's folder exists, the file does not
  Failed,      // the folder or the copy could not be made; error says why
};

// Makes user's folder (mode 0700 for the folders it creates) and copies defaultFile to user
// unless user exists. Never overwrites: the copy is written to a temporary file and linked into
// place, so a file another process put there meanwhile is kept and the outcome is Kept.
SeedOutcome SeedIniFile(const std::filesystem::path& defaultFile,
                        const std::filesystem::path& user, std::error_code& error);

struct IniLocation {
  std::filesystem::path file;  // read at start-up and written back at shut-down
  bool besideExecutable = true;
  // Set when the user's file could not be made; file then names it all the same (the settings
  // are the built-in defaults, and a write-back tries again).
  std::string problem;
};

// The running process's answer: tests whether executableFolder can be written (access), reads
// XDG_CONFIG_HOME and HOME (the password database when HOME is unset) and seeds the user's file
// from executableFolder/tavrona.INI when the answer lies elsewhere.
IniLocation LocateIniFile(const std::filesystem::path& executableFolder);

}  // namespace tavrona
