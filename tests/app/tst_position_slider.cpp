// The position slider under the mouse: what seeks, and how far a click on the track moves it.
#include "app/position_slider.h"
#include "support/test_main.h"
#include "support/window_fixture.h"

#include <QPaintEvent>
#include <QTest>

using namespace snipora;

class TestPositionSlider : public test::WindowFixture {
    Q_OBJECT

    QPoint at(double fraction) const {
        return {static_cast<int>(window->positionSlider->width() * fraction),
                window->positionSlider->height() / 2};
    }

    // A 100-second file, paused at `second`.
    void pausedAt(int second) {
        openPlaying(100000, second * 1000);
        window->session().pause();
        fakes->media.setMode("paused");
        window->positionSlider->setValue(second);
        fakes->media.commands.clear();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private slots:
    // An hour on a slider some 350 pixels wide: the handle stays on its pixel for seconds, and
    // nothing is repainted until it moves; then only the stretch it crossed.
    void onlyAMovingHandleRepaints_data() {
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("repainted");
        QTest::newRow("a second on") << 1 << false;
        QTest::newRow("half an hour on") << 1800 << true;
    }
    void onlyAMovingHandleRepaints() {
        QFETCH(int, to);
        QFETCH(bool, repainted);
        PositionSlider slider;
        slider.setRange(0, 3600);
        slider.setTickPosition(QSlider::TicksBelow);
        slider.resize(349, 25);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QCoreApplication::processEvents();
        struct Recorder : QObject {
            QRegion painted;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Paint) {
                    painted += static_cast<QPaintEvent*>(event)->region();
                }
                return QObject::eventFilter(watched, event);
            }
        } recorder;
        slider.installEventFilter(&recorder);
        slider.setValue(to);
        QCoreApplication::processEvents();
        QCOMPARE(!recorder.painted.isEmpty(), repainted);
        // The crossed stretch: from about the old handle's left to the new one's right.
        const QRect bounds = recorder.painted.boundingRect();
        QVERIFY(!repainted || (bounds.left() < 30 && bounds.right() > 160 && bounds.right() < 200));
    }

    void otherButtonsDoNotSeek() {
        pausedAt(50);
        QTest::mouseClick(window->positionSlider, Qt::RightButton, Qt::NoModifier, at(0.9));
        QCOMPARE(window->positionSlider->value(), 50);
        QVERIFY(!fakes->media.commands.contains("seek movie to 90000"));
        QVERIFY(std::none_of(fakes->media.commands.cbegin(), fakes->media.commands.cend(),
                             [](const QByteArray& c) { return c.startsWith("seek"); }));
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
        pausedAt(from);
        QTest::mouseClick(window->positionSlider, Qt::LeftButton, Qt::NoModifier, at(where));
        QCOMPARE(window->positionSlider->value(), to);
        QCOMPARE(fakes->media.commands.constLast(),
                 QByteArray("seek movie to ") + QByteArray::number(to * 1000));
    }

    void holdingOnTheTrackPagesUpToThePointer() {
        pausedAt(0);
        QTest::mousePress(window->positionSlider, Qt::LeftButton, Qt::NoModifier, at(0.4));
        QCOMPARE(window->positionSlider->value(), 5);
        // Paging repeats while held (after the control's half-second delay) ...
        QTRY_VERIFY_WITH_TIMEOUT(window->positionSlider->value() >= 25, 3000);
        // ... and stops once the handle reaches the pointer.
        int held = window->positionSlider->value();
        for (int waited = 0;; waited += 200) {
            QVERIFY(waited < 3000);
            QTest::qWait(200);
            const int now = window->positionSlider->value();
            if (now == held) {
                break;
            }
            held = now;
        }
        QVERIFY2(held <= 45, qPrintable(QString::number(held)));
        QTest::mouseRelease(window->positionSlider, Qt::LeftButton, Qt::NoModifier, at(0.4));
        QCOMPARE(fakes->media.commands.constLast(),
                 QByteArray("seek movie to ") + QByteArray::number(held * 1000));
    }

    // While the handle is held, the playing position does not move it.
    void heldHandleIgnoresThePosition() {
        openPlaying(100000, 0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->positionSlider->setValue(50);
        QTest::mousePress(window->positionSlider, Qt::LeftButton, Qt::NoModifier, at(0.5));
        fakes->media.setPosition(20000);
        QTest::qWait(4 * CuttingSession::positionIntervalMs);
        QCOMPARE(window->positionSlider->value(), 50);
        QTest::mouseRelease(window->positionSlider, Qt::LeftButton, Qt::NoModifier, at(0.5));
        QVERIFY(fakes->media.commands.contains("play movie from 50000"));
    }
};

SNIPORA_TEST(TestPositionSlider)
#include "tst_position_slider.moc"
