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

// Stands for whatever handler the program had before.
extern "C" void previousHandler(int) {}
} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void deliversEachSignalOnceThenStepsAside_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("ignoredBefore");
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGHUP under nohup") << SIGHUP << true;
    }
    void deliversEachSignalOnceThenStepsAside() {
        QFETCH(int, signalNumber);
        QFETCH(bool, ignoredBefore);
        const auto previous = ignoredBefore ? SIG_IGN : previousHandler;
        const auto before = std::signal(signalNumber, previous);
        {
            TerminationSignals catcher;
            QVERIFY(catcher.isActive());
            QVERIFY(!TerminationSignals().isActive()); // one at a time
            QSignalSpy received(&catcher, &TerminationSignals::received);
            std::raise(signalNumber);
            std::raise(signalNumber); // a burst asks for the same thing
            QCOMPARE(received.wait(ignoredBefore ? 100 : 5000), !ignoredBefore);
            QTest::qWait(50);
            QCOMPARE(received.count(), ignoredBefore ? 0 : 1);
            if (!ignoredBefore) {
                QCOMPARE(received.at(0).at(0).toInt(), signalNumber);
            }
            // A second signal now gets the previous handler, so a hung shutdown can still be ended.
            QVERIFY(currentHandler(signalNumber) == previous);
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
