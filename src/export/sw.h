// Module sw: runAndWait, which starts a child process and waits for it while the window lives on.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace snipora {

class Form1;

// A program to start: the program path, its arguments as they reach it, and the same command
// written as one line for people to read.
struct ProcessCommand {
    QString program;
    QStringList arguments;
    QString commandLine;
};

namespace sw {

// How a wait ended. The Convert Save reads it to tell a finished encoder from a failed one.
struct RunOutcome {
    enum class Ending {
        Exited,        // the child ended; exitStatus holds its exit code
        StatusUnknown, // a status query failed, so the wait ended after that poll
        LimitExpired,  // the time limit passed; the child may still run
        LaunchFailed,  // the program could not be started; nothing waited
        Failed,        // an error ended the wait (e.g. the limit overflowed the time of day)
    };
    Ending ending = Ending::Failed;
    std::uint32_t exitStatus = 0; // the last status read; 0 until one was read
    QString lastErrorLine;        // the last line the child wrote to its error output
};

// Starts `command` hidden and polls it every 100 ms until it ends or `timeLimit` seconds have
// passed (0: no limit; a negative limit counts as expired, so the wait ends at the first poll).
// Each poll handles pending window events and steps the main window's progress bar pb, which
// falls back to 0 when it reaches 100. Raises nothing: every failure ends the wait quietly.
RunOutcome runAndWait(Form1& form, const ProcessCommand& command, std::int32_t timeLimit);

} // namespace sw
} // namespace snipora
