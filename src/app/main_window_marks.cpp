// MainWindow: typed times (Go to, a mark's own time) and picking the active mark.
#include "app/main_window.h"

#include "app/time_field.h"
#include "app/waveform_view.h"
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

void MainWindow::createMarkControls() {
    timeField = new TimeField(displayPanel);
    timeField->move(4, 4);
    auto* goToKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    connect(goToKey, &QShortcut::activated, this, [this] {
        if (openButton->isEnabled()) {
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
    addTip(playPauseButton, QStringLiteral("; Ctrl+G goes to a typed time"));
    addTip(markStartButton, QStringLiteral("; double-click a mark's time to type it"));
}

void MainWindow::goToTime() {
    if (!session_.hasSource()) {
        return;
    }
    timeField->disconnect(this);
    connect(timeField, &TimeField::timeEntered, this,
            [this](std::int64_t ms) { session_.seekTo(ms); });
    timeField->open(QStringLiteral("Go to"), preciseTime(session_.positionMs()),
                    session_.lengthMs());
}

void MainWindow::editMarkTime(Mark mark) {
    if (!session_.hasSource() || !openButton->isEnabled()) {
        return;
    }
    const Selection& selection = session_.selection();
    session_.setActiveMark(mark);
    timeField->disconnect(this);
    connect(timeField, &TimeField::timeEntered, this, [this, mark](std::int64_t ms) {
        if (mark == Mark::Start) {
            session_.setStart(ms);
        } else {
            session_.setEnd(ms);
        }
    });
    const bool set = mark == Mark::Start ? session_.startIsSet() : session_.endIsSet();
    const std::int64_t ms = mark == Mark::Start ? selection.start : selection.end;
    timeField->open(mark == Mark::Start ? QStringLiteral("Start") : QStringLiteral("End"),
                    preciseTime(set ? ms : session_.positionMs()), session_.lengthMs());
}

} // namespace snipora
