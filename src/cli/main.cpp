// tavrona-cli: the headless front end.
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "cli/cli_commands.h"
#include "cli/cli_options.h"

namespace {

// Qt's diagnostics (font fallbacks, runtime folders) are not the command's business: only
// critical messages reach stderr.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrona;
  // Beyond a file size limit, writes then fail with EFBIG and the export stops with a readable
  // file and the system's words, instead of the process being killed.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseCliOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "tavrona-cli: %s\n\n%s", error.c_str(), CliUsage());
    return 2;
  }
  SetCliLanguage(options->language);
  if (options->command == CliCommand::Help) {
    std::fputs(CliUsage(), stdout);
    return 0;
  }
  // Text sources are drawn with QtGui, which needs an application object but no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(QtMessages);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  ProcessState& state = Process();
  StartProcessState(state);
  if (!state.ini.problem.empty()) {
    std::fprintf(stderr, "tavrona-cli: the settings file %s could not be made: %s\n",
                 state.ini.file.c_str(), state.ini.problem.c_str());
  }
  const int status = RunCliCommand(*options);
  // The settings file is read only here: the GUI owns writing it back.
  StopProcessState(state, /*writeBack=*/false);
  return status;
}
