// The first start on screens of several heights, which the offscreen platform is given by
// screens.json (the test's environment names it): a low screen gets a shorter window.
#include "support/test_main.h"
#include "support/window_fixture.h"

#include <QGuiApplication>
#include <QScreen>

using namespace snipora;

class TestLowScreen : public test::WindowFixture {
    Q_OBJECT

private slots:
    // A title bar's 40 pixels are allowed for; the window never goes below its lowest height.
    void firstStartFitsTheScreen_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<int>("height");
        QTest::newRow("tall: the start-up height") << "tall" << 411;
        QTest::newRow("430 high: shorter") << "low" << 390;
        QTest::newRow("380 high: the lowest height") << "lowest" << 361;
    }
    void firstStartFitsTheScreen() {
        QFETCH(QString, screen);
        QFETCH(int, height);
        QScreen* chosen = nullptr;
        for (QScreen* each : QGuiApplication::screens()) {
            if (each->name() == screen) {
                chosen = each;
            }
        }
        QVERIFY2(chosen,
                 "run with QT_QPA_PLATFORM=offscreen:configfile=<tests/lowscreen/screens.json>");
        window->setScreen(chosen);
        window->move(chosen->geometry().topLeft());
        window->start();
        QCOMPARE(window->screen(), chosen);
        QCOMPARE(window->size(), QSize(478, height));
    }
};

SNIPORA_TEST(TestLowScreen)
#include "tst_low_screen.moc"
