// Creates the main window; everything else lives in the library.
#include "app/form1.h"
#include "platform/qt_host.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    snipora::RealHost realHost;
    snipora::Form1 form(realHost.host());
    form.Form_Initialize();
    return QApplication::exec();
}
