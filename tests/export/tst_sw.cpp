// runAndWait on the fake host: poll order, deadlines across midnight, the progress pulse, failures.
#include "app/form1.h"
#include "export/sw.h"
#include "support/fake_host.h"
#include "support/test_main.h"

#include <QProgressBar>
#include <QTest>

#include <cstdlib>
#include <limits>
#include <memory>

using namespace snipora;
using snipora::test::FakeHost;
using Ending = sw::RunOutcome::Ending;

namespace {
const ProcessCommand child{QStringLiteral("/opt/tool"), {QStringLiteral("-x")}, QString()};
constexpr int endless = 1'000'000; // status queries a child keeps running for
} // namespace

class TestSw : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeHost> fakes;
    std::unique_ptr<Form1> form;

    sw::RunOutcome run(std::int32_t limit) { return sw::runAndWait(*form, child, limit); }

private slots:
    void init() {
        fakes = std::make_unique<FakeHost>();
        form = std::make_unique<Form1>(fakes->host());
    }
    void cleanup() {
        form.reset();
        fakes.reset();
    }

    void startsTheCommandAndReleasesTheChild() {
        fakes->processes.next.runningQueries = 3;
        const sw::RunOutcome outcome = run(0);
        QCOMPARE(fakes->processes.launches.size(), 1);
        QCOMPARE(fakes->processes.launches[0].program, child.program);
        QCOMPARE(fakes->processes.launches[0].arguments, child.arguments);
        QCOMPARE(outcome.ending, Ending::Exited);
        QCOMPARE(fakes->processes.queries, 4);
        QCOMPARE(fakes->processes.released, QList<int>{100});
    }

    // Each poll: status query, event pass, (limit test), pause, progress step, exit test.
    void eachPollQueriesThenPumpsThenPauses() {
        fakes->processes.next.runningQueries = 5;
        QList<int> queriesAtPass;
        QList<int> sleepsAtPass;
        fakes->pump.everyPass = [&] {
            queriesAtPass << fakes->processes.queries;
            sleepsAtPass << fakes->pump.sleeps;
        };
        run(0);
        QCOMPARE(queriesAtPass, (QList<int>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(sleepsAtPass, (QList<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(fakes->pump.sleeps, 6);
        QCOMPARE(fakes->pump.sleptMs, 600.0);
    }

    void childThatAlreadyEndedCostsOnePoll() {
        form->pb->setValue(40);
        const sw::RunOutcome outcome = run(0);
        QCOMPARE(outcome.ending, Ending::Exited);
        QCOMPARE(fakes->processes.queries, 1);
        QCOMPARE(fakes->pump.passes, 1);
        QCOMPARE(fakes->pump.sleeps, 1);
        QCOMPARE(form->pb->value(), 41);
    }

    void progressFallsBackToZeroAtAHundred() {
        form->pb->setValue(98);
        run(0);
        QCOMPARE(form->pb->value(), 99);
        run(0);
        QCOMPARE(form->pb->value(), 0);
        fakes->processes.next.runningQueries = 149; // 150 polls: one full cycle and 50 more
        run(0);
        QCOMPARE(form->pb->value(), 50);
    }

    void reportsTheExitCodeAndTheLastErrorLine() {
        fakes->processes.next.runningQueries = 2;
        fakes->processes.next.exitCode = 3;
        fakes->processes.next.errorLine = QStringLiteral("Conversion failed!");
        const sw::RunOutcome outcome = run(0);
        QCOMPARE(outcome.ending, Ending::Exited);
        QCOMPARE(outcome.exitStatus, 3U);
        QCOMPARE(outcome.lastErrorLine, QStringLiteral("Conversion failed!"));
    }

    void launchFailureReturnsAtOnce() {
        form->pb->setValue(40);
        fakes->processes.next.startFails = true;
        const sw::RunOutcome outcome = run(0);
        QCOMPARE(outcome.ending, Ending::LaunchFailed);
        QCOMPARE(form->pb->value(), 40);
        QCOMPARE(fakes->processes.queries, 0);
        QCOMPARE(fakes->pump.passes, 0);
        QCOMPARE(fakes->pump.sleeps, 0);
        QVERIFY(fakes->processes.released.isEmpty());
    }

    void failedStatusQueryEndsTheWaitAfterOnePoll() {
        form->pb->setValue(7);
        fakes->processes.next.queryFails = true;
        const sw::RunOutcome outcome = run(0);
        QCOMPARE(outcome.ending, Ending::StatusUnknown);
        QCOMPARE(outcome.exitStatus, 0U);
        QCOMPARE(fakes->processes.queries, 1);
        QCOMPARE(fakes->pump.sleeps, 1);
        QCOMPARE(form->pb->value(), 8);
        QCOMPARE(fakes->processes.released, QList<int>{100});
    }

    // The first poll in which the time of day is past the deadline ends the wait, at the limit
    // test: no pause, no progress step in that poll.
    void limitEndsTheWaitAtTheFirstPollPastTheDeadline_data() {
        QTest::addColumn<double>("startTime");
        QTest::addColumn<int>("limit");
        QTest::addColumn<double>("deadline");
        QTest::addColumn<int>("polls"); // about ten per second waited
        QTest::newRow("600 s at 3600 s") << 3600.0 << 600 << 4200.0 << 6001;
        QTest::newRow("600 s at 86000 s: past midnight, deadline 200")
            << 86000.0 << 600 << 200.0 << 6001;
        QTest::newRow("start second rounds half to even") << 3600.5 << 10 << 3610.0 << 96;
        QTest::newRow("deadline exactly at midnight") << 86390.0 << 10 << 0.0 << 101;
    }
    void limitEndsTheWaitAtTheFirstPollPastTheDeadline() {
        QFETCH(double, startTime);
        QFETCH(int, limit);
        QFETCH(double, deadline);
        QFETCH(int, polls);
        fakes->clock.now = startTime;
        fakes->processes.next.runningQueries = endless;
        form->pb->setValue(0);
        const sw::RunOutcome outcome = run(limit);
        QCOMPARE(outcome.ending, Ending::LimitExpired);
        QVERIFY2(fakes->clock.now > deadline && fakes->clock.now <= deadline + 0.1 + 1e-6,
                 qPrintable(QString::number(fakes->clock.now, 'f', 6)));
        // The fake clock sums tenths of a second, so the poll count may be one off.
        QVERIFY(std::abs(fakes->processes.queries - polls) <= 1);
        QCOMPARE(fakes->pump.sleeps, fakes->processes.queries - 1);
        QCOMPARE(form->pb->value(), (fakes->processes.queries - 1) % 100);
        QCOMPARE(fakes->processes.released, QList<int>{100});
    }

    // With the deadline past midnight, times of day above it before midnight do not end it.
    void waitsThroughTheEveningForADeadlineAfterMidnight() {
        fakes->clock.now = 86000.0;
        fakes->processes.next.runningQueries = 5000; // ends at 86000 + 500 s = 00:01:40
        const sw::RunOutcome outcome = run(600);
        QCOMPARE(outcome.ending, Ending::Exited);
        QVERIFY(fakes->clock.now > 100.0 && fakes->clock.now < 101.0);
    }

    // Only one midnight is allowed for: a deadline still past the next midnight never fires.
    void limitOfAlmostTwoDaysNeverFires() {
        fakes->clock.now = 86000.0;
        fakes->processes.next.runningQueries = 3000;
        const sw::RunOutcome outcome = run(172000); // deadline 171600 after one midnight
        QCOMPARE(outcome.ending, Ending::Exited);
        QCOMPARE(fakes->processes.queries, 3001);
    }

    // A negative limit counts as already expired: the first poll's limit test ends the wait,
    // at any time of day, midnight included.
    void negativeLimitEndsTheWaitAtTheFirstPoll_data() {
        QTest::addColumn<double>("time");
        QTest::newRow("morning") << 36000.0;
        QTest::newRow("midnight") << 0.0;
    }
    void negativeLimitEndsTheWaitAtTheFirstPoll() {
        QFETCH(double, time);
        fakes->clock.now = time;
        fakes->processes.next.runningQueries = endless;
        form->pb->setValue(5);
        const sw::RunOutcome outcome = run(-1);
        QCOMPARE(outcome.ending, Ending::LimitExpired);
        QCOMPARE(fakes->processes.queries, 1);
        QCOMPARE(fakes->pump.passes, 1);
        QCOMPARE(fakes->pump.sleeps, 0);
        QCOMPARE(form->pb->value(), 5);
    }

    void limitThatOverflowsTheTimeOfDayStartsNothing() {
        const sw::RunOutcome outcome = run(std::numeric_limits<std::int32_t>::max());
        QCOMPARE(outcome.ending, Ending::Failed);
        QVERIFY(fakes->processes.launches.isEmpty());
    }
};

SNIPORA_TEST(TestSw)
#include "tst_sw.moc"
