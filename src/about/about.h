// Module About: the window-menu entry, the window procedure that serves it, the credits pre-load.
#pragma once

#include "platform/window_procedure.h"

#include <cstdint>

namespace snipora {
class Form1;
class Form2;
} // namespace snipora

namespace snipora::About {

// The id of the "About..." entry in the main window's window menu.
inline constexpr std::uint32_t aboutCommand = 1010;

// The main window's message procedure as it was before windowProc took over.
extern WindowProc previousWindowProc;

// Appends a separator and "About..." (id 1010) to the main window's window menu.
void addMenuEntry(Form1& form);
// Makes windowProc the main window's message procedure, keeping the previous one.
void installWindowProc(Form1& form);
// Loads thanks.txt into the hidden About window; raises on failure.
void preloadCredits(Form1& form);

// The main window's message procedure: "About..." shows the About window; every other message
// goes on to the previous procedure unchanged.
std::int32_t windowProc(QWidget& window, std::uint32_t message, std::uint32_t wParam,
                        std::int32_t lParam);

// The About window, loaded (hidden) first when it is not loaded.
Form2& loadAboutWindow(Form1& form);
// Shows the About window modeless and brings it to the front, loading it first if needed.
void showAboutWindow(Form1& form);

} // namespace snipora::About
