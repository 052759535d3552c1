// Starts the main window, or cuts without one, or answers --help and --version.
#include "about/addresses.h"
#include "app/main_window.h"
#include "core/headless_cut.h"
#include "platform/qt_host.h"
#include "platform/termination_signals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
const char* const usage =
    "Usage: snipora [FILE]\n"
    "  or:  snipora --cut START END INPUT -o OUTPUT [--format FORMAT --bitrate RATE]\n"
    "Cut a section out of an MP3 file.\n"
    "\n"
    "With FILE, the window opens and plays it. Mark a start and an end, listen to the\n"
    "section with Play Selected, and save it with Direct Save (the MP3 frames, exact to\n"
    "the sample, not re-encoded) or Convert Save (through ffmpeg, in another format).\n"
    "\n"
    "Options:\n"
    "  --cut START END INPUT -o OUTPUT\n"
    "                  save the section from START to END of INPUT as OUTPUT without\n"
    "                  a window, as Direct Save does; times are seconds (12.5) or\n"
    "                  h:mm:ss.mmm (1:02:03.5)\n"
    "  --format FORMAT  with --cut: convert instead, to MP3, WAV, AAC, WMA, FLAC, M4A\n"
    "                  or AC3\n"
    "  --bitrate RATE   with --format: 512k, 256k, 128k, 64k or 32k\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "The exit status of --cut is 0 only when the output was written and checked.\n";

// A name as the file system spells it, made absolute from the folder the program started in.
QByteArray absoluteName(const char* name) {
    QByteArray path(name);
    return path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path;
}
} // namespace

int main(int argc, char* argv[]) {
    // Answered before anything else exists, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("snipora %s\n", SNIPORA_VERSION);
            return 0;
        }
    }

    if (argc > 1 && std::strcmp(argv[1], "--cut") == 0) {
        QCoreApplication app(argc, argv);
        snipora::quitOnTerminationSignals();
        QString error;
        const auto request = snipora::parseCutArguments(app.arguments().mid(2), &error);
        if (!request) {
            std::fprintf(stderr, "snipora: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
        // Nothing is heard during a cut: the silent output, and no sound server asked.
        qputenv("SNIPORA_AUDIO_OUTPUT", "null");
        snipora::RealHost realHost;
        const snipora::Host host = realHost.host();
        snipora::startCut(*request, host.media, host.processes, host.program.programFolder(),
                          stderr, [](int status) { QCoreApplication::exit(status); });
        return QCoreApplication::exec();
    }

    // The file's name keeps its bytes: a name that is not valid text still opens its file.
    const QByteArray file = argc > 1 ? absoluteName(argv[1]) : QByteArray();
    QApplication app(argc, argv);
    snipora::quitOnTerminationSignals();
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Snipora"));
    snipora::RealHost realHost;
    snipora::Host host = realHost.host();
    host.advertisementPage = QUrl(QString::fromLatin1(snipora::advertisementPageAddress));
    snipora::MainWindow window(host);
    window.start();
    if (!file.isEmpty()) {
        // Opened once start-up has finished.
        QTimer::singleShot(0, &window, [&window, file] { window.openNamedFile(file); });
    }
    return QApplication::exec();
}
