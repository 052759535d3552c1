// A self-pipe from the termination signals' handler to a socket notifier in the event loop.
#include "platform/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {

constexpr std::array<int, 3> caughtSignals{SIGTERM, SIGINT, SIGHUP};

// The handler's only state. Lock-free, so reading it inside the handler is async-signal-safe.
std::atomic<int> pipeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void writeSignalToPipe(int signalNumber) {
    const int savedErrno = errno;
    const int fd = pipeWriteEnd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: with the pipe full, a signal is already waiting to be read.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    int ends[2];
    if (pipeWriteEnd.load() >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    pipeWriteEnd.store(writeEnd_);

    struct sigaction action = {};
    action.sa_handler = writeSignalToPipe;
    sigfillset(&action.sa_mask);
    // Interrupted system calls carry on; the event loop hears of the signal through the pipe.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < caughtSignals.size(); ++i) {
        // A signal ignored from the start stays ignored: `nohup` asks for that of SIGHUP, and a
        // shell of its background jobs' SIGINT.
        struct sigaction current = {};
        if (::sigaction(caughtSignals[i], nullptr, &current) == 0 &&
            current.sa_handler == SIG_IGN) {
            continue;
        }
        installed_[i] = ::sigaction(caughtSignals[i], &action, &previous_[i]) == 0;
        if (!installed_[i]) {
            restoreHandlers();
            return;
        }
    }
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals() {
    restoreHandlers();
    delete notifier_; // before its descriptor closes
    if (readEnd_ >= 0) {
        ::close(readEnd_);
    }
}

void TerminationSignals::readPending() {
    unsigned char first = 0;
    if (::read(readEnd_, &first, 1) != 1) {
        return;
    }
    // Drain signals that came in a burst: they ask for the same thing.
    unsigned char more[16];
    while (::read(readEnd_, more, sizeof more) > 0) {
    }
    restoreHandlers();
    notifier_->setEnabled(false);
    emit received(first);
}

void TerminationSignals::restoreHandlers() {
    for (std::size_t i = 0; i < caughtSignals.size(); ++i) {
        if (installed_[i]) {
            ::sigaction(caughtSignals[i], &previous_[i], nullptr);
            installed_[i] = false;
        }
    }
    // Only now that no handler of ours can run does the write end go.
    if (writeEnd_ >= 0) {
        pipeWriteEnd.store(-1);
        ::close(writeEnd_);
        writeEnd_ = -1;
    }
}

bool quitOnTerminationSignals() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return false;
    }
    auto* catcher = new TerminationSignals(application); // lives as long as the application
    if (!catcher->isActive()) {
        delete catcher;
        return false;
    }
    QObject::connect(catcher, &TerminationSignals::received, application,
                     [](int signalNumber) { QCoreApplication::exit(128 + signalNumber); });
    return true;
}

} // namespace snipora
