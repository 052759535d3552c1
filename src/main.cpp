// Creates the main window; everything else lives in the library.
#include "app/form1.h"
#include "platform/qt_host.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    snipora::RealHost realHost;
    snipora::Form1 form(realHost.host());
    form.Form_Initialize();
    // A file named on the command line opens once start-up has finished.
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1) {
        QTimer::singleShot(0, &form, [&form, path = arguments.at(1)] { form.openNamedFile(path); });
    }
    return QApplication::exec();
}
