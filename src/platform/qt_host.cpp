// The host services on Qt/Linux.
#include "platform/qt_host.h"

#include "about/addresses.h"
#include "platform/mci/media_command_service.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QTime>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace snipora {

double QtClock::secondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void QtEventPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::sleep(int ms) {
    // A nested loop bounded by a timer: events keep flowing and no core spins meanwhile.
    QEventLoop loop;
    QTimer::singleShot(std::max(ms, 0), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

MessageAnswer QtMessageBoxes::show(const QString& text, MessageStyle style) {
    QWidget* parent = QApplication::activeWindow();
    const QString title = QStringLiteral("Snipora");
    if (style == MessageStyle::Question) {
        const auto answer = QMessageBox::question(
            parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
    return MessageAnswer::Ok;
}

QString toQtFilter(const QString& filter, QString* selected, int filterIndex) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
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

struct QtProcessLauncher::Child {
    QProcess process;
    QByteArray errorTail;
};

QtProcessLauncher::QtProcessLauncher() = default;

QtProcessLauncher::~QtProcessLauncher() {
    // Children still running go on by themselves.
    for (auto& [id, child] : children_) {
        if (child->process.state() != QProcess::NotRunning) {
            child->process.setParent(nullptr);
            (void)child.release(); // NOLINT: a QProcess kills its child when destroyed
        }
    }
}

std::optional<int> QtProcessLauncher::start(const QString& program, const QStringList& arguments) {
    auto child = std::make_unique<Child>();
    QProcess& process = child->process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    Child* raw = child.get();
    QObject::connect(&process, &QProcess::readyReadStandardError, [raw] {
        // Only the tail matters: the last line the child wrote to its error output.
        raw->errorTail += raw->process.readAllStandardError();
        if (raw->errorTail.size() > 8192) {
            raw->errorTail = raw->errorTail.right(8192);
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

std::optional<std::uint32_t> QtProcessLauncher::exitStatus(int id) {
    const auto found = children_.find(id);
    if (found == children_.end()) {
        return std::nullopt;
    }
    QProcess& process = found->second->process;
    if (process.state() != QProcess::NotRunning) {
        return StillActive;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        return 128U + 9U; // ended by a signal: never 0, never StillActive
    }
    return static_cast<std::uint32_t>(process.exitCode());
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

void QtProcessLauncher::release(int id) {
    const auto found = children_.find(id);
    if (found == children_.end()) {
        return;
    }
    std::unique_ptr<Child> child = std::move(found->second);
    children_.erase(found);
    if (child->process.state() != QProcess::NotRunning) {
        // Destroying a QProcess would kill the child; let it finish on its own instead.
        Child* running = child.release();
        QObject::connect(&running->process, &QProcess::finished,
                         [running] { QTimer::singleShot(0, [running] { delete running; }); });
    }
}

bool QtProcessLauncher::startDetached(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
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
    return Host{
        *media_,  clock_,     pump_,    messages_,
        dialogs_, processes_, program_, QUrl(QString::fromLatin1(advertisementPageAddress))};
}

} // namespace snipora
