// MainWindow: typed times (Go to, a mark's own time) and picking the active mark.
#include "app/main_window.h"

#include "app/time_field.h"
#include "app/waveform_view.h"
#include "core/detail_peaks.h"
#include "core/time_text.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include <functional>

namespace snipora {

namespace {
// Calls back on a double click of the watched widget (a label has no signal of its own).
class DoubleClickWatch : public QObject {
public:
    DoubleClickWatch(QWidget* watched, std::function<void()> action)
        : QObject(watched), action_(std::move(action)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonDblClick) {
            action_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> action_;
};
} // namespace

TimeField* MainWindow::timeField() {
    if (!timeField_) {
        timeField_ = new TimeField(displayPanel);
        timeField_->move(4, 4);
    }
    return timeField_;
}

void MainWindow::createMarkControls() {
    auto* goToKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    connect(goToKey, &QShortcut::activated, this, [this] {
        if (!saveUnderWay_) {
            goToTime();
        }
    });
    connect(waveformView, &WaveformView::markTimeEditRequested, this,
            [this](Mark mark) { editMarkTime(mark); });
    new DoubleClickWatch(startLabel, [this] { editMarkTime(Mark::Start); });
    new DoubleClickWatch(endLabel, [this] { editMarkTime(Mark::End); });
    const auto addTip = [](QWidget* control, const QString& text) {
        control->setToolTip(control->toolTip() + text);
    };
    addTip(playPauseButton, tr("; Ctrl+G goes to a typed time"));
    addTip(markStartButton, tr("; double-click a mark's time to type it"));
}

void MainWindow::createZoomControls() {
    detailComputer_ = new DetailPeakComputer(this);
    connect(&session_, &CuttingSession::sourceChanged, this, [this] {
        // A new file opens showing the whole of it.
        waveformView->showWholeFile();
        detailComputer_->setSource(session_.hasSource() ? session_.sourcePath() : QByteArray());
    });
    connect(waveformView, &WaveformView::detailWanted, detailComputer_,
            &DetailPeakComputer::request);
    connect(detailComputer_, &DetailPeakComputer::detailReady, waveformView,
            &WaveformView::setDetail);
    const auto key = [this](const QKeySequence& sequence, auto action) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (!saveUnderWay_ && session_.hasSource()) {
                action();
            }
        });
    };
    // The keys zoom around the cursor; the wheel with Ctrl zooms around the pointer.
    const auto zoomIn = [this] {
        waveformView->zoomAround(2.0, session_.positionMs());
    };
    const auto zoomOut = [this] {
        waveformView->zoomAround(0.5, session_.positionMs());
    };
    key(Qt::Key_Plus, zoomIn);
    key(Qt::Key_Equal, zoomIn);
    key(Qt::Key_Minus, zoomOut);
    key(Qt::Key_Z, [this] {
        if (session_.selection().isValid()) {
            waveformView->showRange(session_.selection().start, session_.selection().end);
        }
    });
    key(Qt::Key_0, [this] { waveformView->showWholeFile(); });
    waveformView->setToolTip(
        tr("Click to move the cursor, drag a handle to move its mark; Ctrl+wheel or + / - zoom, "
           "Z zooms to the selection, 0 shows the whole file, the wheel scrolls"));
}

void MainWindow::createEdgeKeys() {
    const auto key = [this](const QKeySequence& sequence, auto action) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (!saveUnderWay_ && session_.hasSource()) {
                action();
            }
        });
    };
    key(Qt::Key_F6, [this] { session_.playAfterStart(); });
    key(Qt::Key_F7, [this] { session_.playBeforeEnd(); });
    key(Qt::Key_L, [this] {
        if (selectionIsValid()) {
            session_.loopSelection();
        }
    });
    playSelectionButton->setToolTip(playSelectionButton->toolTip() +
                                    tr("; F6 plays the 2 s after the start mark, F7 "
                                       "the 2 s up to the end mark, L loops the "
                                       "selection"));
}

void MainWindow::goToTime() {
    if (!session_.hasSource()) {
        return;
    }
    timeField()->disconnect(this);
    connect(timeField(), &TimeField::timeEntered, this, [this](std::int64_t ms) {
        session_.seekTo(ms);
        waveformView->reveal(ms);
    });
    timeField()->open(tr("Go to"), preciseTime(session_.positionMs()), session_.lengthMs());
}

void MainWindow::editMarkTime(Mark mark) {
    if (!session_.hasSource() || saveUnderWay_) {
        return;
    }
    const Selection& selection = session_.selection();
    session_.setActiveMark(mark);
    timeField()->disconnect(this);
    connect(timeField(), &TimeField::timeEntered, this, [this, mark](std::int64_t ms) {
        if (mark == Mark::Start) {
            session_.setStart(ms);
        } else {
            session_.setEnd(ms);
        }
        waveformView->reveal(ms);
    });
    const bool set = mark == Mark::Start ? session_.startIsSet() : session_.endIsSet();
    const std::int64_t ms = mark == Mark::Start ? selection.start : selection.end;
    timeField()->open(mark == Mark::Start ? tr("Start") : tr("End"),
                      preciseTime(set ? ms : session_.positionMs()), session_.lengthMs());
}

} // namespace snipora
