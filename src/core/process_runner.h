// ProcessRunner: one child process followed through the host's launcher, without waiting for it.
#pragma once

#include "platform/host.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace snipora {

// A program to start: the program path, its arguments as they reach it, and the same command
// written as one line for people to read.
struct ProcessCommand {
    QString program;
    QStringList arguments;
    QString commandLine;
};

// How a run ended.
struct RunOutcome {
    enum class Ending {
        Exited,       // the child ended by itself; exitCode holds its code
        Crashed,      // the child was ended by a signal
        LaunchFailed, // the program could not be started
        Killed,       // the run was cancelled and the child ended
    };
    Ending ending = Ending::LaunchFailed;
    int exitCode = 0;
    QString lastErrorLine; // the last line the child wrote to its error output
};

class ProcessRunner : public QObject {
    Q_OBJECT
public:
    explicit ProcessRunner(ProcessLauncher& launcher, QObject* parent = nullptr);
    // A child still running ends with the runner.
    ~ProcessRunner() override;

    // Starts the command; finished comes later, from the event loop, also when it cannot start.
    void start(const ProcessCommand& command);
    // Ends the running child at once; finished reports Killed unless `report` is false.
    void kill(bool report = true);
    bool isRunning() const { return child_.has_value(); }

signals:
    // Each complete line the child writes to its standard output.
    void outputLine(const QByteArray& line);
    void finished(const snipora::RunOutcome& outcome);

private:
    void report(RunOutcome outcome);

    ProcessLauncher& launcher_;
    std::optional<int> child_;
    QByteArray pending_;
};

} // namespace snipora
