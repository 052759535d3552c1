// Open, the position timer, the slider and the rewind at the end on the real media command
// service through the null output, with a file made by ffmpeg and the real clock and pump.
#include "app/form1.h"
#include "app/position_slider.h"
#include "platform/mci/media_command_service.h"
#include "platform/qt_host.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;

class TestPlaybackReal : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString fiveSeconds;
    std::unique_ptr<mci::MediaCommandService> service;
    QtClock clock;
    QtEventPump pump;
    std::unique_ptr<FakeHost> fakes; // dialogs, messages and the program's end
    std::unique_ptr<Form1> form;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        fiveSeconds = dir.filePath(QStringLiteral("five seconds.mp3"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                      "sine=frequency=440:duration=5", "-b:a", "128k", fiveSeconds});
        QVERIFY(ffmpeg.waitForFinished(30000));
        QCOMPARE(ffmpeg.exitCode(), 0);
    }
    void init() {
        service = std::make_unique<mci::MediaCommandService>(
            mci::makeOutputFactory(mci::OutputChoice::Null));
        fakes = std::make_unique<FakeHost>();
        const Host host{*service,       clock,
                        pump,           fakes->messages,
                        fakes->dialogs, fakes->processes,
                        fakes->program, fakes->advertisementPage};
        form = std::make_unique<Form1>(host);
    }
    void cleanup() {
        form.reset();
        service.reset();
        fakes.reset();
    }

    void playsFollowsSeeksAndRewindsAtTheEnd() {
        fakes->dialogs.openAnswers.push_back(fiveSeconds);
        form->Command4->click();
        QCOMPARE(form->H->maximum(), 5);
        QCOMPARE(form->markerScale, 9230 / 5);
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        QVERIFY(form->timerEnabled());
        QVERIFY(form->player().isMoviePlaying());

        // The ticks move the slider and the label along with what is heard.
        QTRY_VERIFY_WITH_TIMEOUT(form->H->value() >= 1, 3000);
        QVERIFY(form->H->value() <= 2);
        QCOMPARE(form->Label4->text(), Form1::formatTime(form->H->value()));

        // A click on the slider moves playback on: the next ticks continue from there.
        form->H->setValue(3);
        form->H_Click();
        const std::int32_t afterSeek = form->player().getPositionInMS();
        QVERIFY2(afterSeek >= 2900 && afterSeek < 3600, qPrintable(QString::number(afterSeek)));
        QTRY_COMPARE_WITH_TIMEOUT(form->H->value(), 4, 2500);
        QCOMPARE(form->Label4->text(), QStringLiteral(" 0 : 0 : 4"));

        // At the end the tick rewinds: slider at 0, "Play", the device back at the start, and
        // the timer still running.
        QTRY_COMPARE_WITH_TIMEOUT(form->Command1->text(), QStringLiteral("Play"), 3000);
        QCOMPARE(form->H->value(), 0);
        QVERIFY(form->timerEnabled());
        const std::int32_t rewound = form->player().getPositionInMS();
        QVERIFY2(rewound < 1000, qPrintable(QString::number(rewound)));
    }
};

SNIPORA_TEST(TestPlaybackReal)
#include "tst_playback_real.moc"
