// Line1/Line2: a vertical marker line drawn on the main window's own surface, in twips.
#pragma once

#include <QColor>

class QWidget;

namespace snipora {

class MarkerLine {
public:
    MarkerLine(QWidget& surface, float x1, float y1, float x2, float y2)
        : surface_(surface), x1_(x1), y1_(y1), x2_(x2), y2_(y2) {}

    float X1() const { return x1_; }
    float Y1() const { return y1_; }
    float X2() const { return x2_; }
    float Y2() const { return y2_; }
    void setX1(float x);
    void setX2(float x);

    static QColor color() { return QColor(0, 128, 0); }

private:
    QWidget& surface_;
    float x1_;
    float y1_;
    float x2_;
    float y2_;
};

} // namespace snipora
