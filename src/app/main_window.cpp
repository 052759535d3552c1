// MainWindow: the controls and their start-up settings, start-up and shut-down, and rendering.
#include "app/main_window.h"

#include "about/about_controller.h"
#include "about/about_window.h"
#include "about/browser_panel.h"
#include "app/position_slider.h"
#include "app/remembered_choices.h"
#include "app/waveform_view.h"
#include "core/convert_save.h"
#include "core/direct_save.h"
#include "core/encoder_command.h"
#include "core/time_text.h"
#include "core/waveform_peak_computer.h"
#include "platform/window_menu.h"
#include "widgets/app_icon.h"
#include "widgets/window_layout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include <cstdlib>

namespace snipora {

namespace {
// 9:59:59: the widest time a label is made to show whole.
constexpr std::int32_t widestLabelTimeSeconds = 10 * 3600 - 1;

// A push button that, once the keyboard has moved the focus, rings itself in the highlight
// colour while it has it: the style's own hint is a faint outline on the light button face.
class RingedButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPushButton::paintEvent(event);
        if (!hasFocus() || !window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 2, 2);
    }
};

QPushButton* button(QWidget* parent, const char* objectName, const QString& caption, int left,
                    int top, int width, int height) {
    auto* b = new RingedButton(caption, parent);
    // Enter and Return press the focused button, as in a dialog.
    b->setAutoDefault(true);
    b->setObjectName(QString::fromLatin1(objectName));
    placeInTwips(b, left, top, width, height);
    return b;
}

QLabel* timeLabel(QWidget* parent, const char* objectName, const QColor& background, int left,
                  int top, int width, int height) {
    auto* label = new QLabel(QStringLiteral("hh:mm:ss"), parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    fillBackground(label, background);
    placeInTwips(label, left, top, width, height);
    // Whole for every time the program shows, up to ten hours less a second.
    fitFontToTexts(label, {label->text(), formatTime(widestLabelTimeSeconds)});
    return label;
}

// A drop-down list in a font of its own. QComboBox answers a change of font by building its
// popup at once, which start-up need not pay for: the popup is built when first opened and takes
// the list's font then.
class SmallTextList final : public QComboBox {
public:
    SmallTextList(const QFont& font, QWidget* parent) : QComboBox(parent) {
        settingFont_ = true;
        setFont(font);
        settingFont_ = false;
    }

protected:
    void changeEvent(QEvent* event) override {
        if (settingFont_ && event->type() == QEvent::FontChange) {
            QWidget::changeEvent(event); // what every widget does, without the popup
            return;
        }
        QComboBox::changeEvent(event);
    }

private:
    bool settingFont_ = false;
};

// A list whose first item is its prompt.
QComboBox* dropDownList(QWidget* parent, const char* objectName, const QString& prompt,
                        const QStringList& items, const QFont& font, int left, int top, int width,
                        int height) {
    auto* list = new SmallTextList(font, parent); // not editable: the user picks and cannot type
    list->setObjectName(QString::fromLatin1(objectName));
    list->addItem(prompt);
    list->addItems(items);
    placeInTwips(list, left, top, width, height);
    return list;
}

const QString resetTime = QStringLiteral("0 : 0 : 0");
// The frame a video would play in: hidden, and never shown for sound. Its titled group box is
// made the first time the frame shows, so that start-up does not lay out a title nobody sees.
class VideoHost : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void showEvent(QShowEvent* event) override {
        if (!madeFrame_) {
            madeFrame_ = true;
            auto* videoFrame = new QGroupBox(MainWindow::tr("Video Window"), this);
            videoFrame->setObjectName(QStringLiteral("Frame4"));
            placeInTwips(videoFrame, -75, 4590, 5775, 4815);
            videoFrame->hide();
        }
        QFrame::showEvent(event);
    }

private:
    bool madeFrame_ = false;
};

} // namespace

MainWindow::MainWindow(const Host& hostServices, QWidget* parent)
    : QWidget(parent), host(hostServices), session_(hostServices.media) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("Snipora"));
    setWindowIcon(applicationIcon());
    // Opens at the designed size; it may grow from there (createGrowingLayout).
    resize(7170 / twipsPerPixel, 6165 / twipsPerPixel);
    useFixedPalette(this);
    fillBackground(this, Qt::white);
    setAcceptDrops(true);
    useDialogFont(this);
    createControls();
    // A file dropped anywhere on the window opens; the web panel would otherwise take the drops
    // over its part of the window and ignore them.
    webPanel->setAcceptDrops(false);
    webPanel->viewport()->setAcceptDrops(false);
    windowMenu = new WindowMenu(*this, windowProcedure);
    about = std::make_unique<AboutController>(*this, *windowMenu, windowProcedure, host.program,
                                              host.links,
                                              [this](const QString& text) { showFailure(text); });
    directSave_ = new DirectSave(this);
    convertSave_ = new ConvertSave(host.processes, this);
    progressPulse_ = new QTimer(this);
    progressPulse_->setInterval(100);
    connectSession();
    createShortcuts();
    createMarkControls();
    createZoomControls();
    createEdgeKeys();
    createPieceControls();
    createGrowingLayout();
    createEdgeControls();
}

MainWindow::~MainWindow() {
    // The view points into the computer's peaks: it lets go first.
    waveformView->setPeaks(nullptr);
    // The pieces follow the session, which goes before the window's children.
    endPieceWork();
}

void MainWindow::createControls() {
    // The system's window-background colour, as text areas use it.
    const QColor windowBackground = palette().color(QPalette::Base);

    // Created in z-order from the back: the black panel lies behind the slider.
    displayPanel = new QFrame(this);
    displayPanel->setObjectName(QStringLiteral("Frame1"));
    fillBackground(displayPanel, Qt::black);
    placeInTwips(displayPanel, 105, 120, 5790, 3735);
    peakComputer_ = new WaveformPeakComputer(this);
    waveformView = new WaveformView(displayPanel);
    waveformView->setObjectName(QStringLiteral("waveformView"));
    waveformView->setGeometry(displayPanel->rect());

    positionLabel = timeLabel(this, "Label4", Qt::white, 6150, 135, 735, 240);
    playPauseButton = button(this, "Command1", tr("Play"), 6030, 420, 1005, 330);
    stopButton = button(this, "Command2", tr("Stop"), 6030, 885, 1005, 330);
    openButton = button(this, "Command4", tr("Open"), 6030, 1365, 1005, 330);
    startLabel = timeLabel(this, "Label7", windowBackground, 6120, 1950, 810, 180);
    markStartButton = button(this, "Command5", tr("Mark Start"), 6030, 2190, 1005, 330);
    endLabel = timeLabel(this, "Label9", windowBackground, 6120, 2730, 810, 180);
    markEndButton = button(this, "Command6", tr("Mark End"), 6030, 2970, 1005, 330);
    websiteButton = button(this, "Command3", tr("Website"), 6015, 3525, 990, 330);

    positionSlider = new PositionSlider(this);
    positionSlider->setObjectName(QStringLiteral("H"));
    positionSlider->setRange(0, 10);
    positionSlider->setValue(0);
    positionSlider->setSingleStep(1);
    positionSlider->setPageStep(5);
    positionSlider->setTickPosition(QSlider::TicksBelow);
    positionSlider->setTickInterval(1);
    placeInTwips(positionSlider, 345, 1635, 5235, 375);
    {
        // The waveform's time axis lines up with the slider's handle travel.
        QStyleOptionSlider option;
        option.initFrom(positionSlider);
        const int handle =
            positionSlider->style()->pixelMetric(QStyle::PM_SliderLength, &option, positionSlider);
        const int left = positionSlider->x() - displayPanel->x() + handle / 2;
        const int right = displayPanel->x() + displayPanel->width() -
                          (positionSlider->x() + positionSlider->width()) + handle / 2;
        waveformView->setInsets(left, right);
    }

    selectionLengthLabel = timeLabel(this, "Label3", windowBackground, 360, 3915, 1005, 180);
    // The file's length, beside the selection's, to the millisecond.
    lengthLabel = new QLabel(this);
    lengthLabel->setObjectName(QStringLiteral("lengthLabel"));
    placeInTwips(lengthLabel, 1440, 3915, 1800, 180);

    playSelectionButton = button(this, "Command9", tr("Play Selected"), 105, 4155, 1530, 330);
    directSaveButton = button(this, "Command7", tr("Direct Save"), 1710, 4155, 1275, 330);
    convertSaveButton = button(this, "Command8", tr("Convert Save"), 3075, 4155, 1305, 330);
    // One pixel smaller than the window's text, so that "Select Format" shows whole.
    QFont listFont = font();
    listFont.setPixelSize(10);
    formatList = dropDownList(this, "Combo1", tr("Select Format"), outputFormats(), listFont, 4455,
                              4155, 1470, 315);
    bitrateList = dropDownList(this, "Combo2", tr("Bitrate"), outputBitrates(), listFont, 5940,
                               4155, 1095, 315);

    saveProgress = new QProgressBar(this);
    saveProgress->setObjectName(QStringLiteral("pb"));
    saveProgress->setRange(0, 100);
    saveProgress->setValue(0);
    saveProgress->setTextVisible(false);
    placeInTwips(saveProgress, 75, 4590, 6930, 345);

    webPanel = new BrowserPanel(host.links, host.messages, this);
    webPanel->setObjectName(QStringLiteral("WebBrowser1"));
    placeInTwips(webPanel, 120, 5040, 6855, 1095);

    videoHost = new VideoHost(this);
    videoHost->setObjectName(QStringLiteral("P"));
    placeInTwips(videoHost, 1020, 7005, 5295, 4215);
    videoHost->hide();

    // Tab goes as the eye reads: the slider, the column on the right from the top, then the row
    // of saves from the left, then the web panel.
    const QList<QWidget*> focusOrder{positionSlider,    playPauseButton,     stopButton,
                                     openButton,        markStartButton,     markEndButton,
                                     websiteButton,     playSelectionButton, directSaveButton,
                                     convertSaveButton, formatList,          bitrateList,
                                     webPanel};
    for (qsizetype i = 1; i < focusOrder.size(); ++i) {
        setTabOrder(focusOrder[i - 1], focusOrder[i]);
    }

    connect(playPauseButton, &QPushButton::clicked, this, &MainWindow::togglePlayback);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::stop);
    connect(websiteButton, &QPushButton::clicked, this, [this] { about->openWebsite(); });
    connect(openButton, &QPushButton::clicked, this, &MainWindow::openFile);
    connect(markStartButton, &QPushButton::clicked, this, &MainWindow::markStart);
    connect(markEndButton, &QPushButton::clicked, this, &MainWindow::markEnd);
    connect(directSaveButton, &QPushButton::clicked, this, &MainWindow::directSave);
    connect(convertSaveButton, &QPushButton::clicked, this, &MainWindow::convertSave);
    connect(formatList, &QComboBox::currentIndexChanged, this, &MainWindow::offerBitrates);
    connect(playSelectionButton, &QPushButton::clicked, this, &MainWindow::playSelection);
    // The slider seeks on the user's click; the position does not move it while it is held.
    connect(positionSlider, &PositionSlider::mouseDown, this, [this] { sliderHeld_ = true; });
    connect(positionSlider, &PositionSlider::mouseUp, this, [this] { sliderHeld_ = false; });
    connect(positionSlider, &PositionSlider::clicked, this,
            [this] { session_.seekTo(std::int64_t{positionSlider->value()} * 1000); });
}

void MainWindow::createShortcuts() {
    // Each key is named in its control's tooltip; keys without a control of their own act on the
    // session directly. None works while a save has the controls locked.
    const auto key = [this](const QKeySequence& sequence, auto action) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (!saveUnderWay_) {
                action();
            }
        });
    };
    // On a focused button Enter presses it and Space still plays or pauses, as media players
    // do; every button's tooltip says so.
    const auto describe = [](QWidget* control, const QString& text) {
        control->setToolTip(qobject_cast<QPushButton*>(control)
                                ? text + tr("\nEnter presses this button; Space plays "
                                            "or pauses")
                                : text);
    };
    key(Qt::Key_Space, [this] { togglePlayback(); });
    key(Qt::Key_I, [this] { markStart(); });
    key(Qt::Key_O, [this] { markEnd(); });
    key(Qt::Key_P, [this] { playSelection(); });
    key(Qt::Key_Left, [this] { session_.seekTo(session_.positionMs() - 1000); });
    key(Qt::Key_Right, [this] { session_.seekTo(session_.positionMs() + 1000); });
    key(Qt::SHIFT | Qt::Key_Left, [this] { session_.seekTo(session_.positionMs() - 10000); });
    key(Qt::SHIFT | Qt::Key_Right, [this] { session_.seekTo(session_.positionMs() + 10000); });
    key(Qt::Key_Home, [this] { session_.seekTo(0); });
    key(Qt::Key_End, [this] { session_.seekTo(session_.lengthMs()); });
    key(Qt::Key_Comma, [this] { session_.nudgeActiveMarkByFrames(-1); });
    key(Qt::Key_Period, [this] { session_.nudgeActiveMarkByFrames(1); });
    key(Qt::SHIFT | Qt::Key_Comma, [this] { session_.nudgeActiveMark(-100); });
    key(Qt::SHIFT | Qt::Key_Period, [this] { session_.nudgeActiveMark(100); });
    key(Qt::SHIFT | Qt::Key_Less, [this] { session_.nudgeActiveMark(-100); });
    key(Qt::SHIFT | Qt::Key_Greater, [this] { session_.nudgeActiveMark(100); });
    key(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { openFile(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { directSave(); });
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { convertSave(); });
    auto* cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(cancelKey, &QShortcut::activated, this, [this] { cancelSave(); });
    auto* quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quitKey, &QShortcut::activated, this, [this] { close(); });
    auto* aboutKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(aboutKey, &QShortcut::activated, this,
            [this] { windowProcedure.send(WM_SYSCOMMAND, aboutCommand, 0); });
    describe(playPauseButton, tr("Play or pause (Space); Left/Right seek 1 s, with "
                                 "Shift 10 s; Home/End go to the start/end"));
    describe(stopButton, tr("Stop and go back to the start"));
    describe(openButton, tr("Open an MP3 file (Ctrl+O)"));
    describe(markStartButton, tr("Mark the start at the cursor (I); comma and period "
                                 "move the active mark by one MP3 frame, with "
                                 "Shift by 100 ms"));
    describe(markEndButton, tr("Mark the end at the cursor (O)"));
    describe(playSelectionButton, tr("Play the selection (P)"));
    describe(directSaveButton, tr("Save the selection's MP3 frames, not re-encoded (Ctrl+S)"));
    describe(convertSaveButton, tr("Save the selection in the chosen format (Ctrl+Shift+S)"));
    describe(websiteButton, tr("Open the maker's home page"));
    describe(this, tr("F1: About; Esc: stop a running save; Ctrl+Q: quit"));
    describe(saveProgress, tr("Esc stops a running save or search"));
}

void MainWindow::connectSession() {
    connect(&session_, &CuttingSession::stateChanged, this, &MainWindow::renderState);
    connect(&session_, &CuttingSession::positionChanged, this, &MainWindow::renderPosition);
    connect(&session_, &CuttingSession::selectionChanged, this, &MainWindow::renderSelection);
    connect(&session_, &CuttingSession::sourceChanged, this, &MainWindow::renderSource);
    connect(peakComputer_, &WaveformPeakComputer::peaksArrived, waveformView,
            &WaveformView::showArrivedPeaks);
    connect(waveformView, &WaveformView::viewMoved, this, [this] { followShownPosition(); });
    watchPositionTip();
    connect(waveformView, &WaveformView::seekRequested, this,
            [this](std::int64_t ms) { session_.seekTo(ms); });
    connect(waveformView, &WaveformView::markPicked, this,
            [this](Mark mark) { session_.setActiveMark(mark); });
    connect(waveformView, &WaveformView::startMarkDragged, this,
            [this](std::int64_t ms) { session_.setStart(ms); });
    connect(waveformView, &WaveformView::endMarkDragged, this,
            [this](std::int64_t ms) { session_.setEnd(ms); });
}

void MainWindow::renderState(PlayerState state) {
    playPauseButton->setText(state == PlayerState::Playing ? tr("Pause") : tr("Play"));
}

void MainWindow::renderPosition(std::int64_t ms) {
    if (!sliderHeld_) {
        positionSlider->setValue(static_cast<int>(std::min<std::int64_t>(ms / 1000, INT32_MAX)));
    }
    positionLabel->setText(ms == 0 && !session_.isPlaying() ? resetTime : formatTimeOfMs(ms));
    positionLabel->setToolTip(preciseTime(ms));
    waveformView->setPosition(ms);
}

void MainWindow::renderSelection() {
    const Selection& selection = session_.selection();
    waveformView->setMarks(
        session_.startIsSet() ? std::optional<std::int64_t>(selection.start) : std::nullopt,
        session_.endIsSet() ? std::optional<std::int64_t>(selection.end) : std::nullopt);
    waveformView->setActiveMark(session_.activeMark());
    startLabel->setToolTip(session_.startIsSet() ? preciseTime(selection.start) : QString());
    endLabel->setToolTip(session_.endIsSet() ? preciseTime(selection.end) : QString());
    selectionLengthLabel->setToolTip(selection.isValid() ? preciseTime(selection.lengthMs())
                                                         : QString());
    startLabel->setText(session_.startIsSet() ? formatTimeOfMs(selection.start) : resetTime);
    endLabel->setText(session_.endIsSet() ? formatTimeOfMs(selection.end) : resetTime);
    // The length is the difference of the truncated seconds, as the two labels show them.
    selectionLengthLabel->setText(
        selection.isValid() ? formatTimeOfMs((selection.end / 1000 - selection.start / 1000) * 1000)
                            : resetTime);
}

void MainWindow::renderSource() {
    if (session_.hasSource()) {
        peakComputer_->start(session_.sourcePath());
        waveformView->setPeaks(&peakComputer_->peaks());
        waveformView->setLength(session_.lengthMs());
    } else {
        peakComputer_->cancel();
        waveformView->clear();
    }
    if (!isSaving()) {
        setWindowTitle(titleText());
    }
    lengthLabel->setText(session_.hasSource() ? tr("of ") + preciseTime(session_.lengthMs())
                                              : QString());
    positionSlider->setMaximum(
        static_cast<int>(std::min<std::int64_t>(session_.lengthMs() / 1000, INT32_MAX)));
}

QString MainWindow::titleText() const {
    // The file first, so that the name shows in a narrow task bar.
    return session_.hasSource() ? QFileInfo(session_.sourceName()).fileName() + tr(" - Snipora")
                                : tr("Snipora");
}

std::int32_t MainWindow::windowHandleOf(const QWidget* widget) {
    return static_cast<std::int32_t>(qHash(widget) & 0x7fffffffU);
}

void MainWindow::showMessage(const QString& text) {
    host.messages.show(text, MessageStyle::Information);
}

void MainWindow::showFailure(const QString& text) {
    host.messages.show(text, MessageStyle::Warning);
}

void MainWindow::start() {
    about->addMenuEntry();
    restoreWindowPlace();
    show();
    about->installWindowProc();
    if (!about->preloadCredits()) {
        showFailure(tr("Please re-install Snipora"));
        quit();
    }
    // The format and bitrate of the last Convert Save, while the lists still offer them.
    formatList->setCurrentIndex(std::max(0, formatList->findText(remembered(Remembered::Format))));
    bitrateList->setCurrentIndex(
        std::max(0, bitrateList->findText(remembered(Remembered::Bitrate))));
    webPanel->Navigate(host.advertisementPage);
}

void MainWindow::quit() {
    saveWindowPlace();
    // Nothing of a save may outlive the program: the encoder is ended and its file removed.
    delete convertSave_;
    convertSave_ = nullptr;
    delete directSave_;
    directSave_ = nullptr;
    endPieceWork();
    session_.closeAll();
    host.program.endProgram();
    std::abort(); // endProgram does not return; the compiler cannot see that through the interface
}

bool MainWindow::isSaving() const {
    return (directSave_ && directSave_->isRunning()) ||
           (convertSave_ && convertSave_->isRunning()) || piecesSaving();
}

bool MainWindow::cancelSave() {
    // A search for pauses writes nothing, so it stops without a question.
    if (!isSaving() && cancelPauseSearch()) {
        return true;
    }
    const QString question = piecesSaving() ? tr("Stop saving the pieces? The finished pieces "
                                                 "stay; nothing of the one under way is kept.")
                                            : tr("Stop the save? Nothing of it is kept.");
    if (!isSaving() || host.messages.show(question, MessageStyle::Question) != MessageAnswer::Yes) {
        return false;
    }
    if (piecesSaving()) {
        cancelPieceSave();
    }
    // The outcome ("cancelled") comes back through the save's own finished signal.
    if (directSave_ && directSave_->isRunning()) {
        directSave_->cancel();
    }
    if (convertSave_ && convertSave_->isRunning()) {
        convertSave_->cancel();
    }
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (isSaving() && host.messages.show(tr("A save is still running. Stop it and quit?"),
                                         MessageStyle::Question) != MessageAnswer::Yes) {
        event->ignore();
        return;
    }
    event->accept();
    quit();
}

} // namespace snipora
