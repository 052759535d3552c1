// runAndWait on the fake host: poll order, deadlines across midnight, the progress pulse, failures.
#include "app/form1.h"
#include "export/sw.h"
#include "platform/qt_host.h"
#include "support/fake_host.h"
#include "support/form_fixture.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
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

class TestSw : public snipora::test::FormFixture {
    Q_OBJECT

    sw::RunOutcome run(std::int32_t limit) { return sw::runAndWait(*form, child, limit); }

private slots:
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

// The real launcher, pump and clock: what the encoder meets when it runs.
class TestSwOnTheRealHost : public snipora::test::RealProcessFormFixture {
    Q_OBJECT

    sw::RunOutcome run(const QString& program, const QStringList& arguments) {
        return sw::runAndWait(*form, ProcessCommand{program, arguments, QString()}, 0);
    }

private slots:
    // A child that reads its standard input meets its end at once: nothing can wait on a
    // prompt.
    void standardInputIsClosed() {
        const sw::RunOutcome outcome = run(QStringLiteral("/bin/sh"), {"-c", "read answer"});
        QCOMPARE(outcome.ending, Ending::Exited);
        QCOMPARE(outcome.exitStatus, 1U);
    }

    void exitCodeAndLastErrorLine() {
        const sw::RunOutcome outcome =
            run(QStringLiteral("/bin/sh"),
                {"-c", "echo first >&2; printf 'progress 1\\rprogress 2\\n\\n' >&2; exit 4"});
        QCOMPARE(outcome.ending, Ending::Exited);
        QCOMPARE(outcome.exitStatus, 4U);
        QCOMPARE(outcome.lastErrorLine, QStringLiteral("progress 2"));
    }

    // Arguments arrive as given: no shell splits or expands them.
    void argumentsArriveWhole() {
        QTemporaryDir dir;
        const QString odd = QStringLiteral("a \"b\" $(touch pwned)\nc");
        const sw::RunOutcome outcome =
            run(QStringLiteral("/bin/sh"), {"-c", "printf %s \"$1\" > \"$2\"", "sh", odd,
                                            dir.filePath(QStringLiteral("out"))});
        QCOMPARE(outcome.ending, Ending::Exited);
        QFile out(dir.filePath(QStringLiteral("out")));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(out.readAll()), odd);
        QVERIFY(QDir(dir.path()).entryList({"pwned"}).isEmpty());
        QVERIFY(QDir::current().entryList({"pwned"}).isEmpty());
    }

    void missingProgramFailsToLaunch() {
        form->pb->setValue(12);
        const sw::RunOutcome outcome = run(QStringLiteral("/nonexistent/ffmpeg"), {});
        QCOMPARE(outcome.ending, Ending::LaunchFailed);
        QCOMPARE(form->pb->value(), 12);
    }
};

SNIPORA_TEST(TestSw)
SNIPORA_TEST(TestSwOnTheRealHost)
#include "tst_sw.moc"
