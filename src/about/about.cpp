// Module About: start-up steps of the About window and its window-menu entry.
#include "about/about.h"

#include "app/form1.h"

namespace snipora::About {

void addMenuEntry(Form1& form) {
    Q_UNUSED(form)
}

void installWindowProc(Form1& form) {
    Q_UNUSED(form)
}

void preloadCredits(Form1& form) {
    Q_UNUSED(form)
}

} // namespace snipora::About
