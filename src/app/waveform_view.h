// The waveform panel: the peak overview, the play position and the marks, on black.
#pragma once

#include "core/selection.h"

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <optional>

namespace snipora {

class WaveformPeaks;

// Shows what it is told and reports what the pointer does; the owner decides what a click or
// a drag means and sets the marks and the position back.
class WaveformView : public QWidget {
    Q_OBJECT
public:
    explicit WaveformView(QWidget* parent = nullptr);

    void setLength(std::int64_t ms);
    void setPosition(std::int64_t ms);
    // A mark that is not set is not drawn; the selection is shaded when both are.
    void setMarks(std::optional<std::int64_t> startMs, std::optional<std::int64_t> endMs);
    // The mark that nudges move, drawn so that it stands out.
    void setActiveMark(Mark mark);
    // The overview to draw; not owned, and it must outlive the view or be replaced first. It may
    // still be growing: showArrivedPeaks() repaints the part that came in.
    void setPeaks(const WaveformPeaks* peaks);
    // Forgets the length, position, marks and peaks: an empty black panel.
    void clear();
    // Pixels kept free at each side, so that time 0 and the end line up with another control
    // (the position slider's track, say). Time 0 lies at x = left, the end at width() - 1 - right.
    void setInsets(int left, int right);

    // The text beside a mark: minutes (as many as it takes), seconds and milliseconds.
    static QString markTimeText(std::int64_t ms);

    // Fixed colours: the panel is black whatever the desktop's palette says.
    static QColor backgroundColor() { return Qt::black; }
    static QColor peakColor() { return {0x2f, 0xa8, 0xd8}; }
    static QColor selectionColor() { return {0x1a, 0x2e, 0x48}; }
    static QColor startMarkColor() { return {0x5b, 0xe3, 0x5b}; }
    static QColor endMarkColor() { return {0xff, 0x6b, 0x6b}; }
    static QColor positionColor() { return Qt::white; }

    QSize sizeHint() const override { return {386, 249}; }

public slots:
    // Connect to WaveformPeakComputer::peaksArrived.
    void showArrivedPeaks(std::int64_t fromMs, std::int64_t toMs);

signals:
    // A left click on the waveform, at the time under the pointer.
    void seekRequested(std::int64_t ms);
    // A mark's handle was caught: that mark becomes the active one.
    void markPicked(snipora::Mark mark);
    // A double click on a mark's time: the user wants to type it.
    void markTimeEditRequested(snipora::Mark mark);
    // While a mark's handle is dragged, and where it is let go.
    void startMarkDragged(std::int64_t ms);
    void endMarkDragged(std::int64_t ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class Handle { None, Start, End };

    int xForMs(std::int64_t ms) const;
    std::int64_t msAtX(int x) const;
    QRect handleRect(std::int64_t ms) const;
    Handle handleAt(QPoint point) const;
    void emitDrag(std::int64_t ms);
    // Where a mark's time is written: the start's on the top row, right of its line where it
    // fits, the end's below, left of its line.
    QRect labelRect(Mark mark) const;
    std::optional<Mark> labelAt(QPoint point) const;
    void drawLabel(QPainter& painter, Mark mark, const QColor& color);

    std::int64_t lengthMs_ = 0;
    std::int64_t positionMs_ = 0;
    std::optional<std::int64_t> startMs_;
    std::optional<std::int64_t> endMs_;
    Mark activeMark_ = Mark::Start;
    const WaveformPeaks* peaks_ = nullptr;
    int leftInset_ = 6;
    int rightInset_ = 6;
    // The pointer's own state during a drag, not the mark's: the owner sets the mark.
    Handle dragging_ = Handle::None;
    int dragFromX_ = 0;
    bool dragMoved_ = false;
    std::optional<std::int64_t> lastDragMs_;
};

} // namespace snipora
