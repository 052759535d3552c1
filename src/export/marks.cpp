// Mark Start, Mark End and Play Selected.
#include "app/failure.h"
#include "app/form1.h"
#include "app/position_slider.h"

#include <QLabel>
#include <QPushButton>

namespace snipora {

namespace {
// These handlers trap nothing by design; a failing step (a position reply beyond 32 bits) ends
// the handler where it stands instead of taking the program down with it.
template <typename Body> void untrapped(Body&& body) {
    try {
        body();
    } catch (const std::exception&) {
    }
}

// One mark: the marker line follows the slider (whole seconds, scaled to twips), while the mark
// itself is the media position in milliseconds; the two are read separately on purpose.
void placeMarker(Form1& form, MarkerLine& line, std::int32_t offset) {
    // The slider is read once for each end point, as the line's two ends are set one by one.
    line.setX1(
        static_cast<float>(checkedAdd(checkedMultiply(form.H->value(), form.markerScale), offset)));
    line.setX2(
        static_cast<float>(checkedAdd(checkedMultiply(form.H->value(), form.markerScale), offset)));
}

// The selection's length is the difference of the truncated seconds, not the truncated
// difference: 1999 ms to 3001 ms shows 2 seconds.
void showSelectionLength(Form1& form) {
    if (form.markStart < form.markEnd) {
        form.Label3->setText(Form1::formatTime(form.markEnd / 1000 - form.markStart / 1000));
    } else {
        form.Label3->setText(QStringLiteral("0 : 0 : 0"));
    }
}
} // namespace

void Form1::Command5_Click() {
    untrapped([this] {
        placeMarker(*this, Line1, 170);
        markStart = player().getPositionInMS();
        Label7->setText(formatTime(markStart / 1000));
        showSelectionLength(*this);
    });
}

void Form1::Command6_Click() {
    untrapped([this] {
        placeMarker(*this, Line2, 330);
        markEnd = player().getPositionInMS();
        Label9->setText(formatTime(markEnd / 1000));
        showSelectionLength(*this);
    });
}

void Form1::Command9_Click() {
    untrapped([this] {
        const std::int32_t start = markStart;
        if (!selectionIsValid()) {
            return;
        }
        player().playMovie();
        Command1->setText(QStringLiteral("Pause"));
        // The device is playing now, so this restarts playback from the start mark.
        player().setPositionTo(start);
        setTimerEnabled(true);
        // markEnd is read afresh on every pass: a Mark End clicked inside the wait moves the stop.
        // Should the end never be reached (Stop pressed meanwhile), the poll simply goes on, with
        // the window fully usable.
        while (player().getPositionInMS() < markEnd) {
            host.pump.processEvents();
            host.pump.sleep(200);
            Label4->setText(formatTime(H->value()));
        }
        player().pauseMovie();
        Command1->setText(QStringLiteral("Play"));
    });
}

} // namespace snipora
