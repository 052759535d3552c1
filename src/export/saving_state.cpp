// The saving state both saves put the main window in: controls locked in order, playback stopped.
#include "app/form1.h"

#include "app/position_slider.h"

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>

namespace snipora {

QList<QWidget*> Form1::lockedControls() const {
    return {Command1, Command2, Command4, Command5, Command6, Command7,
            Command9, Combo1,   Combo2,   Command8, H};
}

void Form1::enterSavingState() {
    for (QWidget* control : lockedControls()) {
        control->setEnabled(false);
    }
    player().stopMovie();
    Command1->setText(QStringLiteral("Play"));
    H->setValue(0);
    setWindowTitle(QStringLiteral("Saving..."));
}

void Form1::leaveSavingState() {
    setWindowTitle(QStringLiteral("Snipora"));
    pb->setValue(0);
    for (QWidget* control : lockedControls()) {
        control->setEnabled(true);
    }
}

} // namespace snipora
