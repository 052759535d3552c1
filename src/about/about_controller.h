// What the main window offers of "about" the program: the window menu's About entry and the
// message procedure that serves it, the About window, the credits check, and the Website button.
#pragma once

#include "platform/host.h"
#include "platform/window_procedure.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace snipora {

class AboutWindow;
class WindowMenu;

// The id of the "About..." entry in the main window's window menu.
inline constexpr std::uint32_t aboutCommand = 1010;

// Owned by the main window and built from what it needs of it, so that nothing here knows the
// main window's type.
class AboutController {
public:
    AboutController(QWidget& mainWindow, WindowMenu& menu, WindowProcedure& procedure,
                    ProgramControl& program, DesktopLinks& links,
                    std::function<void(const QString&)> showFailure);
    ~AboutController();
    AboutController(const AboutController&) = delete;
    AboutController& operator=(const AboutController&) = delete;

    // Appends a separator and "About..." (id 1010) to the window menu.
    void addMenuEntry();
    // Makes this controller's procedure the main window's, keeping the previous one to chain to.
    void installWindowProc();
    // Reads thanks.txt for the About window to show when it is first loaded; false when the
    // program is not installed completely. The window itself is not built.
    bool preloadCredits();
    // The About window, loaded (hidden) first when it is not loaded: the way to reach it before
    // the user has asked for it.
    AboutWindow& loadWindow();
    // Shows the About window modeless over the main window and brings it to the front.
    void showWindow();
    // The loaded About window, if any.
    QPointer<AboutWindow> window() const { return window_; }
    // Website: the maker's home page in the user's browser; a message with the address when
    // nothing can open it.
    void openWebsite();

private:
    std::int32_t windowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                            std::int32_t lParam);

    QWidget& mainWindow_;
    WindowMenu& menu_;
    WindowProcedure& procedure_;
    ProgramControl& program_;
    DesktopLinks& links_;
    std::function<void(const QString&)> showFailure_;
    WindowProc previous_;
    QPointer<AboutWindow> window_;
    // The credits read by the start-up check, until the first About window takes them.
    std::optional<QByteArray> startCredits_;
};

} // namespace snipora
