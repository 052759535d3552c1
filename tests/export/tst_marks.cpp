// Mark Start, Mark End and Play Selected on the scripted media device.
#include "app/form1.h"
#include "app/position_slider.h"
#include "support/fake_host.h"
#include "support/form_fixture.h"
#include "support/test_main.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;

namespace {
const QString invalidSelection = "Start time cannot be >= End time. Invalid Selection";
}

class TestMarks : public snipora::test::FormFixture {
    Q_OBJECT

    // Clicks Mark Start or Mark End while the device reports the given position.
    void mark(QPushButton* button, std::int32_t positionMs) {
        fakes->media.setPosition(positionMs);
        button->click();
    }

private slots:
    void markerLinesFollowTheSlider_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("slider");
        QTest::addColumn<float>("startX");
        QTest::addColumn<float>("endX");
        QTest::newRow("no scale yet") << 0 << 7 << 170.0F << 330.0F;
        QTest::newRow("slider 10, scale 25") << 25 << 10 << 420.0F << 580.0F;
        QTest::newRow("slider at 0") << 25 << 0 << 170.0F << 330.0F;
    }
    void markerLinesFollowTheSlider() {
        QFETCH(int, scale);
        QFETCH(int, slider);
        QFETCH(float, startX);
        QFETCH(float, endX);
        form->markerScale = scale;
        form->H->setValue(slider);
        mark(form->Command5, 4000);
        mark(form->Command6, 9000);
        QCOMPARE(form->Line1.X1(), startX);
        QCOMPARE(form->Line1.X2(), startX);
        QCOMPARE(form->Line2.X1(), endX);
        QCOMPARE(form->Line2.X2(), endX);
        // Only the x coordinates move.
        QCOMPARE(form->Line1.Y1(), 5460.0F);
        QCOMPARE(form->Line2.Y2(), 5220.0F);
    }

    void marksAndTheirTexts_data() {
        QTest::addColumn<int>("startMs");
        QTest::addColumn<int>("endMs");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("endText");
        QTest::addColumn<QString>("lengthText");
        // The length is the difference of the truncated seconds, not the truncated difference.
        QTest::newRow("1999 to 3001 ms") << 1999 << 3001 << " 0 : 0 : 1"
                                         << " 0 : 0 : 3"
                                         << " 0 : 0 : 2";
        QTest::newRow("equal marks") << 5000 << 5000 << " 0 : 0 : 5"
                                     << " 0 : 0 : 5"
                                     << "0 : 0 : 0";
        QTest::newRow("beyond 16-bit seconds") << 1000 << 40000000 << " 0 : 0 : 1"
                                               << " 11 : 6 : 40"
                                               << " 11 : 6 : 39";
    }
    void marksAndTheirTexts() {
        QFETCH(int, startMs);
        QFETCH(int, endMs);
        QFETCH(QString, startText);
        QFETCH(QString, endText);
        QFETCH(QString, lengthText);
        mark(form->Command5, startMs);
        mark(form->Command6, endMs);
        QCOMPARE(form->markStart, startMs);
        QCOMPARE(form->markEnd, endMs);
        QCOMPARE(form->Label7->text(), startText);
        QCOMPARE(form->Label9->text(), endText);
        QCOMPARE(form->Label3->text(), lengthText);
    }

    void markingDoesNotTouchPlayback() {
        form->H->setValue(3);
        mark(form->Command5, 3100);
        QCOMPARE(fakes->media.commands,
                 (QList<QByteArray>{"set movie time format ms", "status movie position wait"}));
        QCOMPARE(form->H->value(), 3);
        QVERIFY(!form->timerEnabled());
    }

    void markEndBeforeMarkStart() {
        mark(form->Command6, 7000);
        QCOMPARE(form->markStart, 0);
        QCOMPARE(form->Label3->text(), QStringLiteral(" 0 : 0 : 7"));
    }

    void startAfterEndIsKeptButRefused() {
        mark(form->Command6, 3000);
        mark(form->Command5, 5000);
        QCOMPARE(form->markStart, 5000);
        QCOMPARE(form->Label7->text(), QStringLiteral(" 0 : 0 : 5"));
        QCOMPARE(form->Label3->text(), QStringLiteral("0 : 0 : 0"));
        fakes->media.commands.clear();
        form->Command9->click();
        QCOMPARE(fakes->messages.shown.size(), 1);
        QCOMPARE(fakes->messages.shown[0].text, invalidSelection);
        QCOMPARE(fakes->messages.shown[0].style, MessageStyle::Information);
        QVERIFY(fakes->media.commands.isEmpty());
        QVERIFY(!form->timerEnabled());
    }

    void previewPlaysFromStartAndPausesAtEnd() {
        form->markStart = 2000;
        form->markEnd = 2500;
        fakes->media.setMode("playing");
        fakes->media.answerInTurn("status movie position wait",
                                  {{0, "2000"}, {0, "2300"}, {0, "2510"}});
        QStringList captionsInWait;
        QList<bool> timerInWait;
        fakes->pump.everyPass = [&] {
            captionsInWait << form->Command1->text();
            timerInWait << form->timerEnabled();
            form->H->setValue(2);
        };
        form->Command9->click();

        const QList<QByteArray> expected{"play movie",
                                         "status movie mode",
                                         "play movie from 2000",
                                         "set movie time format ms",
                                         "status movie position wait",
                                         "set movie time format ms",
                                         "status movie position wait",
                                         "set movie time format ms",
                                         "status movie position wait",
                                         "pause movie"};
        QCOMPARE(fakes->media.commands, expected);
        QCOMPARE(captionsInWait, (QStringList{"Pause", "Pause"}));
        QCOMPARE(timerInWait, (QList<bool>{true, true}));
        // Every poll sleeps 200 ms, with events pumped before it: no spinning.
        QCOMPARE(fakes->pump.passes, 2);
        QCOMPARE(fakes->pump.sleeps, 2);
        QCOMPARE(fakes->pump.sleptMs, 400.0);
        QCOMPARE(form->Label4->text(), QStringLiteral(" 0 : 0 : 2"));
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
        QVERIFY(form->timerEnabled());
        QVERIFY(fakes->messages.shown.isEmpty());
    }

    void previewAfterOpenStartsAtZero() {
        form->markEnd = 7000;
        fakes->media.setMode("stopped");
        fakes->media.setPosition(7000);
        form->Command9->click();
        QVERIFY(fakes->media.commands.contains("seek movie to 0"));
        QCOMPARE(fakes->pump.passes, 0);
        QCOMPARE(fakes->media.commands.constLast(), QByteArray("pause movie"));
    }

    void markEndDuringPreviewEndsItAtTheNextPoll() {
        form->markStart = 1000;
        form->markEnd = 60000;
        fakes->media.setMode("playing");
        // Playback never reaches the end mark on its own.
        fakes->media.setPosition(4200);
        int passAtClick = -1;
        fakes->pump.onPass(3, [&] {
            passAtClick = fakes->pump.passes;
            form->Command6->click();
        });
        form->Command9->click();
        QCOMPARE(passAtClick, 3);
        QCOMPARE(form->markEnd, 4200);
        QCOMPARE(form->Label9->text(), QStringLiteral(" 0 : 0 : 4"));
        // The click came during pass 3; the poll right after it ends the preview.
        QCOMPARE(fakes->pump.passes, 3);
        QCOMPARE(fakes->media.commands.constLast(), QByteArray("pause movie"));
        QCOMPARE(form->Command1->text(), QStringLiteral("Play"));
    }
};

SNIPORA_TEST(TestMarks)
#include "tst_marks.moc"
