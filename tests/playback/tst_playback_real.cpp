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
#include <QTimer>

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
        // What each tick left behind, seen right after the tick's handler.
        struct Tick {
            int value;
            QString label;
            QString caption;
        };
        QList<Tick> ticks;
        connect(form->T, &QTimer::timeout, form.get(), [&] {
            ticks.append({form->H->value(), form->Label4->text(), form->Command1->text()});
        });

        fakes->dialogs.openAnswers.push_back(fiveSeconds);
        form->Command4->click();
        QCOMPARE(form->H->maximum(), 5);
        QCOMPARE(form->markerScale, 9230 / 5);
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        QVERIFY(form->timerEnabled());
        QVERIFY(form->player().isMoviePlaying());

        // The ticks move the slider and the label along with what is heard.
        QTRY_VERIFY_WITH_TIMEOUT(form->H->value() >= 1, 5000);
        const qsizetype beforeSeek = ticks.size();
        for (const Tick& tick : ticks) {
            QVERIFY(tick.value <= 2);
            QCOMPARE(tick.label, Form1::formatTime(tick.value));
        }

        // A click on the slider moves playback on: the next ticks continue from there.
        form->H->setValue(3);
        form->H_Click();
        const std::int32_t afterSeek = form->player().getPositionInMS();
        QVERIFY2(afterSeek >= 2900 && afterSeek < 4500, qPrintable(QString::number(afterSeek)));

        // At the end a tick rewinds: slider at 0, "Play", the device back at the start, and the
        // timer still running.
        QTRY_COMPARE_WITH_TIMEOUT(form->Command1->text(), QStringLiteral("Play"), 8000);
        QCOMPARE(form->H->value(), 0);
        QVERIFY(form->timerEnabled());
        const std::int32_t rewound = form->player().getPositionInMS();
        QVERIFY2(rewound < 1000, qPrintable(QString::number(rewound)));

        const QList<Tick> afterwards = ticks.mid(beforeSeek);
        QVERIFY(!afterwards.isEmpty());
        const Tick& rewind = afterwards.constLast();
        QCOMPARE(rewind.value, 0);
        QCOMPARE(rewind.label, QStringLiteral(" 0 : 0 : 5"));
        QCOMPARE(rewind.caption, QStringLiteral("Play"));
        int previous = 3;
        for (const Tick& tick : afterwards.first(afterwards.size() - 1)) {
            QVERIFY2(tick.value >= previous && tick.value <= 4, qPrintable(tick.label));
            QCOMPARE(tick.label, Form1::formatTime(tick.value));
            QCOMPARE(tick.caption, QStringLiteral("Pause"));
            previous = tick.value;
        }
    }
};

SNIPORA_TEST(TestPlaybackReal)
#include "tst_playback_real.moc"
