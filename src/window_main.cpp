// The window's program: snipora hands it every command line that asks for the window.
#include "about/addresses.h"
#include "app/main_window.h"
#include "core/program_start.h"
#include "platform/qt_host.h"
#include "platform/termination_signals.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Read again once the application object has taken Qt's own window options (-stylesheet
    // FILE), which the first reading could not tell from mistakes.
    const snipora::CommandLine line =
        snipora::parseCommandLine(snipora::argumentBytes(argc, argv), snipora::workingFolder());
    if (const auto status = snipora::answerAtOnce(line)) {
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
