// The position slider: a QSlider that reports the click, press and release the window uses.
#pragma once

#include <QSlider>

#include <cstdint>

namespace snipora {

class PositionSlider : public QSlider {
    Q_OBJECT
public:
    explicit PositionSlider(QWidget* parent = nullptr);

    // The control's Max property. A maximum below the minimum is refused with an error, as the
    // original control refused it, instead of dragging the minimum down with it.
    void setMax(std::int32_t maximum);

signals:
    void mouseDown();
    void mouseUp();
    // A completed left-button click (press and release on the slider), after mouseUp.
    void clicked();

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect handleRect() const;
    void stopPagingAtPointer();

    // Where the handle was last painted; null before the first paint.
    QRect shownHandle_;
    bool pressed_ = false;
    // While the left button is held on the track: the paging direction and where it is held.
    bool paging_ = false;
    SliderAction pagingAction_ = SliderNoAction;
    int pagingX_ = 0;
};

} // namespace snipora
