// The window on the real media command service through the silent output, with files made by
// ffmpeg: open, the position, a preview, the end of the file, a file that cannot be played.
#include "app/main_window.h"
#include "platform/mci/media_command_service.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace snipora;

class TestPlaybackReal : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString twoSeconds;
    std::unique_ptr<mci::MediaCommandService> service;
    std::unique_ptr<test::FakeHost> fakes; // dialogs, messages and the program's end
    std::unique_ptr<MainWindow> window;

private slots:
    void initTestCase() {
        // A name a media command could be fooled by, were it not quoted safely.
        twoSeconds = dir.filePath(QStringLiteral("two \" alias movie \" seconds.mp3"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                      "sine=frequency=440:duration=2", "-b:a", "128k", twoSeconds});
        QVERIFY(ffmpeg.waitForFinished(30000));
        QCOMPARE(ffmpeg.exitCode(), 0);
    }
    void init() {
        service = std::make_unique<mci::MediaCommandService>(
            mci::makeOutputFactory(mci::OutputChoice::Null));
        fakes = std::make_unique<test::FakeHost>();
        window = std::make_unique<MainWindow>(Host{*service, fakes->messages, fakes->dialogs,
                                                   fakes->processes, fakes->links, fakes->program,
                                                   fakes->advertisementPage});
    }
    void cleanup() {
        window.reset();
        service.reset();
        fakes.reset();
    }

    // At the end of the file playback stops and goes back to the start: it does not start over.
    void playsToTheEndAndStops() {
        window->openNamedFile(QFile::encodeName(twoSeconds));
        QVERIFY(fakes->messages.shown.isEmpty());
        QCOMPARE(window->playPauseButton->text(), QStringLiteral("Pause"));
        QCOMPARE(window->session().lengthMs(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(window->positionLabel->text(), QStringLiteral(" 0 : 0 : 1"),
                                  3000);
        QTRY_COMPARE_WITH_TIMEOUT(window->session().state(), PlayerState::Stopped, 4000);
        QCOMPARE(window->playPauseButton->text(), QStringLiteral("Play"));
        QCOMPARE(window->positionLabel->text(), QStringLiteral("0 : 0 : 0"));
        QTest::qWait(300);
        QCOMPARE(window->session().positionMs(), 0);
        QCOMPARE(window->session().state(), PlayerState::Stopped);
    }

    // A name that is not valid text still opens: the window keeps its bytes.
    void aNameThatIsNotTextOpens() {
        const QByteArray bytes = QFile::encodeName(dir.path()) + "/caf\xe9 \xff.mp3";
        QVERIFY(QFile::copy(twoSeconds, dir.filePath(QStringLiteral("copy.mp3"))));
        QCOMPARE(::rename(QFile::encodeName(dir.filePath(QStringLiteral("copy.mp3"))).constData(),
                          bytes.constData()),
                 0);
        window->openNamedFile(bytes);
        QVERIFY2(fakes->messages.shown.isEmpty(), qPrintable(fakes->messages.shown.value(0).text));
        QCOMPARE(window->session().state(), PlayerState::Playing);
        QCOMPARE(window->session().lengthMs(), 2000);
    }

    void previewPausesAtTheEndMark() {
        window->openNamedFile(QFile::encodeName(twoSeconds));
        window->session().setStart(200);
        window->session().setEnd(900);
        window->playSelection();
        QTRY_COMPARE_WITH_TIMEOUT(window->session().state(), PlayerState::Paused, 3000);
        const std::int64_t stoppedAt = window->session().positionMs();
        QVERIFY2(stoppedAt >= 900 && stoppedAt < 1100, qPrintable(QString::number(stoppedAt)));
    }

    void aFileThatCannotBePlayedIsRefused_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not sound at all\n").repeated(100);
    }
    void aFileThatCannotBePlayedIsRefused() {
        QFETCH(QByteArray, contents);
        window->openNamedFile(QFile::encodeName(twoSeconds));
        const QString bad = dir.filePath(QStringLiteral("bad.mp3"));
        QVERIFY(test::writeFile(bad, contents));
        window->openNamedFile(QFile::encodeName(bad));
        QCOMPARE(fakes->messages.shown.size(), 1);
        QVERIFY2(
            fakes->messages.shown[0].text.startsWith(QStringLiteral("bad.mp3 cannot be played: ")),
            qPrintable(fakes->messages.shown[0].text));
        QCOMPARE(window->session().state(), PlayerState::NoFile);
        QCOMPARE(window->playPauseButton->text(), QStringLiteral("Play"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Snipora"));
    }
};

SNIPORA_TEST(TestPlaybackReal)
#include "tst_playback_real.moc"
