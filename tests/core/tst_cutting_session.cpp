// The cutting session on a scripted media device: opening, the preview, the end of the file.
#include "core/cutting_session.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace snipora;
using snipora::test::FakeMedia;

namespace {
const QByteArray someFile = QFile::encodeName(QStringLiteral(SNIPORA_PROGRAM_DIR "/thanks.txt"));
}

class TestCuttingSession : public QObject {
    Q_OBJECT

    FakeMedia media;

    // Plays a file of `lengthMs` on the scripted device.
    void openPlaying(CuttingSession& session, std::int32_t lengthMs) {
        media.setLength(lengthMs);
        media.setPosition(0);
        media.setMode("playing");
        QVERIFY(!session.open(someFile, 1));
    }

private slots:
    void init() { media = FakeMedia(); }

    void refusedFileLeavesNoFile_data() {
        QTest::addColumn<std::uint32_t>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not MPEG audio") << 296U << "it holds no MPEG audio that can be decoded";
        QTest::newRow("missing") << 275U << "the file does not exist";
    }
    void refusedFileLeavesNoFile() {
        QFETCH(std::uint32_t, status);
        QFETCH(QString, reason);
        CuttingSession session(media);
        openPlaying(session, 5000);
        session.setStart(1000);
        media.commands.clear();
        media.onCommand = [&](const QByteArray& command) {
            if (command.startsWith("open ")) {
                media.defaultStatus = status;
            }
        };
        const auto refusal = session.open(someFile, 1);
        QCOMPARE(refusal.value_or(QString()),
                 QStringLiteral("thanks.txt cannot be played: %1.").arg(reason));
        QCOMPARE(session.state(), PlayerState::NoFile);
        QCOMPARE(session.sourceHandle(), -1);
        QCOMPARE(session.selection(), Selection{});
        QVERIFY(!media.commands.contains("play movie"));
    }

    void openQuotesTheNameSafely() {
        CuttingSession session(media);
        QVERIFY(session.open("/tmp/x\" alias movie \"y.mp3", 1).has_value()); // no such file
        QVERIFY(media.commands.contains(
            "open \"/tmp/x\"\" alias movie \"\"y.mp3\" type mpegvideo alias movie parent 1 "
            "style child "));
    }

    // How finely the window shows the position (-1: nothing shown, as when minimised).
    static void addShownStepColumn() {
        QTest::addColumn<qint64>("shownStep");
        QTest::newRow("every interval") << qint64(CuttingSession::positionIntervalMs);
        QTest::newRow("every second") << qint64(1000);
        QTest::newRow("nothing shown") << qint64(-1);
    }
    static void showStep(CuttingSession& session) {
        QFETCH(qint64, shownStep);
        session.setPositionStep(shownStep < 0 ? std::nullopt : std::optional<qint64>(shownStep));
    }

    // However seldom the position is shown, a preview is watched up to its end mark.
    void previewPausesAtItsEndMark_data() { addShownStepColumn(); }
    void previewPausesAtItsEndMark() {
        CuttingSession session(media);
        openPlaying(session, 60000);
        showStep(session);
        session.setStart(2000);
        session.setEnd(5000);
        QVERIFY(session.playSelection());
        QVERIFY(media.commands.contains("play movie from 2000"));
        media.setPosition(4990);
        QTest::qWait(3 * CuttingSession::positionIntervalMs);
        QVERIFY(!media.commands.contains("pause movie"));
        media.setPosition(5010);
        QTRY_COMPARE(session.state(), PlayerState::Paused);
        QVERIFY(media.commands.contains("pause movie"));
    }

    // F6 plays the 2 s after the start mark, F7 the 2 s up to the end mark, each pausing at its
    // end; L plays the selection from its start again each time it reaches its end.
    void edgesAndLoopPlayTheirStretch_data() {
        QTest::addColumn<int>("kind"); // 0 after the start, 1 before the end, 2 loop, 3 as cut
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<int>("stillPlaying");
        QTest::addColumn<int>("pastTheEnd");
        QTest::newRow("after the start") << 0 << QByteArray("play movie from 2000") << 3990 << 4010;
        QTest::newRow("before the end") << 1 << QByteArray("play movie from 5000") << 6990 << 7010;
        QTest::newRow("loop") << 2 << QByteArray("play movie from 2000") << 6990 << 7010;
        // Up to the start mark, then on from the end mark: the device is told the jump at once
        // and makes it itself, so the position runs on from the end mark with no command.
        QTest::newRow("as cut") << 3 << QByteArray("play movie from 0 skip 2000 to 7000") << 1900
                                << 7010;
    }
    void edgesAndLoopPlayTheirStretch() {
        QFETCH(int, kind);
        QFETCH(QByteArray, from);
        QFETCH(int, stillPlaying);
        QFETCH(int, pastTheEnd);
        CuttingSession session(media);
        openPlaying(session, 60000);
        session.setStart(2000);
        session.setEnd(7000);
        media.commands.clear();
        QVERIFY(kind == 0   ? session.playAfterStart()
                : kind == 1 ? session.playBeforeEnd()
                : kind == 2 ? session.loopSelection()
                            : session.playAsCut());
        QVERIFY(media.commands.contains(from));
        media.setPosition(stillPlaying);
        QTest::qWait(3 * CuttingSession::positionIntervalMs);
        QCOMPARE(session.state(), PlayerState::Playing);
        media.commands.clear();
        media.setPosition(pastTheEnd);
        if (kind == 2) {
            QTRY_VERIFY(media.commands.contains("play movie from 2000"));
            QCOMPARE(session.state(), PlayerState::Playing);
            QVERIFY(session.isLooping());
            session.pause();
            QVERIFY(!session.isLooping());
        } else if (kind == 3) {
            QTest::qWait(3 * CuttingSession::positionIntervalMs);
            QVERIFY(std::none_of(media.commands.cbegin(), media.commands.cend(), [](const auto& c) {
                return c.startsWith("play movie") || c.startsWith("seek movie");
            }));
            media.setPosition(8990);
            QTest::qWait(3 * CuttingSession::positionIntervalMs);
            QCOMPARE(session.state(), PlayerState::Playing);
            media.setPosition(9010);
            QTRY_COMPARE(session.state(), PlayerState::Paused);
        } else {
            QTRY_COMPARE(session.state(), PlayerState::Paused);
            QVERIFY(media.commands.contains("pause movie"));
        }
    }

    // Stop, Open, Play and a seek end a preview: playback then runs past the old end mark.
    void previewEndsWithAnyTransportAction_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("stop, then play") << 0;
        QTest::newRow("pause, then play") << 1;
        QTest::newRow("seek") << 2;
    }
    void previewEndsWithAnyTransportAction() {
        QFETCH(int, action);
        CuttingSession session(media);
        openPlaying(session, 60000);
        session.setStart(2000);
        session.setEnd(5000);
        QVERIFY(session.playSelection());
        if (action == 0) {
            session.stop();
            session.play();
        } else if (action == 1) {
            session.pause();
            session.play();
        } else {
            session.seekTo(1000);
        }
        QVERIFY(!session.isPreviewing());
        media.commands.clear();
        media.setPosition(7000);
        QTest::qWait(4 * CuttingSession::positionIntervalMs);
        QCOMPARE(session.state(), PlayerState::Playing);
        QVERIFY(!media.commands.contains("pause movie"));
    }

    // However seldom the position is shown, the end of the file is noticed.
    void endOfFileStopsAtTheStart_data() { addShownStepColumn(); }
    void endOfFileStopsAtTheStart() {
        CuttingSession session(media);
        openPlaying(session, 1000);
        showStep(session);
        QSignalSpy positions(&session, &CuttingSession::positionChanged);
        media.setPosition(1000);
        media.setMode("stopped");
        QTRY_COMPARE(session.state(), PlayerState::Stopped);
        QCOMPARE(positions.constLast().at(0).value<std::int64_t>(), 0);
        QVERIFY(media.commands.contains("seek movie to 0"));
        QVERIFY(!media.commands.contains("play movie from 0"));
    }

    // The active mark moves by one frame of this source: 1152 samples for MPEG-1, 576 for
    // MPEG-2 and 2.5; by 100 ms with Shift. I, O, a drag or a pick make a mark active.
    void nudgesMoveTheActiveMarkByTheSourcesFrame_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("samplesPerFrame");
        QTest::addColumn<qint64>("oneFrameLater"); // from 2000 ms
        QTest::newRow("MPEG-1, 44,100 Hz") << 44100 << 1152 << qint64(2026);
        QTest::newRow("MPEG-1, 32,000 Hz") << 32000 << 1152 << qint64(2036);
        QTest::newRow("MPEG-2, 22,050 Hz") << 22050 << 576 << qint64(2026);
        QTest::newRow("MPEG-2, 16,000 Hz") << 16000 << 576 << qint64(2036);
        QTest::newRow("MPEG-2.5, 8,000 Hz") << 8000 << 576 << qint64(2072);
    }
    void nudgesMoveTheActiveMarkByTheSourcesFrame() {
        QFETCH(int, rate);
        QFETCH(int, samplesPerFrame);
        QFETCH(qint64, oneFrameLater);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tone.mp3"));
        QProcess encoder;
        encoder.start(QStringLiteral("ffmpeg"),
                      {"-v", "error", "-f", "lavfi", "-i",
                       QStringLiteral("sine=d=6:r=%1").arg(rate), "-b:a", "32k", "-y", path});
        QVERIFY(encoder.waitForFinished(30000) && encoder.exitCode() == 0);
        CuttingSession session(media);
        media.setLength(6000);
        media.setMode("playing");
        QVERIFY(!session.open(QFile::encodeName(path), 1));
        QCOMPARE(session.samplesPerFrame(), samplesPerFrame);
        QCOMPARE(session.sampleRate(), rate);

        session.setStart(2000);
        session.setEnd(4000);
        QCOMPARE(session.activeMark(), Mark::End);
        QSignalSpy changed(&session, &CuttingSession::selectionChanged);
        session.setActiveMark(Mark::Start);
        QCOMPARE(changed.count(), 1);
        session.setActiveMark(Mark::Start); // no change, no signal
        QCOMPARE(changed.count(), 1);
        session.nudgeActiveMarkByFrames(1);
        QCOMPARE(session.selection(), (Selection{oneFrameLater, 4000}));
        session.nudgeActiveMarkByFrames(-1);
        QCOMPARE(session.selection(), (Selection{2000, 4000}));
        session.setActiveMark(Mark::End);
        session.nudgeActiveMark(-100);
        QCOMPARE(session.selection(), (Selection{2000, 3900}));
        session.nudgeActiveMarkByFrames(2);
        session.nudgeActiveMarkByFrames(-2);
        QCOMPARE(session.selection(), (Selection{2000, 3900}));
        session.setStart(1000);
        QCOMPARE(session.activeMark(), Mark::Start);
    }

    void marksTakeTheCursorWhilePausedOrStopped() {
        CuttingSession session(media);
        openPlaying(session, 60000);
        session.pause();
        media.setPosition(1234);
        session.markStartAtCursor();
        session.stop();
        session.seekTo(5678);
        media.setPosition(5678);
        session.markEndAtCursor();
        QCOMPARE(session.selection(), (Selection{1234, 5678}));
    }
};

SNIPORA_TEST(TestCuttingSession)
#include "tst_cutting_session.moc"
