// Start-up figure: the moment the main window is first shown, and the resident memory then.
// One executable, three windows: Snipora's main window, a bare Qt Widgets window, and a bare
// window with one label.
#include "app/main_window.h"
#include "platform/qt_host.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {
// Prints the wall clock (ns since the epoch) and the resident set (KiB), then ends.
void report() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    std::printf("%lld %ld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                resident * (sysconf(_SC_PAGESIZE) / 1024));
    std::fflush(stdout);
    _exit(0);
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "bare" || mode == "label") {
        auto* window = new QWidget;
        window->setWindowTitle(QStringLiteral("bare"));
        window->resize(478, 411);
        // With one line of text the window pays for the font database, as every real window does.
        if (mode == "label") {
            new QLabel(QStringLiteral("hh:mm:ss"), window);
        }
        window->show();
        QTimer::singleShot(0, report);
        return QApplication::exec();
    }
    snipora::RealHost realHost;
    auto* window = new snipora::MainWindow(realHost.host());
    window->start();
    // The first pass of the event loop after start-up: the window is shown.
    QTimer::singleShot(0, report);
    return QApplication::exec();
}
