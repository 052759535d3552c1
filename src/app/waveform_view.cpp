// Painting the waveform panel and turning clicks and handle drags into times.
#include "app/waveform_view.h"

#include "core/waveform_peaks.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace snipora {

namespace {
constexpr int handleWidth = 9;
constexpr int handleHeight = 12;
// A handle is easier to catch than to see.
constexpr int handleReach = 3;
constexpr int labelPadding = 2;
} // namespace

WaveformView::WaveformView(QWidget* parent)
    : QWidget(parent), scrollBar_(new QScrollBar(Qt::Horizontal, this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true); // for the cursor over a handle
    scrollBar_->setObjectName(QStringLiteral("waveformScrollBar"));
    scrollBar_->setToolTip(tr("Scroll (wheel); Ctrl+wheel or + / - zoom, Z zooms to "
                              "the selection, 0 shows the whole file"));
    scrollBar_->hide(); // only while zoomed: the whole file needs no scrolling
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!placingScrollBar_) {
            scrollTo(value);
        }
    });
}

void WaveformView::setLength(std::int64_t ms) {
    lengthMs_ = std::max<std::int64_t>(ms, 0);
    viewChanged();
}

void WaveformView::setPosition(std::int64_t ms) {
    if (ms == positionMs_) {
        return;
    }
    const int oldX = xForMs(positionMs_);
    positionMs_ = ms;
    if (isZoomed()) {
        const bool inView = ms >= viewFrom_ && ms < viewFrom_ + viewSpanMs();
        if (following_ && !inView) {
            // A page at a time: the cursor starts the next page.
            viewFrom_ = static_cast<double>(ms);
            viewChanged();
            return;
        }
        if (inView) {
            following_ = true;
        }
    }
    // Only the cursor's old and new columns change: repainting the whole panel while playing
    // also repaints the slider that lies over it, which costs more than the sound itself.
    const int newX = xForMs(ms);
    if (newX != oldX) {
        update(QRect(oldX, 0, 1, height()));
        update(QRect(newX, 0, 1, height()));
    }
}

double WaveformView::viewSpanMs() const {
    return zoomedSpan_ > 0 ? zoomedSpan_ : static_cast<double>(lengthMs_);
}

double WaveformView::msPerPixel() const {
    return viewSpanMs() / spanPixels();
}

int WaveformView::spanPixels() const {
    return std::max(width() - 1 - leftInset_ - rightInset_, 1);
}

int WaveformView::contentBottom() const {
    return height() - (scrollBar_->isVisible() ? scrollBar_->height() : 0);
}

void WaveformView::zoomAt(double factor, int x) {
    const int offset = std::clamp(x - leftInset_, 0, spanPixels());
    zoomKeeping(factor, viewFrom_ + offset * msPerPixel(), offset);
}

void WaveformView::zoomAround(double factor, std::int64_t ms) {
    if (ms < viewFrom_ || ms > viewFrom_ + viewSpanMs()) {
        reveal(ms);
    }
    // The time itself, not its pixel's, stays put: a pixel of the whole hour is seconds wide.
    const double offset =
        std::clamp((double(ms) - viewFrom_) / msPerPixel(), 0.0, double(spanPixels()));
    zoomKeeping(factor, double(ms), offset);
}

void WaveformView::zoomKeeping(double factor, double anchorMs, double offsetPixels) {
    if (lengthMs_ <= 0 || factor <= 0) {
        return;
    }
    const double finest = finestMsPerPixel * spanPixels();
    const double span =
        std::clamp(viewSpanMs() / factor, std::min(finest, double(lengthMs_)), double(lengthMs_));
    zoomedSpan_ = span >= double(lengthMs_) ? 0 : span;
    viewFrom_ = anchorMs - offsetPixels * msPerPixel();
    following_ = true;
    viewChanged();
}

void WaveformView::showRange(std::int64_t fromMs, std::int64_t toMs) {
    if (lengthMs_ <= 0 || toMs <= fromMs) {
        return;
    }
    // A little room either side, so that both marks and their handles show.
    const double margin = double(toMs - fromMs) / 20;
    const double span =
        std::max(double(toMs - fromMs) + 2 * margin, finestMsPerPixel * spanPixels());
    zoomedSpan_ = span >= double(lengthMs_) ? 0 : span;
    viewFrom_ = (double(fromMs) + double(toMs)) / 2 - viewSpanMs() / 2;
    following_ = true;
    viewChanged();
}

void WaveformView::showWholeFile() {
    zoomedSpan_ = 0;
    viewFrom_ = 0;
    following_ = true;
    viewChanged();
}

void WaveformView::scrollTo(double fromMs) {
    viewFrom_ = fromMs;
    following_ = false;
    viewChanged();
}

void WaveformView::reveal(std::int64_t ms) {
    following_ = true;
    if (isZoomed() && (ms < viewFrom_ || ms >= viewFrom_ + viewSpanMs())) {
        viewFrom_ = double(ms) - viewSpanMs() / 10;
        viewChanged();
    }
}

void WaveformView::viewChanged() {
    viewFrom_ = std::clamp(viewFrom_, 0.0, std::max(double(lengthMs_) - viewSpanMs(), 0.0));
    if (!isZoomed()) {
        viewFrom_ = 0;
    }
    placingScrollBar_ = true;
    const bool show = isZoomed() && lengthMs_ > 0;
    if (show) {
        const int page = std::max(static_cast<int>(std::lround(viewSpanMs())), 1);
        scrollBar_->setRange(0, static_cast<int>(std::min<std::int64_t>(
                                    std::max<std::int64_t>(lengthMs_ - page, 0), INT32_MAX)));
        scrollBar_->setPageStep(page);
        scrollBar_->setSingleStep(std::max(page / 10, 1));
        scrollBar_->setValue(static_cast<int>(std::lround(viewFrom_)));
    }
    scrollBar_->setGeometry(0, height() - scrollBar_->sizeHint().height(), width(),
                            scrollBar_->sizeHint().height());
    scrollBar_->setVisible(show);
    placingScrollBar_ = false;
    // Columns narrower than the overview's buckets show the samples themselves.
    if (peaks_ != nullptr && peaks_->layout().valid() && lengthMs_ > 0) {
        const double bucketMs = 1000.0 * peaks_->layout().bucketSamples / peaks_->layout().rate;
        if (msPerPixel() < bucketMs && !detailFitsView()) {
            emit detailWanted(viewFrom_ - msPerPixel() / 2, viewSpanMs() + msPerPixel(),
                              spanPixels() + 1);
        }
    }
    update();
    emit viewMoved();
}

bool WaveformView::detailFitsView() const {
    return !detail_.empty() && std::abs(detailFrom_ - viewFrom_) < 1e-6 &&
           std::abs(detailSpan_ - viewSpanMs()) < 1e-6 &&
           static_cast<int>(detail_.size()) == spanPixels() + 1;
}

void WaveformView::setDetail(double fromMs, double spanMs, const std::vector<PeakRange>& columns) {
    const int count = static_cast<int>(columns.size());
    // Kept by the view's own from and span, so that it is drawn while the view shows exactly it.
    const double pixelMs = count > 1 ? spanMs / count : 0;
    detailFrom_ = fromMs + pixelMs / 2;
    detailSpan_ = spanMs - pixelMs;
    detail_ = columns;
    update();
}

void WaveformView::wheelEvent(QWheelEvent* event) {
    if (lengthMs_ <= 0) {
        return;
    }
    const QPoint delta = event->angleDelta();
    const int steps = delta.y() != 0 ? delta.y() : delta.x();
    if (event->modifiers() & Qt::ControlModifier) {
        zoomAt(std::pow(2.0, steps / 120.0), event->position().toPoint().x());
    } else if (isZoomed()) {
        scrollTo(viewFrom_ - steps / 120.0 * viewSpanMs() / 5);
    }
    event->accept();
}

void WaveformView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    viewChanged();
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

void WaveformView::setSplitPoints(const std::vector<std::int64_t>& pointsMs,
                                  std::optional<std::size_t> selected) {
    if (pointsMs != splitPoints_ || selected != selectedSplit_) {
        splitPoints_ = pointsMs;
        selectedSplit_ = selected;
        if (dragging_ == Handle::Split && draggedSplit_ >= splitPoints_.size()) {
            dragging_ = Handle::None;
        }
        update();
    }
}

void WaveformView::setPauses(const std::vector<std::pair<std::int64_t, std::int64_t>>& spans) {
    if (spans != pauses_) {
        pauses_ = spans;
        update();
    }
}

void WaveformView::setPeaks(const WaveformPeaks* peaks) {
    peaks_ = peaks;
    detail_.clear();
    viewChanged();
}

void WaveformView::clear() {
    lengthMs_ = 0;
    positionMs_ = 0;
    startMs_.reset();
    endMs_.reset();
    splitPoints_.clear();
    selectedSplit_.reset();
    pauses_.clear();
    peaks_ = nullptr;
    dragging_ = Handle::None;
    detail_.clear();
    showWholeFile();
}

void WaveformView::setInsets(int left, int right) {
    leftInset_ = std::max(left, 0);
    rightInset_ = std::max(right, 0);
    viewChanged();
}

QString WaveformView::markTimeText(std::int64_t ms) {
    ms = std::max<std::int64_t>(ms, 0);
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000)
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void WaveformView::showArrivedPeaks(std::int64_t fromMs, std::int64_t toMs) {
    if (lengthMs_ > 0 && toMs >= viewFrom_ && fromMs <= viewFrom_ + viewSpanMs()) {
        const int left = xForMs(fromMs);
        update(QRect(left - 1, 0, xForMs(toMs) - left + 3, height()));
    }
}

int WaveformView::xForMs(std::int64_t ms) const {
    if (lengthMs_ <= 0) {
        return leftInset_;
    }
    ms = std::clamp<std::int64_t>(ms, 0, lengthMs_);
    const double x = leftInset_ + (double(ms) - viewFrom_) / msPerPixel();
    // Far outside the panel is all the same to the painter.
    return static_cast<int>(std::lround(std::clamp(x, -10000.0, width() + 10000.0)));
}

std::int64_t WaveformView::msAtX(int x) const {
    const int offset = std::clamp(x - leftInset_, 0, spanPixels());
    const double ms = viewFrom_ + offset * msPerPixel();
    return std::clamp<std::int64_t>(std::llround(ms), 0, lengthMs_);
}

QRect WaveformView::handleRect(std::int64_t ms) const {
    return {xForMs(ms) - handleWidth / 2, contentBottom() - handleHeight, handleWidth,
            handleHeight};
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
    } else if (dragging_ == Handle::Split) {
        emit splitPointDragged(static_cast<int>(draggedSplit_), ms);
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
        if (const std::optional<std::size_t> tag = splitTagAt(point)) {
            dragging_ = Handle::Split;
            draggedSplit_ = *tag;
            dragFromX_ = point.x();
            dragMoved_ = false;
            lastDragMs_ = splitPoints_[*tag];
            emit splitPointPicked(static_cast<int>(*tag));
            return;
        }
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
        // Zoomed, pulling a handle past an edge scrolls that way, as far as it is pulled.
        const int right = width() - 1 - rightInset_;
        const int overshoot = point.x() < leftInset_ ? point.x() - leftInset_
                              : point.x() > right    ? point.x() - right
                                                     : 0;
        if (dragMoved_ && isZoomed() && overshoot != 0) {
            scrollTo(viewFrom_ + overshoot * msPerPixel());
        }
        if (dragMoved_) {
            emitDrag(msAtX(point.x()));
        }
    } else {
        setCursor(handleAt(point) != Handle::None || splitTagAt(point) ? Qt::SizeHorCursor
                                                                       : Qt::ArrowCursor);
    }
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_ != Handle::None) {
        if (dragMoved_) {
            emitDrag(msAtX(event->position().toPoint().x()));
        }
        dragging_ = Handle::None;
        if (dragMoved_) {
            emit dragFinished();
        }
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
                         tr("Open an MP3 file (Ctrl+O), or drop one here"));
        return;
    }
    const QFontMetrics metrics(font());
    const int rowHeight = metrics.height() + 2 * labelPadding;
    // Two rows of mark times at the top, the handles at the bottom, the waveform between.
    const int waveTop = 2 * rowHeight + 2;
    const int waveBottom = std::max(contentBottom() - handleHeight - 3, waveTop + 2);
    const int middle = (waveTop + waveBottom) / 2;
    const int half = (waveBottom - waveTop) / 2;

    if (startMs_ && endMs_ && *startMs_ < *endMs_) {
        const int left = xForMs(*startMs_);
        painter.fillRect(QRect(left, 0, xForMs(*endMs_) - left + 1, height()), selectionColor());
    }

    for (const auto& [from, to] : pauses_) {
        const int left = xForMs(from);
        painter.fillRect(QRect(left, waveTop, std::max(xForMs(to) - left, 1), waveBottom - waveTop),
                         pauseColor());
    }

    const int first = std::max(event->rect().left(), leftInset_);
    const int last = std::min(event->rect().right(), width() - 1 - rightInset_);
    const bool detailShown = detailFitsView();
    std::vector<std::optional<PeakRange>> columns;
    if (detailShown && first <= last) {
        for (int x = first; x <= last; ++x) {
            columns.emplace_back(detail_[static_cast<std::size_t>(x - leftInset_)]);
        }
    } else if (peaks_ != nullptr && first <= last) {
        // A column shows the stretch of time that rounds to it: half a column either side.
        const double pixelMs = msPerPixel();
        const auto timeAt = [&](double column) {
            return std::llround(viewFrom_ + (column - leftInset_) * pixelMs);
        };
        columns = peaks_->columns(timeAt(first - 0.5), timeAt(last + 0.5), last - first + 1);
    }
    painter.setPen(peakColor());
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        if (const auto& range = columns[static_cast<std::size_t>(i)]) {
            const int x = first + i;
            painter.drawLine(x, middle - range->high * half / 128, x,
                             middle - range->low * half / 128);
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
    drawSplitPoints(painter);
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

QRect WaveformView::splitTagRect(std::size_t index) const {
    const QFontMetrics metrics(font());
    const QString number = QString::number(index + 2);
    const int width = metrics.horizontalAdvance(number) + 2 * labelPadding + 2;
    const int height = metrics.height() + labelPadding;
    return {xForMs(splitPoints_[index]) - width / 2, contentBottom() - handleHeight - 2 - height,
            width, height};
}

std::optional<std::size_t> WaveformView::splitTagAt(QPoint point) const {
    // The selected tag first, as it is drawn on top.
    if (selectedSplit_ && *selectedSplit_ < splitPoints_.size() &&
        splitTagRect(*selectedSplit_).contains(point)) {
        return selectedSplit_;
    }
    for (std::size_t i = 0; i < splitPoints_.size(); ++i) {
        if (splitTagRect(i).adjusted(-1, -handleReach, 1, handleReach).contains(point)) {
            return i;
        }
    }
    return std::nullopt;
}

void WaveformView::drawSplitPoints(QPainter& painter) {
    const auto draw = [&](std::size_t i, bool selected) {
        const int x = xForMs(splitPoints_[i]);
        const QRect tag = splitTagRect(i);
        painter.fillRect(QRect(x, 0, selected ? 2 : 1, tag.top()), splitPointColor());
        painter.fillRect(tag, selected ? splitPointColor() : backgroundColor());
        painter.setPen(selected ? backgroundColor() : splitPointColor());
        painter.drawRect(tag.adjusted(0, 0, -1, -1));
        // Numbered by the piece that starts there, as the list of pieces counts them.
        painter.drawText(tag, Qt::AlignCenter, QString::number(i + 2));
        if (selected) {
            painter.setPen(positionColor());
            painter.drawRect(tag.adjusted(0, 0, -1, -1));
        }
    };
    for (std::size_t i = 0; i < splitPoints_.size(); ++i) {
        if (i != selectedSplit_) {
            draw(i, false);
        }
    }
    if (selectedSplit_ && *selectedSplit_ < splitPoints_.size()) {
        draw(*selectedSplit_, true);
    }
}

void WaveformView::drawLabel(QPainter& painter, Mark mark, const QColor& color) {
    const QRect plate = labelRect(mark);
    painter.fillRect(plate, backgroundColor());
    painter.setPen(color);
    painter.drawText(plate, Qt::AlignCenter,
                     markTimeText(mark == Mark::Start ? *startMs_ : *endMs_));
}

} // namespace snipora
