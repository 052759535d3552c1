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
        // Overlapping handles: the nearer one, and on a tie the side the pointer is on, so that
        // marks set at the same time can still be pulled apart.
        if (std::abs(*start) != std::abs(*end)) {
            return std::abs(*start) < std::abs(*end) ? Handle::Start : Handle::End;
        }
        return *start <= 0 ? Handle::Start : Handle::End;
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
        emit seekRequested(msAtX(point.x()));
        return;
    }
    dragFromX_ = point.x();
    dragMoved_ = false;
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

    const auto drawMark = [&](std::int64_t ms, const QColor& color) {
        const int x = xForMs(ms);
        painter.setPen(color);
        painter.drawLine(x, 0, x, height() - 1);
        painter.fillRect(handleRect(ms), color);
    };
    if (startMs_) {
        drawMark(*startMs_, startMarkColor());
    }
    if (endMs_) {
        drawMark(*endMs_, endMarkColor());
    }
    painter.setPen(positionColor());
    const int positionX = xForMs(positionMs_);
    painter.drawLine(positionX, 0, positionX, height() - 1);

    // The times go on last, each on a black plate, so that nothing drawn above lies behind them.
    if (startMs_) {
        drawLabel(painter, *startMs_, startMarkColor(), 0, true);
    }
    if (endMs_) {
        drawLabel(painter, *endMs_, endMarkColor(), 1, false);
    }
}

void WaveformView::drawLabel(QPainter& painter, std::int64_t ms, const QColor& color, int row,
                             bool preferRight) {
    const QFontMetrics metrics(font());
    const QString text = markTimeText(ms);
    const int textWidth = metrics.horizontalAdvance(text) + 2 * labelPadding;
    const int rowHeight = metrics.height() + 2 * labelPadding;
    const int x = xForMs(ms);
    const bool fitsRight = x + 2 + textWidth <= width();
    const bool fitsLeft = x - 1 - textWidth >= 0;
    const bool right = preferRight ? fitsRight || !fitsLeft : !fitsLeft && fitsRight;
    const QRect plate(right ? x + 2 : x - 1 - textWidth, row * rowHeight, textWidth, rowHeight);
    painter.fillRect(plate, backgroundColor());
    painter.setPen(color);
    painter.drawText(plate, Qt::AlignCenter, text);
}

} // namespace snipora
