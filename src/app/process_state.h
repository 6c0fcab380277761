// The state the whole process shares, set up at start-up before the first project exists and
// torn down at exit: the executable's folder, the settings, the image plug-ins, the lock of the
// movie hand-off slot, the timeout target, the half-pixel matrix and the mirror of the open
// project's default drawing method.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>

#include "app/plugins.h"
#include "app/settings.h"
#include "app/settings_location.h"
#include "app/timeout_target.h"

namespace tavrona {

struct ProcessState {
  std::filesystem::path executableFolder;
  // Where the settings are read from and written back to (app/settings_location.h).
  IniLocation ini;
  Settings settings;
  PluginList plugins;
  // Guards the movie hand-off slot between the decoder's delivery thread and the UI thread.
  std::mutex frameLock;
  // Never null: the default asks nobody and abandons a timed-out request.
  TimeoutTarget* timeoutTarget = &noUser;
  // G = [[1, 0, 0.5], [0, 1, 0.5], [0, 0, 1]], row by row.
  float halfPixel[9] = {1, 0, 0.5f, 0, 1, 0.5f, 0, 0, 1};
  // The default drawing method of the project the document holds; composition reads it.
  int32_t defaultDrawingMethodMirror = 0;

  NoUserTimeoutTarget noUser;
};

// The one process-wide instance.
ProcessState& Process();

// Folder of the running executable (from /proc/self/exe), without a trailing separator.
std::filesystem::path LocateExecutableFolder();

// Start-up's share of the process state: executable folder, plug-ins, where the INI file is
// (seeding the user's copy of an installed program, LocateIniFile), settings read from it, the
// half-pixel matrix. discoverPlugins = false leaves the plug-in list empty.
void StartProcessState(ProcessState& state, bool discoverPlugins = true);

// Shut-down's share: releases the plug-ins and, when writeBack is set, writes the settings back
// to the INI file (keeping every other section and key). Returns false if that write fails.
bool StopProcessState(ProcessState& state, bool writeBack = true);

// Restores the timeout target to the default.
void ResetTimeoutTarget(ProcessState& state);

}  // namespace tavrona
