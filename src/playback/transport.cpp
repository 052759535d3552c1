// Play/Pause, Stop, the position timer and the position slider.
#include "app/failure.h"
#include "app/form1.h"
#include "app/position_slider.h"
#include "playback/marker_scale.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace snipora {

namespace {
constexpr std::int32_t msPerSliderStep = 1000;

// A slider value in milliseconds. A value whose product leaves 32 bits cannot name a position;
// it is held at the 32-bit limit, which lies past the end of any file, rather than failing.
std::int32_t sliderValueInMs(std::int32_t value) {
    const std::int64_t product = std::int64_t{value} * msPerSliderStep;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(product, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}
} // namespace

void Form1::Command1_Click() {
    if (Command1->text() == QStringLiteral("Play")) {
        // Play resumes from wherever the device stands; a failing step is skipped.
        skipOnFailure([this] { player().playMovie(); });
        skipOnFailure([this] { setTimerEnabled(true); });
        skipOnFailure([this] { H->setMax(player().getLengthInSec()); });
        skipOnFailure([this] { markerScale = markerScaleFor(H->maximum()); });
        // The caption only turns to "Pause" when there is at least a second to play.
        skipOnFailure([this] {
            if (player().getLengthInSec() > 0) {
                Command1->setText(QStringLiteral("Pause"));
            }
        });
        skipOnFailure([this] { player().timeOut(0.5); });
    } else {
        player().pauseMovie();
        setTimerEnabled(false);
        Command1->setText(QStringLiteral("Play"));
        player().timeOut(1);
    }
}

void Form1::Command2_Click() {
    player().stopMovie();
    Command1->setText(QStringLiteral("Play"));
    setTimerEnabled(false);
    player().timeOut(1);
    H->setValue(0);
    // The slider value itself, not in milliseconds: it is 0 either way.
    player().setPositionTo(H->value());
    Label4->setText(QStringLiteral("0 : 0 : 0"));
}

void Form1::T_Timer() {
    skipOnFailure([this] { H->setValue(player().getPositionInSec()); });
    skipOnFailure([this] { Label4->setText(formatTime(H->value())); });
    // At the end of the file: rewind, with the timer left running.
    skipOnFailure([this] {
        if (H->value() == H->maximum()) {
            H->setValue(0);
            Command1->setText(QStringLiteral("Play"));
            player().setPositionTo(0);
        }
    });
}

void Form1::H_Click() {
    player().setPositionTo(sliderValueInMs(H->value()));
}

void Form1::H_MouseDown() {
    // Ticks must not move the slider under the pointer.
    setTimerEnabled(false);
}

void Form1::H_MouseUp() {
    if (player().isMoviePlaying()) {
        setTimerEnabled(true);
    }
}

} // namespace snipora
