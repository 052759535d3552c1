// SIGTERM, SIGINT and SIGHUP turned into an ordinary end of the Qt event loop.
#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace snipora {

// While an object of this class lives, SIGTERM, SIGINT and SIGHUP no longer end the process at
// once: the handler only writes the signal's number to a pipe (all a signal handler may safely
// do), and the event loop reads it and emits received(). So `timeout` or a session logout ends
// the program through its ordinary shutdown: sound stopped, files closed, destructors run.
// The catch is one-shot: after the first signal the previous handlers are back, so a second
// signal still ends a program whose shutdown hangs. A signal the program was started with
// ignored (nohup) is left ignored. One object at a time.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe or a handler could not be set up; the signals then keep their effect.
    bool isActive() const { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPending();
    void restoreHandlers();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr; // child of this object
    struct sigaction previous_[3] = {};
    bool installed_[3] = {};
};

// Ends the running application's event loop (QCoreApplication::exit) with 128 + the signal's
// number when one of the three arrives: the status a shell reports for a program a signal ended,
// so no script takes an interrupted run for a finished one. Call once, after the application
// object exists; false when the signals could not be caught.
bool quitOnTerminationSignals();

} // namespace snipora
