// Play/Pause, Stop, the position timer and the slider on the scripted device.
#include "app/form1.h"
#include "app/position_slider.h"
#include "support/fake_host.h"
#include "support/form_fixture.h"
#include "support/test_main.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <limits>
#include <memory>

using namespace snipora;
using snipora::test::FakeHost;

using Commands = QList<QByteArray>;

namespace {
const Commands lengthQuery{"set movie time format ms", "status movie length"};
const Commands positionQuery{"set movie time format ms", "status movie position wait"};
} // namespace

class TestTransport : public snipora::test::FormFixture {
    Q_OBJECT

    // A file of the given length, opened and playing; the commands so far are forgotten.
    void openPlaying(std::int32_t lengthMs) {
        fakes->dialogs.openAnswers.push_back(QStringLiteral("/music/a.mp3"));
        fakes->media.setLength(lengthMs);
        fakes->media.setMode("playing");
        form->Command4->click();
        fakes->media.commands.clear();
    }

private slots:
    void pauseThenPlayResumesWithPlay() {
        openPlaying(90000);
        form->Command1->click();
        QCOMPARE(fakes->media.commands, Commands{"pause movie"});
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QVERIFY(!form->timerEnabled());
        const double pausedAt = fakes->clock.now;

        fakes->media.commands.clear();
        form->markerScale = 0;
        form->Command1->click();
        QCOMPARE(fakes->media.commands, Commands{"play movie"} + lengthQuery + lengthQuery);
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
        QVERIFY(form->timerEnabled());
        QCOMPARE(form->H->maximum(), 90);
        QCOMPARE(form->markerScale, 9230 / 90);
        QVERIFY(fakes->clock.now > pausedAt); // both waits ran
    }

    void stopThenPlayStartsFromTheBeginning() {
        openPlaying(90000);
        form->H->setValue(30);
        form->Label4->setText(QStringLiteral(" 0 : 0 : 30"));
        form->markStart = 1000;
        form->markEnd = 5000;
        form->Label7->setText(QStringLiteral(" 0 : 0 : 1"));
        fakes->media.setMode("stopped");

        form->Command2->click();
        QCOMPARE(fakes->media.commands, (Commands{"stop movie", "status movie mode",
                                                  "status movie mode", "seek movie to 0"}));
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QVERIFY(!form->timerEnabled());
        QCOMPARE(form->H->value(), 0);
        QCOMPARE(form->Label4->text(), QStringLiteral("0 : 0 : 0"));
        // The marks stay.
        QCOMPARE(form->markStart, 1000);
        QCOMPARE(form->markEnd, 5000);
        QCOMPARE(form->Label7->text(), QStringLiteral(" 0 : 0 : 1"));

        fakes->media.commands.clear();
        form->Command1->click();
        QCOMPARE(fakes->media.commands.first(), QByteArray("play movie"));
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
    }

    void playWithNoFileKeepsPlay() {
        fakes->media.defaultStatus = 263;
        form->markerScale = 12;
        form->Command1->click();
        QCOMPARE(fakes->media.commands, Commands{"play movie"} + lengthQuery + lengthQuery);
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QVERIFY(form->timerEnabled());
        QCOMPARE(form->H->maximum(), 0);
        QCOMPARE(form->markerScale, 12);
    }

    void playSkipsALengthBeyondRange() {
        fakes->media.answer("status movie length", QByteArray("99999999999"));
        form->Command1->click();
        // Both length steps fail and are skipped; the timer and the wait still run.
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QVERIFY(form->timerEnabled());
        QCOMPARE(form->H->maximum(), 10);
        QCOMPARE(form->markerScale, 923);
        QVERIFY(fakes->pump.passes > 0);
    }

    void tick_data() {
        QTest::addColumn<int>("lengthMs");
        QTest::addColumn<int>("positionMs");
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<Commands>("positioning");
        QTest::newRow("mid-file") << 300000 << 42700 << QByteArray("playing") << 42 << " 0 : 0 : 42"
                                  << "Pause" << Commands{};
        // The last partial second: the truncated position equals the truncated length.
        QTest::newRow("end while playing")
            << 299500 << 299100 << QByteArray("playing") << 0 << " 0 : 4 : 59"
            << "Play" << Commands{"status movie mode", "play movie from 0"};
        QTest::newRow("end after the device stopped")
            << 299500 << 299500 << QByteArray("stopped") << 0 << " 0 : 4 : 59"
            << "Play" << Commands{"status movie mode", "status movie mode", "seek movie to 0"};
        QTest::newRow("maximum 0")
            << 400 << 0 << QByteArray("stopped") << 0 << " 0 : 0 : 0"
            << "Play" << Commands{"status movie mode", "status movie mode", "seek movie to 0"};
        // Beyond 16 bits the label still follows.
        QTest::newRow("past 32767 s")
            << 50000 * 1000 << 40000 * 1000 << QByteArray("playing") << 40000 << " 11 : 6 : 40"
            << "Pause" << Commands{};
    }
    void tick() {
        QFETCH(int, lengthMs);
        QFETCH(int, positionMs);
        QFETCH(QByteArray, mode);
        QFETCH(int, value);
        QFETCH(QString, label);
        QFETCH(QString, caption);
        QFETCH(Commands, positioning);
        openPlaying(lengthMs);
        fakes->media.setPosition(positionMs);
        fakes->media.setMode(mode);

        form->T_Timer();
        QCOMPARE(fakes->media.commands, positionQuery + positioning);
        QCOMPARE(form->H->value(), value);
        QCOMPARE(form->Label4->text(), label);
        QCOMPARE(form->Command1->text(), caption);
        QVERIFY(form->timerEnabled()); // also after a rewind
    }

    void maximumZeroRewindsOnEveryTick() {
        openPlaying(700);
        fakes->media.setPosition(300);
        for (int i = 0; i < 3; ++i) {
            fakes->media.commands.clear();
            form->Command1->setText(QStringLiteral("Pause"));
            form->T_Timer();
            QCOMPARE(fakes->media.commands.constLast(), QByteArray("play movie from 0"));
            QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        }
        QVERIFY(form->timerEnabled());
    }

    void rewoundThenPlayShowsPause() {
        openPlaying(10500);
        fakes->media.setPosition(10200);
        form->T_Timer();
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        fakes->media.commands.clear();
        form->Command1->click();
        QCOMPARE(fakes->media.commands.first(), QByteArray("play movie"));
        QCOMPARE(form->Command1->text(), QStringLiteral("Pause"));
    }

    void aPositionBeyondRangeLeavesTheSlider() {
        openPlaying(300000);
        form->H->setValue(17);
        fakes->media.answer("status movie position wait", QByteArray("99999999999"));
        form->T_Timer();
        QCOMPARE(form->H->value(), 17);
        QCOMPARE(form->Label4->text(), QStringLiteral(" 0 : 0 : 17"));
    }

    void sliderClickSeeks_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<Commands>("commands");
        QTest::newRow("playing") << QByteArray("playing")
                                 << Commands{"status movie mode", "play movie from 42000"};
        QTest::newRow("paused") << QByteArray("paused")
                                << Commands{"status movie mode", "status movie mode",
                                            "seek movie to 42000"};
    }
    void sliderClickSeeks() {
        QFETCH(QByteArray, mode);
        QFETCH(Commands, commands);
        openPlaying(300000);
        fakes->media.setMode(mode);
        form->H->setValue(42);
        form->H_Click();
        QCOMPARE(fakes->media.commands, commands);
    }

    void sliderValueBeyondMillisecondRangeIsClamped() {
        form->H->setMax(std::numeric_limits<std::int32_t>::max());
        form->H->setValue(3000000); // 3e9 ms does not fit 32 bits
        form->H_Click();
        QCOMPARE(fakes->media.commands.constLast(), QByteArray("seek movie to 2147483647"));
    }

    void negativeMaximumIsRefused() {
        fakes->media.answer("status movie length", QByteArray("-5000"));
        form->markerScale = 3;
        form->Command1->click();
        QCOMPARE(form->H->minimum(), 0);
        QCOMPARE(form->H->maximum(), 10);
        QCOMPARE(form->markerScale, 923);
    }
};

SNIPORA_TEST(TestTransport)
#include "tst_transport.moc"
