// The host services on Qt/Linux.
#include "platform/qt_host.h"

#include "platform/mci/media_command_service.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

namespace snipora {

MessageAnswer QtMessageBoxes::show(const QString& text, MessageStyle style) {
    QWidget* parent = QApplication::activeWindow();
    const QString title = QStringLiteral("Snipora");
    if (style == MessageStyle::Question) {
        const auto answer = QMessageBox::question(
            parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    if (style == MessageStyle::Warning) {
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
    } else {
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
    }
    return MessageAnswer::Ok;
}

QString toQtFilter(const QString& filter, QString* selected, int filterIndex) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that already shows its patterns keeps them once.
        const QString shown = QStringLiteral("(") + patterns + QLatin1Char(')');
        entries << (parts[i].endsWith(shown) ? parts[i] : parts[i] + QLatin1Char(' ') + shown);
    }
    if (selected && filterIndex >= 1 && filterIndex <= entries.size()) {
        *selected = entries[filterIndex - 1];
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {
std::optional<QString> runDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(QApplication::activeWindow(), request.title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    // The program asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString selected;
    dialog.setNameFilter(toQtFilter(request.filter, &selected, request.filterIndex));
    if (!selected.isEmpty()) {
        dialog.selectNameFilter(selected);
    }
    if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}
} // namespace

std::optional<QString> QtFileDialogs::openFile(const FileDialogRequest& request) {
    return runDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogs::saveFile(const FileDialogRequest& request) {
    return runDialog(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtFileDialogs::chooseFolder(const FileDialogRequest& request) {
    const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                             request.title, request.folder);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

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

bool QtDesktopLinks::openUrl(const QUrl& address) {
    return QDesktopServices::openUrl(address);
}

QString QtProgramControl::programFolder() {
    return QCoreApplication::applicationDirPath();
}

void QtProgramControl::endProgram() {
    std::fflush(nullptr);
    // At once, from wherever it is: no further events, no unload of other windows.
    ::_exit(0);
}

RealHost::RealHost()
    : media_(std::make_unique<mci::MediaCommandService>(
          mci::makeOutputFactory(mci::outputChoiceFromEnvironment()))) {}

RealHost::~RealHost() = default;

Host RealHost::host() {
    return Host{*media_, messages_, dialogs_, processes_, links_, program_, QUrl()};
}

} // namespace snipora
