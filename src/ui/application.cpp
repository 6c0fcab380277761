#include "ui/application.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <memory>

#include "app/process_state.h"
#include "app/settings.h"
#include "ui/document.h"
#include "ui/language.h"
#include "ui/main_window.h"
#include "ui/panes/pane_base.h"
#include "ui/profile.h"
#include "ui/recovery/recovery_offer.h"

namespace tavrona {

int RunTavrona(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavrona"));
  QApplication::setApplicationVersion(QStringLiteral("1.2"));
  QApplication::setDesktopFileName(QStringLiteral("tavrona"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavrona/tavrona.png")));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Tavrona: video compositing"));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption langOption(QStringLiteral("lang"),
                                      QStringLiteral("The interface language: ja or en."),
                                      QStringLiteral("ja|en"));
  parser.addOption(langOption);
  parser.addPositionalArgument(QStringLiteral("project"),
                               QStringLiteral("A project file (.vpj) to open."),
                               QStringLiteral("[PROJECT.vpj]"));
  parser.process(app);

  // The executable's folder, the plug-ins, the half-pixel matrix and the six settings.
  ProcessState& state = Process();
  StartProcessState(state);
  if (!state.ini.problem.empty()) {
    std::fprintf(stderr, "tavrona: the settings file %s could not be made: %s\n",
                 state.ini.file.c_str(), state.ini.problem.c_str());
  }
  AppProfile().Load(state.ini.file);
  ApplyLanguage(StartLanguage(parser.value(langOption),
                              AppProfile().Ini().GetString(kSettingsSection, "Language")));

  int status = 0;
  {
    CKeldaDoc document;
    CMainFrame frame(document);
    // Autosave, and the offer of what programs that did not end cleanly left behind.
    RecoverySession recovery(document, frame, state.settings.autoSaveSeconds);
    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty()) {
      // The message box of a failed read needs no window behind it.
      if (!document.OnOpenDocument(args.front())) {
        status = 1;
      } else {
        frame.RecentFiles().Add(document.PathName());
      }
    }
    if (status == 0) {
      state.timeoutTarget = &frame;
      frame.show();
      frame.Pane(PanePreview)->setFocus();
      recovery.OfferAbandoned();
      status = QApplication::exec();
    }
    recovery.EndCleanly();
    ResetTimeoutTarget(state);
  }  // the panes write their flags, the frame the recent files and the bars' visibility

  StopProcessState(state, /*writeBack=*/false);
  WriteSettings(AppProfile().Ini(), state.settings);
  if (!AppProfile().Save()) {
    std::fprintf(stderr, "tavrona: the settings could not be written to %s\n",
                 AppProfile().Path().c_str());
  }
  return status;
}

}  // namespace tavrona
