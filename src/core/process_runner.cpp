// ProcessRunner: the child's output split into lines and its end reported as an outcome.
#include "core/process_runner.h"

namespace snipora {

ProcessRunner::ProcessRunner(ProcessLauncher& launcher, QObject* parent)
    : QObject(parent), launcher_(launcher) {}

ProcessRunner::~ProcessRunner() {
    if (child_) {
        launcher_.kill(*child_);
    }
}

void ProcessRunner::start(const ProcessCommand& command) {
    pending_.clear();
    ProcessLauncher::Handlers handlers;
    handlers.output = [this](const QByteArray& data) {
        pending_ += data;
        qsizetype end = 0;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(end).trimmed();
            pending_.remove(0, end + 1);
            emit outputLine(line);
        }
    };
    handlers.finished = [this](ProcessExit exit) {
        RunOutcome outcome;
        outcome.ending = exit.crashed ? RunOutcome::Ending::Crashed : RunOutcome::Ending::Exited;
        outcome.exitCode = exit.exitCode;
        outcome.lastErrorLine = launcher_.lastErrorLine(*child_);
        launcher_.release(*child_);
        child_.reset();
        report(outcome);
    };
    child_ = launcher_.start(command.program, command.arguments, std::move(handlers));
    if (!child_) {
        report(RunOutcome{RunOutcome::Ending::LaunchFailed, 0, {}});
    }
}

void ProcessRunner::kill(bool reportIt) {
    if (!child_) {
        return;
    }
    launcher_.kill(*child_);
    child_.reset();
    if (reportIt) {
        report(RunOutcome{RunOutcome::Ending::Killed, 0, {}});
    }
}

void ProcessRunner::report(RunOutcome outcome) {
    // Always from the event loop, so that a caller never sees finished inside its own start.
    QMetaObject::invokeMethod(
        this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
}

} // namespace snipora
