// The position slider under the mouse and the keyboard: what pauses the ticks, what seeks, and
// how far a click on the track moves it.
#include "app/form1.h"
#include "app/position_slider.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QPushButton>
#include <QTest>

#include <memory>

using namespace snipora;
using snipora::test::FakeHost;

using Commands = QList<QByteArray>;

class TestSlider : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<Form1> form;

    QPoint at(double fraction) const {
        return {static_cast<int>(form->H->width() * fraction), form->H->height() / 2};
    }

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        form = std::make_unique<Form1>(fakes->host());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() {
        form.reset();
        fakes.reset();
    }

    void holdingTheHandleStopsTheTicks_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<bool>("timerAfter");
        QTest::addColumn<Commands>("commands");
        QTest::newRow("playing") << QByteArray("playing") << true
                                 << Commands{"status movie mode", "status movie mode",
                                             "play movie from 5000"};
        QTest::newRow("paused") << QByteArray("paused") << false
                                << Commands{"status movie mode", "status movie mode",
                                            "status movie mode", "seek movie to 5000"};
    }
    void holdingTheHandleStopsTheTicks() {
        QFETCH(QByteArray, mode);
        QFETCH(bool, timerAfter);
        QFETCH(Commands, commands);
        form->H->setValue(5); // of 0..10: the handle sits in the middle
        form->setTimerEnabled(true);
        fakes->media.setMode(mode);

        QTest::mousePress(form->H, Qt::LeftButton, Qt::NoModifier, at(0.5));
        QVERIFY(!form->timerEnabled());
        QVERIFY(fakes->media.commands.isEmpty());
        QTest::mouseRelease(form->H, Qt::LeftButton, Qt::NoModifier, at(0.5));
        // Release asks the device; the click then seeks to the value held.
        QCOMPARE(form->timerEnabled(), timerAfter);
        QCOMPARE(form->H->value(), 5);
        QCOMPARE(fakes->media.commands, commands);
    }

    void otherButtonsDoNotSeek() {
        form->H->setValue(5);
        fakes->media.setMode("paused");
        QTest::mouseClick(form->H, Qt::RightButton, Qt::NoModifier, at(0.9));
        QCOMPARE(form->H->value(), 5);
        // Press and release still pause and resume the ticks; nothing seeks.
        QCOMPARE(fakes->media.commands, QList<QByteArray>{"status movie mode"});
    }

    void aClickOnTheTrackPagesByFive_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<double>("where");
        QTest::addColumn<int>("to");
        QTest::newRow("right of the handle") << 10 << 0.97 << 15;
        QTest::newRow("left of the handle") << 50 << 0.03 << 45;
        QTest::newRow("near the end") << 98 << 0.999 << 100;
    }
    void aClickOnTheTrackPagesByFive() {
        QFETCH(int, from);
        QFETCH(double, where);
        QFETCH(int, to);
        form->H->setMax(100);
        form->H->setValue(from);
        fakes->media.setMode("paused");
        QTest::mouseClick(form->H, Qt::LeftButton, Qt::NoModifier, at(where));
        QCOMPARE(form->H->value(), to);
        QCOMPARE(fakes->media.commands.constLast(),
                 QByteArray("seek movie to ") + QByteArray::number(to * 1000));
    }

    void holdingOnTheTrackPagesUpToThePointer() {
        form->H->setMax(100);
        form->H->setValue(0);
        QTest::mousePress(form->H, Qt::LeftButton, Qt::NoModifier, at(0.4));
        QCOMPARE(form->H->value(), 5);
        // Paging repeats while held (after the control's half-second delay) ...
        QTRY_VERIFY_WITH_TIMEOUT(form->H->value() >= 25, 3000);
        // ... and stops once the handle reaches the pointer.
        int held = form->H->value();
        for (int waited = 0;; waited += 200) {
            QVERIFY(waited < 3000);
            QTest::qWait(200);
            const int now = form->H->value();
            if (now == held) {
                break;
            }
            held = now;
        }
        QVERIFY2(held <= 45, qPrintable(QString::number(held)));
        QTest::mouseRelease(form->H, Qt::LeftButton, Qt::NoModifier, at(0.4));
        QCOMPARE(fakes->media.commands.constLast(),
                 QByteArray("seek movie to ") + QByteArray::number(held * 1000));
    }

    void keyboardMovesDoNotSeek_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");
        QTest::newRow("right") << int(Qt::Key_Right) << 21;
        QTest::newRow("left") << int(Qt::Key_Left) << 19;
        QTest::newRow("page up") << int(Qt::Key_PageUp) << 25;
        QTest::newRow("end") << int(Qt::Key_End) << 100;
    }
    void keyboardMovesDoNotSeek() {
        QFETCH(int, key);
        QFETCH(int, to);
        form->H->setMax(100);
        form->H->setValue(20);
        form->H->setFocus();
        QTest::keyClick(form->H, Qt::Key(key));
        QCOMPARE(form->H->value(), to);
        QVERIFY(fakes->media.commands.isEmpty());
    }
};

SNIPORA_TEST(TestSlider)
#include "tst_slider.moc"
