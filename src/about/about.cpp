// Module About: start-up steps of the About window and its window-menu entry.
#include "about/about.h"

#include "about/form2.h"
#include "about/rich_text_box.h"
#include "app/form1.h"
#include "platform/window_menu.h"

namespace snipora::About {

WindowProc previousWindowProc;

void addMenuEntry(Form1& form) {
    WindowMenu& menu = *form.windowMenu;
    menu.append(MF_SEPARATOR, 0, QString());
    menu.append(MF_STRING, aboutCommand, QStringLiteral("About..."));
}

void installWindowProc(Form1& form) {
    previousWindowProc = form.windowProcedure.replace(&windowProc);
}

Form2& loadAboutWindow(Form1& form) {
    // A window the user has closed is on its way out; the next use loads a new one.
    if (!form.aboutWindow || form.aboutWindow->isUnloaded()) {
        form.aboutWindow = new Form2(form.host.program); // no owner; it deletes itself on close
    }
    return *form.aboutWindow;
}

void showAboutWindow(Form1& form) {
    Form2& about = loadAboutWindow(form);
    about.setWindowState(about.windowState() & ~Qt::WindowMinimized);
    about.show();
    about.raise();
    about.activateWindow();
}

void preloadCredits(Form1& form) {
    // Loading the window runs its own, forgiving load of the file; the second load is the
    // program's check that it is installed completely, and its failure is not forgiven.
    Form2& about = loadAboutWindow(form);
    about.RichTextBox1->LoadFile(about.creditsFile());
}

std::int32_t windowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                        std::int32_t lParam) {
    // The whole id is compared: the low bits of other ids make other commands.
    if (message == WM_SYSCOMMAND && wParam == aboutCommand) {
        if (auto* form = qobject_cast<Form1*>(&window)) {
            try {
                showAboutWindow(*form);
            } catch (const std::exception&) {
                // A window that cannot be made leaves the main window as it was.
            }
        }
        return 0;
    }
    return callWindowProc(previousWindowProc, window, message, wParam, lParam);
}

} // namespace snipora::About
