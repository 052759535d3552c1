// Module About: the window-menu entry, the window procedure that serves it, the credits pre-load.
#pragma once

namespace snipora {
class Form1;
}

namespace snipora::About {

// Appends a separator and "About..." (id 1010) to the main window's window menu.
void addMenuEntry(Form1& form);
// Makes windowProc the main window's message procedure, keeping the previous one.
void installWindowProc(Form1& form);
// Loads thanks.txt into the hidden About window; raises on failure.
void preloadCredits(Form1& form);

} // namespace snipora::About
