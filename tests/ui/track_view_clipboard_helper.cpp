// Helper of the two-process clipboard test, run on a real X display.
//   track_view_clipboard_helper copy         puts ClipboardTestEvents() (plus an unselected
//                                            event) on track 0, copies them with the timeline's
//                                            copy command, prints "copied" and keeps the
//                                            clipboard until its standard input closes;
//   track_view_clipboard_helper paste FILE   sets the timeline position to 1000 with a click in
//                                            the tick strip, pastes, and writes track 0's
//                                            records to FILE.
// Exit status 0 on success.
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "track_view_clipboard_events.h"
#include "ui/document.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"

using namespace tavrona;

namespace {

void SendMouse(QWidget* target, QEvent::Type type, QPoint at) {
  QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  QApplication app(argc, argv);
  AppProfile().Load("/tmp/track_view_clipboard_helper.INI");
  CKeldaDoc doc;
  doc.Project().frameRate = 30.0;
  doc.Project().movieLength = 5000;
  CTrackView view(doc);
  view.resize(400, 300);
  view.show();
  view.OnUpdate(nullptr);
  QApplication::processEvents();

  if (std::strcmp(argv[1], "copy") == 0) {
    std::vector<EventRecord> events = ClipboardTestEvents();
    EventRecord other{};
    other.flags = EventInUse;
    other.start = 120;
    events.insert(events.begin() + 1, other);
    InsertSorted(doc.Project().tracks[0], static_cast<uint32_t>(events.size()), events.data());
    view.RunCommand(CmdEditCopy);
    std::printf("copied\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
      char buffer[64];
      if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) app.quit();
    });
    QTimer::singleShot(60000, &app, &QApplication::quit);  // never outlive a lost test
    return app.exec();
  }
  if (std::strcmp(argv[1], "paste") == 0 && argc >= 3) {
    // Frame 1000 at scale 4 is x 8000 in the document.
    view.ScrollToPosition(QPoint(7900, 0));
    SendMouse(view.viewport(), QEvent::MouseButtonPress, QPoint(100, 25));
    SendMouse(view.viewport(), QEvent::MouseButtonRelease, QPoint(100, 25));
    if (view.State().position != 1000) return 3;
    view.RunCommand(CmdEditPaste);
    const TrackData& track = doc.Project().tracks[0];
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly)) return 4;
    out.write(reinterpret_cast<const char*>(track.events.get()),
              static_cast<qint64>(track.count * sizeof(EventRecord)));
    return 0;
  }
  return 2;
}
