// The child processes of the program on Qt/Linux: apart from the other host services, so that
// the command line's cut links Qt Core alone.
#include "platform/qt_host.h"

#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace snipora {

struct QtProcessLauncher::Child {
    QProcess process;
    QByteArray errorTail;
};

QtProcessLauncher::QtProcessLauncher() = default;

QtProcessLauncher::~QtProcessLauncher() {
    // A child must not outlive the program that waits for it, writing into files nobody will
    // take care of: whatever still runs ends with the launcher.
    for (auto& [id, child] : children_) {
        child->process.disconnect();
        child->process.kill();
        child->process.waitForFinished(1000);
    }
}

std::optional<int> QtProcessLauncher::start(const QString& program, const QStringList& arguments,
                                            Handlers handlers) {
    auto child = std::make_unique<Child>();
    QProcess& process = child->process;
    process.setStandardInputFile(QProcess::nullDevice());
    // The child ends when the program dies, even by SIGKILL, instead of writing on into a file
    // nobody will take care of. The signal follows the thread that started the child, so
    // children are started from the main thread, which lives as long as the program.
    process.setChildProcessModifier([parent = ::getpid()] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127); // the program died before the signal was set
        }
    });
    Child* raw = child.get();
    QObject::connect(&process, &QProcess::readyReadStandardError, &process, [raw] {
        // Only the tail matters: the last line the child wrote to its error output.
        raw->errorTail += raw->process.readAllStandardError();
        if (raw->errorTail.size() > 8192) {
            raw->errorTail = raw->errorTail.right(8192);
        }
    });
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [raw, output = std::move(handlers.output)] {
                         const QByteArray data = raw->process.readAllStandardOutput();
                         if (output) {
                             output(data);
                         }
                     });
    QObject::connect(
        &process, &QProcess::finished, &process,
        [raw, finished = std::move(handlers.finished)](int code, QProcess::ExitStatus status) {
            raw->errorTail += raw->process.readAllStandardError();
            if (finished) {
                finished(ProcessExit{status == QProcess::CrashExit, code});
            }
        });
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted()) {
        return std::nullopt;
    }
    const int id = nextId_++;
    children_.emplace(id, std::move(child));
    return id;
}

QString QtProcessLauncher::lastErrorLine(int id) {
    const auto found = children_.find(id);
    if (found == children_.end()) {
        return {};
    }
    Child& child = *found->second;
    child.errorTail += child.process.readAllStandardError();
    const QList<QByteArray> lines = child.errorTail.split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QByteArray trimmed = line->trimmed();
        if (!trimmed.isEmpty()) {
            // ffmpeg redraws its progress line with carriage returns; the last redraw counts.
            return QString::fromLocal8Bit(trimmed.split('\r').constLast().trimmed());
        }
    }
    return {};
}

void QtProcessLauncher::kill(int id) {
    const auto found = children_.find(id);
    if (found == children_.end()) {
        return;
    }
    std::unique_ptr<Child> child = std::move(found->second);
    children_.erase(found);
    child->process.disconnect();
    child->process.kill();
    // Reaped at once, so that nothing of it is left writing when the caller goes on.
    child->process.waitForFinished(1000);
}

void QtProcessLauncher::release(int id) {
    const auto found = children_.find(id);
    if (found == children_.end()) {
        return;
    }
    // Often released from its own finished handler: the process goes once that has returned.
    Child* child = found->second.release();
    children_.erase(found);
    QTimer::singleShot(0, [child] { delete child; });
}

} // namespace snipora
