// The position slider's mouse events and its paging on the track.
#include "app/position_slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

#include <stdexcept>

namespace snipora {

PositionSlider::PositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    connect(this, &QAbstractSlider::actionTriggered, this, [this] { stopPagingAtPointer(); });
}

void PositionSlider::setMax(std::int32_t maximum) {
    if (maximum < minimum()) {
        throw std::out_of_range("invalid property value");
    }
    setMaximum(maximum);
}

QRect PositionSlider::handleRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void PositionSlider::sliderChange(SliderChange change) {
    if (change != SliderValueChange || shownHandle_.isNull()) {
        QSlider::sliderChange(change);
        return;
    }
    // A long file's handle moves a pixel every few seconds while the value moves every second:
    // only a handle that moves is repainted, with the stretch of groove it crossed.
    const QRect handle = handleRect();
    if (handle != shownHandle_) {
        const QRect crossed = handle.united(shownHandle_);
        update(QRect(crossed.left(), 0, crossed.width(), height()));
    }
}

void PositionSlider::paintEvent(QPaintEvent* event) {
    shownHandle_ = handleRect();
    QSlider::paintEvent(event);
}

void PositionSlider::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    emit mouseDown();
    const QRect handle = handleRect();
    const int x = event->position().toPoint().x();
    // A press on the track pages by the large change toward the pointer, and keeps paging while
    // held, as the original control did; some styles would jump straight to the pointer instead.
    if (event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton &&
        minimum() != maximum() && (x < handle.left() || x > handle.right())) {
        event->accept();
        paging_ = true;
        pagingX_ = x;
        pagingAction_ = x > handle.right() ? SliderPageStepAdd : SliderPageStepSub;
        setRepeatAction(pagingAction_);
        triggerAction(pagingAction_);
        return;
    }
    QSlider::mousePressEvent(event);
}

void PositionSlider::stopPagingAtPointer() {
    if (!paging_) {
        return;
    }
    // The handle has reached the pointer: paging further would carry it past.
    const QRect handle = handleRect();
    const bool reached =
        pagingAction_ == SliderPageStepAdd ? handle.right() >= pagingX_ : handle.left() <= pagingX_;
    if (reached) {
        setRepeatAction(SliderNoAction);
    }
}

void PositionSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (paging_ && event->button() == Qt::LeftButton) {
        paging_ = false;
        pagingAction_ = SliderNoAction;
        setRepeatAction(SliderNoAction);
        event->accept();
    } else {
        QSlider::mouseReleaseEvent(event);
    }
    const bool wasPressed = pressed_;
    pressed_ = false;
    // The order of the original control: MouseUp, then Click; only the left button clicks.
    emit mouseUp();
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

} // namespace snipora
