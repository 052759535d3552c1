// The About entry of the window menu, its message procedure, and the credits check.
#include "about/about_menu.h"

#include "about/about_window.h"
#include "about/rich_text_box.h"
#include "app/main_window.h"
#include "platform/window_menu.h"

#include <QScreen>

#include <algorithm>

namespace snipora::aboutMenu {

WindowProc previousWindowProc;

void addMenuEntry(MainWindow& window) {
    WindowMenu& menu = *window.windowMenu;
    menu.append(MF_SEPARATOR, 0, QString());
    menu.append(MF_STRING, aboutCommand, QStringLiteral("About..."));
}

void installWindowProc(MainWindow& window) {
    previousWindowProc = window.windowProcedure.replace(&windowProc);
}

AboutWindow& loadAboutWindow(MainWindow& window) {
    // A window the user has closed is on its way out; the next use loads a new one.
    if (!window.aboutWindow || window.aboutWindow->isClosed()) {
        window.aboutWindow = new AboutWindow(window.host.program); // deletes itself on close
    }
    return *window.aboutWindow;
}

void showAboutWindow(MainWindow& window) {
    AboutWindow& about = loadAboutWindow(window);
    if (!about.isVisible()) {
        // Over the main window's middle, where the user is looking, and whole on its screen.
        QRect placed(QPoint(), about.size());
        placed.moveCenter(window.frameGeometry().center());
        if (const QScreen* screen = window.screen()) {
            const QRect available = screen->availableGeometry();
            placed.moveLeft(
                std::clamp(placed.left(), available.left(),
                           std::max(available.left(), available.right() + 1 - placed.width())));
            placed.moveTop(
                std::clamp(placed.top(), available.top(),
                           std::max(available.top(), available.bottom() + 1 - placed.height())));
        }
        about.move(placed.topLeft());
    }
    about.setWindowState(about.windowState() & ~Qt::WindowMinimized);
    about.show();
    about.raise();
    about.activateWindow();
}

bool preloadCredits(MainWindow& window) {
    // Loading the window runs its own, forgiving load of the file; this second load is the
    // program's check that it is installed completely.
    AboutWindow& about = loadAboutWindow(window);
    return about.credits->loadFile(about.creditsFile());
}

std::int32_t windowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                        std::int32_t lParam) {
    // The whole id is compared: the low bits of other ids make other commands.
    if (message == WM_SYSCOMMAND && wParam == aboutCommand) {
        if (auto* main = qobject_cast<MainWindow*>(&window)) {
            showAboutWindow(*main);
        }
        return 0;
    }
    return callWindowProc(previousWindowProc, window, message, wParam, lParam);
}

} // namespace snipora::aboutMenu
