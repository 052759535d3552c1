// Design-time layout helpers.
#include "app/window_layout.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

namespace snipora {

void placeInTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(left / twipsPerPixel, top / twipsPerPixel, width / twipsPerPixel,
                        height / twipsPerPixel);
}

void fillBackground(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void useDialogFont(QWidget* window) {
    QFont small = window->font();
    small.setPixelSize(11);
    window->setFont(small);
}

} // namespace snipora
