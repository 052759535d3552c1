// The waveform panel: the peak overview, the play position and the marks, on black.
#pragma once

#include "core/selection.h"
#include "core/waveform_peaks.h"

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QScrollBar;

namespace snipora {

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
    // The split points, each drawn as a line with a tag numbered by the piece it starts; the
    // selected one stands out.
    void setSplitPoints(const std::vector<std::int64_t>& pointsMs,
                        std::optional<std::size_t> selected);
    // Stretches found quiet (pauses), shaded behind the waveform.
    void setPauses(const std::vector<std::pair<std::int64_t, std::int64_t>>& spans);
    // While a handle or a split point's tag is held.
    bool isDragging() const { return dragging_ != Handle::None; }
    // The overview to draw; not owned, and it must outlive the view or be replaced first. It may
    // still be growing: showArrivedPeaks() repaints the part that came in.
    void setPeaks(const WaveformPeaks* peaks);
    // Forgets the length, position, marks and peaks: an empty black panel.
    void clear();
    // Pixels kept free at each side, so that time 0 and the end line up with another control
    // (the position slider's track, say). Time 0 lies at x = left, the end at width() - 1 - right.
    void setInsets(int left, int right);

    // Zoom and scroll: the panel shows `viewSpanMs()` from `viewFromMs()` (the whole file until
    // zoomed). Its time axis is its own, apart from the slider's.
    double viewFromMs() const { return viewFrom_; }
    double viewSpanMs() const;
    double msPerPixel() const;
    bool isZoomed() const { return zoomedSpan_ > 0; }
    // The finest zoom: two pixels a millisecond, so that a time's pixel and the (whole)
    // millisecond a click there gives stay within a pixel of each other.
    static constexpr double finestMsPerPixel = 0.5;
    // Zooms in by `factor` (out when below 1), keeping the time under `x` where it is.
    void zoomAt(double factor, int x);
    // Zooms by `factor` around the time `ms`, which stays in view.
    void zoomAround(double factor, std::int64_t ms);
    void showRange(std::int64_t fromMs, std::int64_t toMs);
    void showWholeFile();
    // Scrolls as the user does: the view stops following the cursor until it comes back in.
    void scrollTo(double fromMs);
    // Brings `ms` into view (a page at a time) and follows the cursor again.
    void reveal(std::int64_t ms);
    bool isFollowingCursor() const { return following_; }

    // The pixel column of a time and the time of a column, at the current zoom.
    int xForMs(std::int64_t ms) const;
    std::int64_t msAtX(int x) const;

    // Min/max of the decoded samples of each column of a view of [fromMs, fromMs + spanMs),
    // drawn instead of the overview while the view shows exactly that.
    void setDetail(double fromMs, double spanMs, const std::vector<PeakRange>& columns);

    // The text beside a mark: minutes (as many as it takes), seconds and milliseconds.
    static QString markTimeText(std::int64_t ms);

    // Fixed colours: the panel is black whatever the desktop's palette says.
    static QColor backgroundColor() { return Qt::black; }
    static QColor peakColor() { return {0x2f, 0xa8, 0xd8}; }
    static QColor selectionColor() { return {0x1a, 0x2e, 0x48}; }
    static QColor startMarkColor() { return {0x5b, 0xe3, 0x5b}; }
    static QColor endMarkColor() { return {0xff, 0x6b, 0x6b}; }
    static QColor positionColor() { return Qt::white; }
    static QColor splitPointColor() { return {0xff, 0xd2, 0x4a}; }
    static QColor pauseColor() { return {0x4a, 0x4a, 0x4a}; }

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
    // The overview is coarser than a column: the samples of `columns` columns from `fromMs`,
    // `spanMs` wide, are wanted (setDetail answers).
    void detailWanted(double fromMs, double spanMs, int columns);
    // While a mark's handle is dragged, and where it is let go.
    void startMarkDragged(std::int64_t ms);
    void endMarkDragged(std::int64_t ms);
    // A split point's tag was caught (it becomes the selected one), and where it is dragged.
    void splitPointPicked(int index);
    void splitPointDragged(int index, std::int64_t ms);
    // The button was let go after a drag of a handle or a tag: the drag was one action.
    void dragFinished();
    // The view was zoomed, scrolled or resized, or the length changed: a column may now span
    // another time.
    void viewMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Handle { None, Start, End, Split };

    // The columns between the insets, less one: the span's width in pixels.
    int spanPixels() const;
    // Where the handles end: above the scroll bar while it shows.
    int contentBottom() const;
    // Holds the view within the file, places the scroll bar, and asks for detail when needed.
    void viewChanged();
    // Zooms by `factor`, `anchorMs` staying `offsetPixels` right of the left inset.
    void zoomKeeping(double factor, double anchorMs, double offsetPixels);
    bool detailFitsView() const;
    QRect handleRect(std::int64_t ms) const;
    Handle handleAt(QPoint point) const;
    void emitDrag(std::int64_t ms);
    // Where a mark's time is written: the start's on the top row, right of its line where it
    // fits, the end's below, left of its line.
    QRect labelRect(Mark mark) const;
    std::optional<Mark> labelAt(QPoint point) const;
    void drawLabel(QPainter& painter, Mark mark, const QColor& color);
    // A split point's numbered tag, in its own row above the marks' handles.
    QRect splitTagRect(std::size_t index) const;
    std::optional<std::size_t> splitTagAt(QPoint point) const;
    void drawSplitPoints(QPainter& painter);

    std::int64_t lengthMs_ = 0;
    std::int64_t positionMs_ = 0;
    std::optional<std::int64_t> startMs_;
    std::optional<std::int64_t> endMs_;
    Mark activeMark_ = Mark::Start;
    const WaveformPeaks* peaks_ = nullptr;
    int leftInset_ = 6;
    int rightInset_ = 6;
    double viewFrom_ = 0;
    double zoomedSpan_ = 0; // 0: the whole file
    bool following_ = true;
    QScrollBar* scrollBar_;
    bool placingScrollBar_ = false;
    std::vector<PeakRange> detail_;
    double detailFrom_ = -1;
    double detailSpan_ = -1;
    // The pointer's own state during a drag, not the mark's: the owner sets the mark.
    Handle dragging_ = Handle::None;
    int dragFromX_ = 0;
    bool dragMoved_ = false;
    std::optional<std::int64_t> lastDragMs_;
    std::vector<std::int64_t> splitPoints_;
    std::optional<std::size_t> selectedSplit_;
    std::vector<std::pair<std::int64_t, std::int64_t>> pauses_;
    std::size_t draggedSplit_ = 0;
};

} // namespace snipora
