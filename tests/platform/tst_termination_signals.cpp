// Termination signals: each one reaches the event loop once, and the program's loop ends on it.
#include "platform/termination_signals.h"
#include "support/test_main.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace snipora;

namespace {
// The handler now in place for `signalNumber`.
void (*currentHandler(int signalNumber))(int) {
    struct sigaction current = {};
    sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}
} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void deliversEachSignalOnceThenStepsAside_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void deliversEachSignalOnceThenStepsAside() {
        QFETCH(int, signalNumber);
        // A handler of the test's own stands for whatever the program had before.
        const auto before = std::signal(signalNumber, SIG_IGN);
        {
            TerminationSignals catcher;
            QVERIFY(catcher.isActive());
            QVERIFY(!TerminationSignals().isActive()); // one at a time
            QSignalSpy received(&catcher, &TerminationSignals::received);
            std::raise(signalNumber);
            std::raise(signalNumber); // a burst asks for the same thing
            QVERIFY(received.wait(5000));
            QTest::qWait(50);
            QCOMPARE(received.count(), 1);
            QCOMPARE(received.at(0).at(0).toInt(), signalNumber);
            // A second signal now gets the previous handler, so a hung shutdown can still be ended.
            QVERIFY(currentHandler(signalNumber) == SIG_IGN);
        }
        std::signal(signalNumber, before);
        QVERIFY(TerminationSignals().isActive()); // the next program phase may catch them again
    }

    void endsTheEventLoopWithTheShellsStatusForTheSignal() {
        QVERIFY(quitOnTerminationSignals());
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        QCOMPARE(QCoreApplication::exec(), 128 + SIGTERM);
    }
};

SNIPORA_TEST(TestTerminationSignals)
#include "tst_termination_signals.moc"
