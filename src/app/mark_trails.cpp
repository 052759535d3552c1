// The trails of moved marks, drawn in the view's own time axis.
#include "app/mark_trails.h"

#include "app/waveform_view.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace snipora {

MarkTrails::MarkTrails(WaveformView* view) : QWidget(view), view_(view) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(view->rect());
    view->installEventFilter(this);
    hide();
}

void MarkTrails::show(std::vector<Trail> trails) {
    trails_ = std::move(trails);
    setGeometry(view_->rect());
    raise();
    setVisible(!trails_.empty());
    update();
}

void MarkTrails::clear() {
    if (!trails_.empty()) {
        trails_.clear();
        hide();
    }
}

bool MarkTrails::eventFilter(QObject* watched, QEvent* event) {
    // A zoom or a scroll repaints the view, and with it this layer over it.
    if (watched == view_ && event->type() == QEvent::Resize) {
        setGeometry(view_->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void MarkTrails::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour(255, 200, 60);
    QFont small = font();
    small.setPixelSize(10);
    painter.setFont(small);
    // Below the marks' times at the top, clear of their handles and the scroll bar at the foot.
    const int arrowY = std::min(52, height() / 3);
    for (const Trail& trail : trails_) {
        const int from = view_->xForMs(trail.fromMs);
        const int to = view_->xForMs(trail.toMs);
        painter.setPen(QPen(colour, 1, Qt::DashLine));
        painter.drawLine(from, 0, from, height());
        painter.setPen(QPen(colour, 1.5));
        painter.drawLine(from, arrowY, to, arrowY);
        // The head points the way the mark went; a mark that stayed gets a dot.
        const int way = to >= from ? -1 : 1;
        QPainterPath head;
        if (to == from) {
            head.addEllipse(QPointF(to, arrowY), 3, 3);
        } else {
            head.moveTo(to, arrowY);
            head.lineTo(to + way * 6, arrowY - 4);
            head.lineTo(to + way * 6, arrowY + 4);
            head.closeSubpath();
        }
        painter.fillPath(head, colour);
        const QRect textBox(std::min(from, to) - 80, arrowY + 3, std::abs(to - from) + 160, 14);
        painter.drawText(textBox, Qt::AlignHCenter | Qt::AlignTop, trail.text);
    }
}

} // namespace snipora
