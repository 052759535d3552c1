// Starts the main window, or answers --help and --version, from the command line.
#include "about/addresses.h"
#include "app/main_window.h"
#include "platform/qt_host.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
const char* const usage = "Usage: snipora [FILE]\n"
                          "Cut a section out of an MP3 file.\n"
                          "\n"
                          "  FILE          open this MP3 file and play it\n"
                          "  --help        show this help and exit\n"
                          "  --version     show the version and exit\n";
} // namespace

int main(int argc, char* argv[]) {
    // Answered before any window exists, so that they need no display.
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
    // The file's name keeps its bytes: a name that is not valid text still opens its file.
    QByteArray file;
    if (argc > 1) {
        file = argv[1];
        if (!file.startsWith('/')) {
            file = QFile::encodeName(QDir::currentPath()) + '/' + file;
        }
    }

    QApplication app(argc, argv);
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
