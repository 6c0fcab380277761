// Events copied on the timeline of one program and pasted on the timeline of another, through
// a real X11 clipboard: an Xvfb server of the test's own, the helper program copying, and a
// second helper pasting at frame 1000 and writing its track's records back byte for byte.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>

#include "track_view_clipboard_events.h"

namespace tavrona {
namespace {

class XServer {
 public:
  ~XServer() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();  // only the server this test started
      process_.waitForFinished(5000);
    }
  }
  // Starts Xvfb on the first free display from 90; false with the log on failure.
  bool Start(QString& log) {
    for (int n = 90; n < 140; ++n) {
      if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
          QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
        continue;
      }
      display_ = QStringLiteral(":%1").arg(n);
      process_.setProcessChannelMode(QProcess::MergedChannels);
      process_.start(QStringLiteral("Xvfb"), {display_, QStringLiteral("-screen"),
                                              QStringLiteral("0"), QStringLiteral("800x600x24"),
                                              QStringLiteral("-nolisten"), QStringLiteral("tcp")});
      if (!process_.waitForStarted(5000)) {
        log = process_.errorString();
        return false;
      }
      const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
      for (int i = 0; i < 100 && !QFile::exists(socket); ++i) {
        if (process_.waitForFinished(100)) break;
      }
      if (QFile::exists(socket) && process_.state() == QProcess::Running) return true;
      log = QString::fromLocal8Bit(process_.readAll());
      return false;
    }
    log = QStringLiteral("no free display number");
    return false;
  }
  const QString& Display() const { return display_; }

 private:
  QProcess process_;
  QString display_;
};

TEST(TrackViewX11Clipboard, EventsTravelBetweenTwoProgramsByteForByte) {
  XServer server;
  QString log;
  ASSERT_TRUE(server.Start(log)) << log.toStdString();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), server.Display());
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  // On a real display Qt's platform plug-in talks to D-Bus, whose library keeps an allocation to
  // the end; the leak checker of the sanitizer build would fail the helpers for it. Leaks of our
  // own code are checked in this program and every other test.
  const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
  env.insert(QStringLiteral("ASAN_OPTIONS"),
             asan.isEmpty() ? QStringLiteral("detect_leaks=0") : asan + ":detect_leaks=0");
  const QString helper =
      QCoreApplication::applicationDirPath() + QStringLiteral("/track_view_clipboard_helper");

  QProcess copier;
  copier.setProcessEnvironment(env);
  copier.start(helper, {QStringLiteral("copy")});
  ASSERT_TRUE(copier.waitForStarted(10000)) << copier.errorString().toStdString();
  QByteArray copierOut;
  while (!copierOut.contains("copied") && copier.waitForReadyRead(20000)) {
    copierOut += copier.readAllStandardOutput();
  }
  ASSERT_TRUE(copierOut.contains("copied"))
      << copierOut.toStdString() << copier.readAllStandardError().toStdString();

  QProcess paster;
  paster.setProcessEnvironment(env);
  const QString outPath = dir.filePath(QStringLiteral("track.bin"));
  paster.start(helper, {QStringLiteral("paste"), outPath});
  ASSERT_TRUE(paster.waitForFinished(30000));
  EXPECT_EQ(paster.exitCode(), 0) << paster.readAllStandardError().toStdString();

  copier.closeWriteChannel();
  EXPECT_TRUE(copier.waitForFinished(10000));

  QFile out(outPath);
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  const QByteArray bytes = out.readAll();
  // The three selected events, relative to the first, at the paster's position 1000; the
  // unselected one stayed behind.
  std::vector<EventRecord> expected = ClipboardTestEvents();
  for (EventRecord& e : expected) e.start = e.start - 100 + 1000;
  ASSERT_EQ(bytes.size(), static_cast<qsizetype>(expected.size() * sizeof(EventRecord)));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(
        std::memcmp(bytes.constData() + i * sizeof(EventRecord), &expected[i], sizeof(EventRecord)),
        0)
        << "record " << i;
  }
}

}  // namespace
}  // namespace tavrona
