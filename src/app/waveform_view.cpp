// Painting the waveform panel and turning clicks and handle drags into times.
#include "app/waveform_view.h"

#include "core/waveform_peaks.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace snipora {

namespace {
constexpr int handleWidth = 9;
constexpr int handleHeight = 12;
// A handle is easier to catch than to see.
constexpr int handleReach = 3;
constexpr int labelPadding = 2;
} // namespace

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true); // for the cursor over a handle
}

void WaveformView::setLength(std::int64_t ms) {
    lengthMs_ = std::max<std::int64_t>(ms, 0);
    update();
}

void WaveformView::setPosition(std::int64_t ms) {
    if (ms != positionMs_) {
        positionMs_ = ms;
        update();
    }
}

void WaveformView::setMarks(std::optional<std::int64_t> startMs,
                            std::optional<std::int64_t> endMs) {
    if (startMs != startMs_ || endMs != endMs_) {
        startMs_ = startMs;
        endMs_ = endMs;
        update();
    }
}

void WaveformView::setActiveMark(Mark mark) {
    if (mark != activeMark_) {
        activeMark_ = mark;
        update();
    }
}

void WaveformView::setPeaks(const WaveformPeaks* peaks) {
    peaks_ = peaks;
    update();
}

void WaveformView::clear() {
    lengthMs_ = 0;
    positionMs_ = 0;
    startMs_.reset();
    endMs_.reset();
    peaks_ = nullptr;
    dragging_ = Handle::None;
    update();
}

void WaveformView::setInsets(int left, int right) {
    leftInset_ = std::max(left, 0);
    rightInset_ = std::max(right, 0);
    update();
}

QString WaveformView::markTimeText(std::int64_t ms) {
    ms = std::max<std::int64_t>(ms, 0);
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000)
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void WaveformView::showArrivedPeaks(std::int64_t fromMs, std::int64_t toMs) {
    if (lengthMs_ > 0) {
        const int left = xForMs(fromMs);
        update(QRect(left - 1, 0, xForMs(toMs) - left + 3, height()));
    }
}

int WaveformView::xForMs(std::int64_t ms) const {
    const int span = std::max(width() - 1 - leftInset_ - rightInset_, 1);
    if (lengthMs_ <= 0) {
        return leftInset_;
    }
    ms = std::clamp<std::int64_t>(ms, 0, lengthMs_);
    return leftInset_ + static_cast<int>((ms * span + lengthMs_ / 2) / lengthMs_);
}

std::int64_t WaveformView::msAtX(int x) const {
    const int span = std::max(width() - 1 - leftInset_ - rightInset_, 1);
    const std::int64_t offset = std::clamp(x - leftInset_, 0, span);
    return (offset * lengthMs_ + span / 2) / span;
}

QRect WaveformView::handleRect(std::int64_t ms) const {
    return {xForMs(ms) - handleWidth / 2, height() - handleHeight, handleWidth, handleHeight};
}

WaveformView::Handle WaveformView::handleAt(QPoint point) const {
    const auto reach = [&](const std::optional<std::int64_t>& mark) -> std::optional<int> {
        if (!mark || !handleRect(*mark)
                          .adjusted(-handleReach, -handleReach, handleReach, handleReach)
                          .contains(point)) {
            return std::nullopt;
        }
        return point.x() - xForMs(*mark);
    };
    const std::optional<int> start = reach(startMs_);
    const std::optional<int> end = reach(endMs_);
    if (start && end) {
        // On one handle's face alone, that one; where the handles overlap, the one that is not
        // active, so that each click there takes the other and both can be reached.
        const bool onStart = handleRect(*startMs_).contains(point);
        const bool onEnd = handleRect(*endMs_).contains(point);
        if (onStart != onEnd) {
            return onStart ? Handle::Start : Handle::End;
        }
        return activeMark_ == Mark::Start ? Handle::End : Handle::Start;
    }
    return start ? Handle::Start : end ? Handle::End : Handle::None;
}

void WaveformView::emitDrag(std::int64_t ms) {
    if (lastDragMs_ == ms) {
        return;
    }
    lastDragMs_ = ms;
    if (dragging_ == Handle::Start) {
        emit startMarkDragged(ms);
    } else if (dragging_ == Handle::End) {
        emit endMarkDragged(ms);
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || lengthMs_ <= 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    dragging_ = handleAt(point);
    if (dragging_ == Handle::None) {
        // A mark's time picks its mark (a second click there edits it) instead of seeking.
        if (const std::optional<Mark> label = labelAt(point)) {
            emit markPicked(*label);
        } else {
            emit seekRequested(msAtX(point.x()));
        }
        return;
    }
    dragFromX_ = point.x();
    dragMoved_ = false;
    emit markPicked(dragging_ == Handle::Start ? Mark::Start : Mark::End);
    lastDragMs_ = dragging_ == Handle::Start ? startMs_ : endMs_;
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (dragging_ != Handle::None) {
        // A handle caught a pixel off its line does not jump there until the pointer moves.
        dragMoved_ = dragMoved_ || point.x() != dragFromX_;
        if (dragMoved_) {
            emitDrag(msAtX(point.x()));
        }
    } else {
        setCursor(handleAt(point) != Handle::None ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_ != Handle::None) {
        if (dragMoved_) {
            emitDrag(msAtX(event->position().toPoint().x()));
        }
        dragging_ = Handle::None;
    }
}

void WaveformView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && lengthMs_ > 0) {
        if (const std::optional<Mark> label = labelAt(event->position().toPoint())) {
            emit markTimeEditRequested(*label);
            return;
        }
    }
    // Elsewhere a double click is a second click.
    mousePressEvent(event);
}

void WaveformView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), backgroundColor());
    if (lengthMs_ <= 0) {
        // With no file open, the panel says how to get one; above the slider, which crosses the
        // middle.
        painter.setPen(QColor(0xc8, 0xc8, 0xc8)); // 12.7:1 on black
        painter.drawText(QRect(0, 0, width(), height() / 2 - 16), Qt::AlignCenter,
                         QStringLiteral("Open an MP3 file (Ctrl+O), or drop one here"));
        return;
    }
    const QFontMetrics metrics(font());
    const int rowHeight = metrics.height() + 2 * labelPadding;
    // Two rows of mark times at the top, the handles at the bottom, the waveform between.
    const int waveTop = 2 * rowHeight + 2;
    const int waveBottom = std::max(height() - handleHeight - 3, waveTop + 2);
    const int middle = (waveTop + waveBottom) / 2;
    const int half = (waveBottom - waveTop) / 2;

    if (startMs_ && endMs_ && *startMs_ < *endMs_) {
        const int left = xForMs(*startMs_);
        painter.fillRect(QRect(left, 0, xForMs(*endMs_) - left + 1, height()), selectionColor());
    }

    if (peaks_ != nullptr) {
        const int first = std::max(event->rect().left(), leftInset_);
        const int last = std::min(event->rect().right(), width() - 1 - rightInset_);
        if (first <= last) {
            // A column shows the stretch of time that rounds to it: half a column either side.
            const std::int64_t span = std::max(width() - 1 - leftInset_ - rightInset_, 1);
            const auto timeAt = [&](std::int64_t halfColumns) {
                return halfColumns * lengthMs_ / (2 * span);
            };
            const auto columns =
                peaks_->columns(timeAt(2 * (first - leftInset_) - 1),
                                timeAt(2 * (last - leftInset_) + 1), last - first + 1);
            painter.setPen(peakColor());
            for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
                if (const auto& range = columns[static_cast<std::size_t>(i)]) {
                    const int x = first + i;
                    painter.drawLine(x, middle - range->high * half / 128, x,
                                     middle - range->low * half / 128);
                }
            }
        }
    }

    const auto drawMark = [&](std::int64_t ms, const QColor& color, bool active) {
        const int x = xForMs(ms);
        const QRect handle = handleRect(ms);
        // The active mark: a line twice as wide and a handle framed in white.
        painter.fillRect(QRect(x, 0, active ? 2 : 1, height()), color);
        painter.fillRect(handle, color);
        if (active) {
            painter.setPen(positionColor());
            painter.drawRect(handle.adjusted(0, 0, -1, -1));
        }
    };
    // The active mark is drawn last, over the other where they meet.
    const bool endActive = activeMark_ == Mark::End;
    if (startMs_ && endActive) {
        drawMark(*startMs_, startMarkColor(), false);
    }
    if (endMs_) {
        drawMark(*endMs_, endMarkColor(), endActive);
    }
    if (startMs_ && !endActive) {
        drawMark(*startMs_, startMarkColor(), true);
    }
    painter.setPen(positionColor());
    const int positionX = xForMs(positionMs_);
    painter.drawLine(positionX, 0, positionX, height() - 1);

    // The times go on last, each on a black plate, so that nothing drawn above lies behind them.
    if (startMs_) {
        drawLabel(painter, Mark::Start, startMarkColor());
    }
    if (endMs_) {
        drawLabel(painter, Mark::End, endMarkColor());
    }
}

QRect WaveformView::labelRect(Mark mark) const {
    const std::optional<std::int64_t>& ms = mark == Mark::Start ? startMs_ : endMs_;
    if (!ms) {
        return {};
    }
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(markTimeText(*ms)) + 2 * labelPadding;
    const int rowHeight = metrics.height() + 2 * labelPadding;
    const int x = xForMs(*ms);
    const bool fitsRight = x + 2 + textWidth <= width();
    const bool fitsLeft = x - 1 - textWidth >= 0;
    const bool right = mark == Mark::Start ? fitsRight || !fitsLeft : !fitsLeft && fitsRight;
    const int row = mark == Mark::Start ? 0 : 1;
    return {right ? x + 2 : x - 1 - textWidth, row * rowHeight, textWidth, rowHeight};
}

std::optional<Mark> WaveformView::labelAt(QPoint point) const {
    for (const Mark mark : {Mark::Start, Mark::End}) {
        if (labelRect(mark).contains(point)) {
            return mark;
        }
    }
    return std::nullopt;
}

void WaveformView::drawLabel(QPainter& painter, Mark mark, const QColor& color) {
    const QRect plate = labelRect(mark);
    painter.fillRect(plate, backgroundColor());
    painter.setPen(color);
    painter.drawText(plate, Qt::AlignCenter,
                     markTimeText(mark == Mark::Start ? *startMs_ : *endMs_));
}

} // namespace snipora
