// MainWindow: how the controls follow the window's size, and the window's place between starts.
#include "app/main_window.h"
#include "app/remembered_choices.h"

#include "about/browser_panel.h"
#include "app/position_slider.h"
#include "app/time_field.h"
#include "app/waveform_view.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>

#include <algorithm>

namespace snipora {

namespace {
// The lowest height: the window with its title bar fits a 1280 × 800 screen at a scale of 2
// (640 × 400); the web panel gives up what the window lacks below its start-up height.
constexpr int lowestHeight = 361;

QSettings windowSettings() {
    return QSettings(QString::fromLatin1(settingsOrganisation),
                     QString::fromLatin1(settingsApplication));
}
const QString placeKey = QStringLiteral("window/geometry");
} // namespace

void MainWindow::createGrowingLayout() {
    windowLayout_ = GrowingLayout(size());
    setMinimumSize(width(), lowestHeight);
    windowLayout_.add(displayPanel, {0, 1, 0, 1});
    windowLayout_.add(positionSlider, {0, 1, 0, 0});
    for (QWidget* control : std::initializer_list<QWidget*>{
             positionLabel, playPauseButton, stopButton, openButton, startLabel, markStartButton,
             endLabel, markEndButton, websiteButton}) {
        windowLayout_.add(control, {1, 0, 0, 0});
    }
    windowLayout_.add(selectionLengthLabel, {0, 0, 1, 0});
    windowLayout_.add(lengthLabel, {0, 0, 1, 0});
    // The row of saves shares the extra width: each control a fifth wider, in its order.
    const QList<QWidget*> saveRow{playSelectionButton, directSaveButton, convertSaveButton,
                                  formatList, bitrateList};
    for (qsizetype i = 0; i < saveRow.size(); ++i) {
        const double fifth = 1.0 / static_cast<double>(saveRow.size());
        windowLayout_.add(saveRow[i], {static_cast<double>(i) * fifth, fifth, 1, 0});
    }
    windowLayout_.add(saveProgress, {0, 1, 1, 0});
    windowLayout_.add(webPanel, {0, 1, 1, 0, true});

    panelLayout_ = GrowingLayout(displayPanel->size());
    panelLayout_.add(waveformView, {0, 1, 0, 1});
    // A termination signal ends the event loop without passing through quit(); the place is
    // kept then too.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { saveWindowPlace(); });
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    windowLayout_.apply(size());
    panelLayout_.apply(displayPanel->size());
}

void MainWindow::restoreWindowPlace() {
    const QByteArray place = windowSettings().value(placeKey).toByteArray();
    if (!place.isEmpty()) {
        restoreGeometry(place);
    } else if (const QScreen* screen = this->screen()) {
        // A screen too low for the start-up height (800 pixels at a scale of 2) gets the window
        // as high as it has room for, the web panel giving way; a title bar is allowed for.
        constexpr int titleBar = 40;
        const int room = screen->availableGeometry().height() - titleBar;
        if (room < height()) {
            resize(width(), std::max(room, minimumHeight()));
        }
    }
}

void MainWindow::saveWindowPlace() const {
    if (isVisible()) {
        windowSettings().setValue(placeKey, saveGeometry());
    }
}

} // namespace snipora
