#include "app/process_state.h"

#include <unistd.h>

#include <climits>

#include "app/ini_file.h"

namespace tavrona {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

std::filesystem::path LocateExecutableFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::filesystem::current_path();
  buffer[n] = '\0';
  return std::filesystem::path(buffer).parent_path();
}

void StartProcessState(ProcessState& state, bool discoverPlugins) {
  state.executableFolder = LocateExecutableFolder();
  if (discoverPlugins) state.plugins.Discover(state.executableFolder);
  ResetTimeoutTarget(state);
  const float g[9] = {1, 0, 0.5f, 0, 1, 0.5f, 0, 0, 1};
  std::copy(g, g + 9, state.halfPixel);
  state.ini = LocateIniFile(state.executableFolder);
  IniFile ini;
  ini.Load(state.ini.file);
  state.settings = ReadSettings(ini);
}

bool StopProcessState(ProcessState& state, bool writeBack) {
  state.plugins.Release();
  if (!writeBack) return true;
  IniFile ini;
  ini.Load(state.ini.file);
  WriteSettings(ini, state.settings);
  return ini.Save(state.ini.file);
}

void ResetTimeoutTarget(ProcessState& state) { state.timeoutTarget = &state.noUser; }

}  // namespace tavrona
