// The program: cuts or splits without a window, answers --help and --version, or hands the
// command line to the window's program.
#include "core/headless_cut.h"
#include "core/program_start.h"
#include "core/split_command.h"
#include "core/split_convert.h"
#include "platform/qt_host.h"
#include "platform/termination_signals.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <unistd.h>

namespace {

int runCut(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const snipora::CommandLine line =
        snipora::parseCommandLine(snipora::argumentBytes(argc, argv), snipora::workingFolder());
    if (const auto status = snipora::answerAtOnce(line)) {
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
        snipora::parseCommandLine(snipora::argumentBytes(argc, argv), snipora::workingFolder());
    if (const auto status = snipora::answerAtOnce(line)) {
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

// The window is a program of its own in this program's folder, so that a cut from the command
// line loads no window, sound or network library. It replaces this process: same process id,
// same arguments (the first of them names the application, as before).
int runWindow(char* argv[]) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        // Never a program of that name found elsewhere (the working folder).
        std::fprintf(stderr, "snipora: the program's folder cannot be found (%s)\n",
                     error.message().c_str());
        return 1;
    }
    const std::string window = (self.parent_path() / "snipora-window").native();
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "snipora: the window's program %s cannot be started (%s)\n",
                 window.c_str(), std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    // A first reading, before any application object exists: --help and --version need no
    // display, and the cut needs no window system. Only the window's QApplication knows Qt's
    // own window options (-stylesheet FILE), so a line meant for the window is read again there.
    const snipora::CommandLine first =
        snipora::parseCommandLine(snipora::argumentBytes(argc, argv), snipora::workingFolder());
    if (first.action == snipora::CommandLine::Action::Help ||
        first.action == snipora::CommandLine::Action::Version) {
        return *snipora::answerAtOnce(first);
    }
    if (first.action == snipora::CommandLine::Action::Cut) {
        return runCut(argc, argv);
    }
    if (first.action == snipora::CommandLine::Action::Split) {
        return runSplit(argc, argv);
    }
    if (!first.error.isEmpty() && !first.windowOptionsMayRemedy) {
        return *snipora::answerAtOnce(first); // without a display too
    }
    return runWindow(argv);
}
