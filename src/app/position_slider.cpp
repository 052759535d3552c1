// The position slider's mouse events.
#include "app/position_slider.h"

#include <QMouseEvent>

namespace snipora {

PositionSlider::PositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void PositionSlider::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    emit mouseDown();
    QSlider::mousePressEvent(event);
}

void PositionSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    const bool wasPressed = pressed_;
    pressed_ = false;
    // The order of the original control: MouseUp, then Click.
    emit mouseUp();
    if (wasPressed && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

} // namespace snipora
