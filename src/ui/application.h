// The desktop program's start-up and shut-down, in order:
//   start-up: the toolkit; the executable's folder; the image plug-ins; the settings file
//   (profile) and the half-pixel matrix; the six settings; the recent-file list; the document
//   and the main window; the command line (open the project named on it, or a new project);
//   the main window as the timeout target; the window shown, accepting dropped files.
//   shut-down: the main window and its panes (their flags and the recent files go to the
//   profile), the plug-ins released, the settings written back with the profile.
#pragma once

namespace tavrona {

// Runs the program: `tavrona [PROJECT.vpj]`. A project that cannot be read ends the program,
// after the message, with status 1.
int RunTavrona(int argc, char** argv);

}  // namespace tavrona
