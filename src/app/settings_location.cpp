#include "app/settings_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/settings.h"

namespace tavrona {
namespace {

constexpr const char* kConfigFolderName = "tavrona";

bool IsAbsoluteFolder(const char* value) { return value != nullptr && value[0] == '/'; }

// mkdir -p with mode 0700 for each level made (the mode the XDG base directory rules give
// folders a program creates under the user's configuration home).
bool MakeFolders(const std::filesystem::path& folder, std::error_code& error) {
  std::filesystem::path sofar;
  for (const auto& part : folder) {
    sofar /= part;
    if (::mkdir(sofar.c_str(), 0700) == 0 || errno == EEXIST) continue;
    error.assign(errno, std::generic_category());
    return false;
  }
  if (!std::filesystem::is_directory(folder, error)) {
    if (!error) error = std::make_error_code(std::errc::not_a_directory);
    return false;
  }
  return true;
}

// Writes data to a new temporary file beside target and links it to target, which fails with
// EEXIST rather than replace a file that is there.
bool WriteNewFile(const std::filesystem::path& target, const std::string& data,
                  std::error_code& error) {
  std::string temp = target.string() + ".seeding~XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error.assign(errno, std::generic_category());
    return false;
  }
  int failure = 0;
  size_t done = 0;
  while (failure == 0 && done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) failure = n < 0 ? errno : ENOSPC;
    else done += static_cast<size_t>(n);
  }
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::link(temp.c_str(), target.c_str()) != 0) failure = errno;
  ::unlink(temp.c_str());
  if (failure != 0) error.assign(failure, std::generic_category());
  return failure == 0;
}

}  // namespace

std::filesystem::path ChooseIniFile(const std::filesystem::path& executableFolder,
                                    bool folderWritable, const char* xdgConfigHome,
                                    const char* home) {
  if (!folderWritable) {
    if (IsAbsoluteFolder(xdgConfigHome)) {
      return std::filesystem::path(xdgConfigHome) / kConfigFolderName / kIniFileName;
    }
    if (IsAbsoluteFolder(home)) {
      return std::filesystem::path(home) / ".config" / kConfigFolderName / kIniFileName;
    }
  }
  return executableFolder / kIniFileName;
}

SeedOutcome SeedIniFile(const std::filesystem::path& defaultFile,
                        const std::filesystem::path& user, std::error_code& error) {
  error.clear();
  std::error_code ignored;
  if (std::filesystem::exists(std::filesystem::symlink_status(user, ignored))) {
    return SeedOutcome::Kept;
  }
  if (!MakeFolders(user.parent_path(), error)) return SeedOutcome::Failed;
  std::ifstream in(defaultFile, std::ios::binary);
  if (!in) return SeedOutcome::NoDefault;
  std::stringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    error = std::make_error_code(std::errc::io_error);
    return SeedOutcome::Failed;
  }
  if (WriteNewFile(user, content.str(), error)) return SeedOutcome::Seeded;
  if (error == std::errc::file_exists) {
    error.clear();
    return SeedOutcome::Kept;
  }
  return SeedOutcome::Failed;
}

IniLocation LocateIniFile(const std::filesystem::path& executableFolder) {
  const bool writable = ::access(executableFolder.c_str(), W_OK) == 0;
  const char* home = std::getenv("HOME");
  if (!IsAbsoluteFolder(home)) {
    if (const passwd* entry = ::getpwuid(::getuid())) home = entry->pw_dir;
  }
  IniLocation location;
  location.file = ChooseIniFile(executableFolder, writable, std::getenv("XDG_CONFIG_HOME"), home);
  location.besideExecutable = location.file.parent_path() == executableFolder;
  if (location.besideExecutable) return location;
  std::error_code error;
  if (SeedIniFile(executableFolder / kIniFileName, location.file, error) == SeedOutcome::Failed) {
    location.problem = error.message();
  }
  return location;
}

}  // namespace tavrona
