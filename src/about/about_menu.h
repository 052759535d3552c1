// The About entry of the main window's window menu, the message procedure that serves it, and
// the credits check at start-up.
#pragma once

#include "platform/window_procedure.h"

#include <cstdint>

namespace snipora {
class MainWindow;
class AboutWindow;
} // namespace snipora

namespace snipora::aboutMenu {

// The id of the "About..." entry in the main window's window menu.
inline constexpr std::uint32_t aboutCommand = 1010;

// The main window's message procedure as it was before windowProc took over.
extern WindowProc previousWindowProc;

// Appends a separator and "About..." (id 1010) to the main window's window menu.
void addMenuEntry(MainWindow& window);
// Makes windowProc the main window's message procedure, keeping the previous one.
void installWindowProc(MainWindow& window);
// Loads thanks.txt into the hidden About window; false when the program is not installed
// completely.
bool preloadCredits(MainWindow& window);

// The main window's message procedure: "About..." shows the About window; every other message
// goes on to the previous procedure unchanged.
std::int32_t windowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                        std::int32_t lParam);

// The About window, loaded (hidden) first when it is not loaded.
AboutWindow& loadAboutWindow(MainWindow& window);
// Shows the About window modeless and brings it to the front, loading it first if needed.
void showAboutWindow(MainWindow& window);

} // namespace snipora::aboutMenu
