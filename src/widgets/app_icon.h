// The application icon, shared by the main window and the About window.
#pragma once

#include <QIcon>

namespace snipora {

// The four images of the icon: 48, 32, 24 and 16 pixels.
QIcon applicationIcon();

} // namespace snipora
