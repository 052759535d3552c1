// The About entry of the window menu, its message procedure, the About window, the credits
// check, and the Website button.
#include "about/about_controller.h"

#include "about/about_window.h"
#include "about/addresses.h"
#include "about/browser_panel.h"
#include "about/rich_text_box.h"
#include "platform/window_menu.h"

#include <QCoreApplication>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace snipora {

AboutController::AboutController(QWidget& mainWindow, WindowMenu& menu, WindowProcedure& procedure,
                                 ProgramControl& program, DesktopLinks& links,
                                 std::function<void(const QString&)> showFailure)
    : mainWindow_(mainWindow), menu_(menu), procedure_(procedure), program_(program), links_(links),
      showFailure_(std::move(showFailure)) {}

AboutController::~AboutController() {
    // A top-level window of its own, not a child of the main window.
    delete window_;
}

void AboutController::addMenuEntry() {
    menu_.append(MF_SEPARATOR, 0, QString());
    menu_.append(MF_STRING, aboutCommand,
                 QCoreApplication::translate("snipora::AboutController", "About..."));
}

void AboutController::installWindowProc() {
    previous_ = procedure_.replace(
        [this](QWidget& window, std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
            return windowProc(window, message, wParam, lParam);
        });
}

AboutWindow& AboutController::loadWindow() {
    // A window the user has closed is on its way out; the next use loads a new one.
    if (!window_ || window_->isClosed()) {
        // The first window shows the credits the start-up check read; later ones read the file
        // again, as a window loaded afresh does.
        window_ = new AboutWindow(program_, std::exchange(startCredits_, std::nullopt));
        // deletes itself on close
    }
    return *window_;
}

void AboutController::showWindow() {
    AboutWindow& about = loadWindow();
    if (!about.isVisible()) {
        // Over the main window's middle, where the user is looking, and whole on its screen.
        QRect placed(QPoint(), about.size());
        placed.moveCenter(mainWindow_.frameGeometry().center());
        if (const QScreen* screen = mainWindow_.screen()) {
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

bool AboutController::preloadCredits() {
    // The program's check that it is installed completely. The window itself is built only when
    // asked for, which most runs never do; what is read here is what it will show first.
    startCredits_ = readTextFile(creditsFilePath(program_));
    return startCredits_.has_value();
}

void AboutController::openWebsite() {
    const QUrl home(QString::fromLatin1(homePageAddress));
    if (!links_.openUrl(home)) {
        showFailure_(cannotOpenText(home));
    }
}

std::int32_t AboutController::windowProc(QWidget& window, std::uint32_t message,
                                         std::uint32_t wParam, std::int32_t lParam) {
    // The whole id is compared: the low bits of other ids make other commands.
    if (message == WM_SYSCOMMAND && wParam == aboutCommand) {
        showWindow();
        return 0;
    }
    return callWindowProc(previous_, window, message, wParam, lParam);
}

} // namespace snipora
