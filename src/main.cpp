// Starts the main window, or cuts or splits without one, or answers --help and --version.
#include "about/addresses.h"
#include "app/main_window.h"
#include "core/command_line.h"
#include "core/headless_cut.h"
#include "core/split_command.h"
#include "core/split_convert.h"
#include "platform/qt_host.h"
#include "platform/termination_signals.h"

#include <QApplication>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace {
// The arguments as the system gave them, after whatever the application object took.
QList<QByteArray> argumentBytes(int argc, char* argv[]) {
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QByteArray(argv[i]);
    }
    return arguments;
}

// The folder the program started in, as the file system spells it.
QByteArray workingFolder() {
    std::error_code error;
    return QByteArray::fromStdString(std::filesystem::current_path(error).native());
}

// Help and version; nullopt for anything else.
std::optional<int> answerAtOnce(const snipora::CommandLine& line) {
    if (line.action == snipora::CommandLine::Action::Help) {
        std::fputs(snipora::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (line.action == snipora::CommandLine::Action::Version) {
        std::printf("snipora %s\n", SNIPORA_VERSION);
        return 0;
    }
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "snipora: %s\nTry 'snipora --help' for more information.\n",
                     line.error.toLocal8Bit().constData());
        return 2;
    }
    return std::nullopt;
}

int runCut(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const snipora::CommandLine line =
        snipora::parseCommandLine(argumentBytes(argc, argv), workingFolder());
    if (const auto status = answerAtOnce(line)) {
        return *status;
    }
    snipora::quitOnTerminationSignals();
    // Declared before the cut, so that a save ended by a signal still has it to end its encoder.
    snipora::QtProcessLauncher processes;
    snipora::HeadlessCut cut(processes, QCoreApplication::applicationDirPath(), stderr);
    QObject::connect(&cut, &snipora::HeadlessCut::finished, &app,
                     [](int status) { QCoreApplication::exit(status); });
    cut.start(line.cut);
    return QCoreApplication::exec();
}

int runSplit(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const snipora::CommandLine line =
        snipora::parseCommandLine(argumentBytes(argc, argv), workingFolder());
    if (const auto status = answerAtOnce(line)) {
        return *status;
    }
    snipora::quitOnTerminationSignals();
    // The split runs on a worker thread so that the event loop hears a termination signal; the
    // worker then stops between two writes and keeps the finished pieces.
    std::atomic<bool> stop = false;
    int status = 1;
    // A conversion finds the pieces on the worker and then encodes them one after another,
    // followed from the event loop; declared before the worker so that a signal's exit ends the
    // encoder and removes its file.
    snipora::QtProcessLauncher processes;
    std::unique_ptr<snipora::PlannedSplit> planned;
    snipora::SplitConvert convert(processes);
    const bool converting = !line.split.format.isEmpty();
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        if (converting) {
            planned = snipora::planSplit(line.split, stop, stderr);
        } else {
            status = snipora::runSplit(line.split, stop, stdout, stderr);
        }
    }));
    QObject::connect(&convert, &snipora::SplitConvert::pieceWritten, &app, [](const QString& path) {
        std::printf("%s\n", QFile::encodeName(path).constData());
        std::fflush(stdout);
    });
    QObject::connect(&convert, &snipora::SplitConvert::finished, &app,
                     [](const snipora::SplitSaveOutcome& outcome) {
                         if (outcome.failure) {
                             std::fprintf(stderr, "snipora: %s\n",
                                          outcome.failure->toLocal8Bit().constData());
                         }
                         QCoreApplication::exit(outcome.failure ? 1 : 0);
                     });
    QObject::connect(worker.get(), &QThread::finished, &app, [&] {
        if (!converting || !planned) {
            QCoreApplication::exit(status);
            return;
        }
        snipora::SplitConvertJob job;
        job.programFolder = QCoreApplication::applicationDirPath();
        job.sourceHandle = planned->sourceHandle;
        job.sourceName = planned->sourceName;
        job.folder = QFile::decodeName(line.split.folder);
        job.pattern = line.split.pattern;
        job.overwrite = line.split.overwrite;
        job.pieces = planned->pieces;
        job.format = line.split.format;
        job.bitrate = line.split.bitrate;
        job.fadeInMs = line.split.fadeInMs;
        job.fadeOutMs = line.split.fadeOutMs;
        convert.start(job);
    });
    worker->start();
    const int result = QCoreApplication::exec();
    stop = true;
    worker->wait();
    return result;
}

int runWindow(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const snipora::CommandLine line =
        snipora::parseCommandLine(argumentBytes(argc, argv), workingFolder());
    if (const auto status = answerAtOnce(line)) {
        return *status;
    }
    snipora::quitOnTerminationSignals();
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Snipora"));
    snipora::RealHost realHost;
    snipora::Host host = realHost.host();
    host.advertisementPage = QUrl(QString::fromLatin1(snipora::advertisementPageAddress));
    snipora::MainWindow window(host);
    window.start();
    if (!line.file.isEmpty()) {
        // Opened once start-up has finished.
        QTimer::singleShot(0, &window, [&window, file = line.file] { window.openNamedFile(file); });
    }
    return QApplication::exec();
}
} // namespace

int main(int argc, char* argv[]) {
    // A first reading, before any application object exists: --help and --version need no
    // display, and the cut needs no window system. Only the window's QApplication knows Qt's
    // own window options (-stylesheet FILE), so a line meant for the window is read again once
    // it has taken them.
    const snipora::CommandLine first =
        snipora::parseCommandLine(argumentBytes(argc, argv), workingFolder());
    if (first.action == snipora::CommandLine::Action::Help ||
        first.action == snipora::CommandLine::Action::Version) {
        return *answerAtOnce(first);
    }
    if (first.action == snipora::CommandLine::Action::Cut) {
        return runCut(argc, argv);
    }
    if (first.action == snipora::CommandLine::Action::Split) {
        return runSplit(argc, argv);
    }
    if (!first.error.isEmpty() && !first.windowOptionsMayRemedy) {
        return *answerAtOnce(first); // without a display too
    }
    return runWindow(argc, argv);
}
