// runAndWait: one poll per 100 ms pause over a child's status, pumping events and pulsing pb.
#include "export/sw.h"

#include "app/failure.h"
#include "app/form1.h"

#include <QProgressBar>

#include <optional>

namespace snipora::sw {

namespace {
constexpr std::int32_t secondsPerDay = 86400;
constexpr int pauseMs = 100;
constexpr int progressCycle = 100;

// Releases the child on every way out of the wait, so no handle outlives the call.
class ChildGuard {
public:
    ChildGuard(ProcessLauncher& launcher, int id) : launcher_(launcher), id_(id) {}
    ~ChildGuard() { launcher_.release(id_); }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;

private:
    ProcessLauncher& launcher_;
    int id_;
};

void stepProgress(QProgressBar& pb) {
    pb.setValue(pb.value() + 1);
    if (pb.value() == progressCycle) {
        pb.setValue(0);
    }
}
} // namespace

RunOutcome runAndWait(Form1& form, const ProcessCommand& command, std::int32_t timeLimit) {
    using Ending = RunOutcome::Ending;
    RunOutcome outcome;
    const Host& host = form.host;
    try {
        const std::int32_t startSecond = roundToInt32(host.clock.secondsSinceMidnight());
        // The deadline is a time of day; one midnight between the call and the deadline is
        // allowed for by the flag, and the time of day falling below the start second shows
        // that midnight has passed.
        std::int32_t deadline = 0;
        bool afterMidnight = false;
        if (timeLimit > 0) {
            deadline = checkedAdd(startSecond, timeLimit);
            if (deadline >= secondsPerDay) {
                deadline -= secondsPerDay;
                afterMidnight = true;
            }
        }

        const std::optional<int> child = host.processes.start(command.program, command.arguments);
        if (!child) {
            outcome.ending = Ending::LaunchFailed;
            return outcome;
        }
        const ChildGuard guard(host.processes, *child);

        for (;;) {
            const std::optional<std::uint32_t> status = host.processes.exitStatus(*child);
            if (status) {
                outcome.exitStatus = *status;
            }
            host.pump.processEvents();
            if (timeLimit != 0) {
                const double now = host.clock.secondsSinceMidnight();
                const bool expired =
                    timeLimit < 0 || (now > deadline && (!afterMidnight || now < startSecond));
                if (expired) {
                    outcome.ending = Ending::LimitExpired;
                    break;
                }
            }
            host.pump.sleep(pauseMs);
            stepProgress(*form.pb);
            // The status tested here is the one read at the start of this poll: the end of a
            // child is seen up to one poll late, and every call makes at least one full poll.
            // A query that fails ends the wait too, so an unobservable child never holds the
            // window in a wait.
            if (!status) {
                outcome.ending = Ending::StatusUnknown;
                break;
            }
            if (*status != ProcessLauncher::StillActive) {
                outcome.ending = Ending::Exited;
                break;
            }
        }
        outcome.lastErrorLine = host.processes.lastErrorLine(*child);
    } catch (const std::exception&) {
        outcome.ending = Ending::Failed;
    }
    return outcome;
}

} // namespace snipora::sw
