// Marker lines repaint the window surface when they move.
#include "app/marker_line.h"

#include <QWidget>

namespace snipora {

void MarkerLine::setX1(float x) {
    x1_ = x;
    surface_.update();
}

void MarkerLine::setX2(float x) {
    x2_ = x;
    surface_.update();
}

} // namespace snipora
