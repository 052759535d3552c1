// The window on the real media command service through the silent output, with files made by
// ffmpeg: open, the position, a preview, the end of the file, a file that cannot be played, and
// a cut of an hour-long file placed to the millisecond.
#include "app/main_window.h"
#include "app/time_field.h"
#include "app/waveform_view.h"
#include "platform/mci/media_command_service.h"
#include "platform/mci/mpeg_decoder.h"
#include "support/fake_host.h"
#include "support/files.h"
#include "support/test_main.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace snipora;

namespace {
bool runFfmpeg(const QStringList& arguments) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-loglevel", "error", "-y"} + arguments);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

// `count` sample frames of the file from `from`, decoded by libmpg123 as the player numbers them.
std::vector<std::int16_t> decodeStretch(mci::MpegDecoder& decoder, std::int64_t from,
                                        std::int64_t count) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count * decoder.channels()));
    std::size_t done = 0;
    decoder.seek(from);
    while (done < samples.size()) {
        const std::size_t frames =
            decoder.read(samples.data() + done, (samples.size() - done) / decoder.channels());
        if (frames == 0) {
            break;
        }
        done += frames * decoder.channels();
    }
    samples.resize(done);
    return samples;
}

// The gapless sample a mark in milliseconds stands for (the first one at or after it).
std::int64_t sampleAt(std::int64_t ms, std::int64_t rate) {
    return (ms * rate + 999) / 1000;
}
} // namespace

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

    // On an hour, with the user's own means: the start typed, the view zoomed by keys to about
    // a millisecond a pixel, the end's handle dragged and nudged a frame on. The saved cut holds
    // exactly the samples between the marks, and they are the source's from the start mark on.
    void anHourLongCutLandsOnTheMillisecond() {
        // A rising tone, so that every stretch of a minute sounds unlike any other of it.
        const QString minute = dir.filePath(QStringLiteral("minute.mp3"));
        const QString hour = dir.filePath(QStringLiteral("hour.mp3"));
        QVERIFY(runFfmpeg({"-f", "lavfi", "-i", "aevalsrc=sin(2*PI*(200+20*t)*t):s=44100:d=60",
                           "-b:a", "64k", minute}));
        QVERIFY(runFfmpeg({"-stream_loop", "59", "-i", minute, "-c", "copy", hour}));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->openNamedFile(QFile::encodeName(hour));
        QVERIFY2(fakes->messages.shown.isEmpty(), qPrintable(fakes->messages.shown.value(0).text));
        QVERIFY2(window->session().lengthMs() > 3599000,
                 qPrintable(QString::number(window->session().lengthMs())));
        QTest::mouseClick(window->playPauseButton, Qt::LeftButton);
        QCOMPARE(window->session().state(), PlayerState::Paused);

        const auto type = [&](const QString& text) {
            QVERIFY(window->timeField()->isVisible());
            window->timeField()->edit()->selectAll();
            QTest::keyClicks(window->timeField()->edit(), text);
            QTest::keyClick(window->timeField()->edit(), Qt::Key_Return);
            QVERIFY2(!window->timeField()->isVisible(), qPrintable(window->timeField()->problem()));
        };
        QTest::mouseDClick(window->startLabel, Qt::LeftButton);
        type(QStringLiteral("37:12.345"));
        QCOMPARE(window->session().selection().start, 2232345);
        QTest::keyClick(window.get(), Qt::Key_G, Qt::ControlModifier);
        type(QStringLiteral("37:12.800"));
        QCOMPARE(window->session().positionMs(), 2232800);
        QTest::mouseClick(window->markEndButton, Qt::LeftButton);
        QCOMPARE(window->session().selection().end, 2232800);

        WaveformView* view = window->waveformView;
        while (view->msPerPixel() > 2) {
            QTest::keyClick(window.get(), Qt::Key_Plus);
        }
        QVERIFY2(view->msPerPixel() > 0.5, qPrintable(QString::number(view->msPerPixel())));
        const double msPerPixel = view->msPerPixel();
        const int x = view->xForMs(2232800);
        QVERIFY2(x > 0 && x + 60 < view->width(), qPrintable(QString::number(x)));
        const int handleY = view->findChild<QScrollBar*>()->y() - 4;
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(x, handleY));
        QTest::mouseMove(view, QPoint(x + 20, handleY));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(x + 47, handleY));
        const std::int64_t dragged = window->session().selection().end;
        QVERIFY2(std::abs(double(dragged) - (2232800 + 47 * msPerPixel)) <= msPerPixel,
                 qPrintable(QString::number(dragged)));
        QCOMPARE(window->session().activeMark(), Mark::End);
        // A frame on: 1,152 samples, the end kept to the nearest millisecond.
        QTest::keyClick(window.get(), Qt::Key_Period);
        const std::int64_t endMs = window->session().selection().end;
        QCOMPARE(endMs, ((sampleAt(dragged, 44100) + 1152) * 1000 + 22050) / 44100);
        QCOMPARE(window->session().selection().start, 2232345);

        const QString cut = dir.filePath(QStringLiteral("cut.mp3"));
        fakes->dialogs.saveAnswers.push_back(cut);
        QTest::mouseClick(window->directSaveButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window->isSaving(), 30000);
        QCOMPARE(fakes->messages.shown.constLast().text, QStringLiteral("Done\n\n") + cut);

        auto saved = mci::MpegDecoder::open(QFile::encodeName(cut));
        auto source = mci::MpegDecoder::open(QFile::encodeName(hour));
        QVERIFY(saved.decoder && source.decoder);
        // One channel at 44,100 Hz: a sample frame is a sample.
        QCOMPARE(source.decoder->rate(), 44100);
        QCOMPARE(source.decoder->channels(), 1);
        QCOMPARE(saved.decoder->channels(), 1);
        const std::int64_t first = sampleAt(2232345, 44100);
        const std::int64_t count = sampleAt(endMs, 44100) - first;
        QCOMPARE(saved.decoder->lengthFrames(), count);
        const std::vector<std::int16_t> part = decodeStretch(*saved.decoder, 0, count);
        QCOMPARE(std::int64_t(part.size()), count);
        // Where the cut's samples match the source best, 10 ms either side of the start mark;
        // the cut's first frames are left out, as the decoder's overlap there starts afresh.
        const std::int64_t reach = 441;
        const std::vector<std::int16_t> around =
            decodeStretch(*source.decoder, first - reach, count + 2 * reach);
        QCOMPARE(std::int64_t(around.size()), count + 2 * reach);
        std::int64_t bestShift = 0;
        double bestDifference = 1e9;
        for (std::int64_t shift = -reach; shift <= reach; ++shift) {
            double difference = 0;
            for (std::int64_t i = 4096; i < count; ++i) {
                difference +=
                    std::abs(part[std::size_t(i)] - around[std::size_t(i + reach + shift)]);
            }
            difference /= double(count - 4096);
            if (difference < bestDifference) {
                bestDifference = difference;
                bestShift = shift;
            }
        }
        QCOMPARE(bestShift, 0);
        QCOMPARE(bestDifference, 0.0); // the same frames decode to the same samples
    }
};

SNIPORA_TEST(TestPlaybackReal)
#include "tst_playback_real.moc"
