// The position slider H: a QSlider that reports the click, press and release the handlers use.
#pragma once

#include <QSlider>

namespace snipora {

class PositionSlider : public QSlider {
    Q_OBJECT
public:
    explicit PositionSlider(QWidget* parent = nullptr);

signals:
    void mouseDown();
    void mouseUp();
    // A completed mouse click (press and release on the slider), after mouseUp.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace snipora
