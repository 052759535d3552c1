// Form1: controls and their design-time settings, start-up and shut-down.
#include "app/form1.h"

#include "about/about.h"
#include "about/browser_panel.h"
#include "about/form2.h"
#include "app/app_icon.h"
#include "app/failure.h"
#include "app/form_layout.h"
#include "app/position_slider.h"
#include "platform/window_menu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

namespace snipora {

namespace {
QPushButton* button(QWidget* parent, const char* caption, int left, int top, int width,
                    int height) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    placeInTwips(b, left, top, width, height);
    return b;
}

QLabel* timeLabel(QWidget* parent, const QColor& background, int left, int top, int width,
                  int height) {
    auto* label = new QLabel(QStringLiteral("hh:mm:ss"), parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    fillBackground(label, background);
    placeInTwips(label, left, top, width, height);
    return label;
}

QComboBox* dropDownList(QWidget* parent, std::initializer_list<const char*> items, int left,
                        int top, int width, int height) {
    auto* combo = new QComboBox(parent); // not editable: the user picks and cannot type
    for (const char* item : items) {
        combo->addItem(QString::fromLatin1(item));
    }
    placeInTwips(combo, left, top, width, height);
    return combo;
}
} // namespace

Form1::Form1(const Host& hostServices, QWidget* parent)
    : QWidget(parent), host(hostServices), Line1(*this, 7170, 5460, 7170, 5565),
      Line2(*this, 7515, 5115, 7515, 5220), Cdlg(hostServices.dialogs) {
    setWindowTitle(QStringLiteral("Snipora"));
    setWindowIcon(applicationIcon());
    // The layout is fixed; nothing reacts to a change of size.
    setFixedSize(7170 / twipsPerPixel, 6165 / twipsPerPixel);
    fillBackground(this, Qt::white);
    setAcceptDrops(true);
    useDialogFont(this);
    createControls();
    // A file dropped anywhere on the window opens; the web panel would otherwise take the drops
    // over its part of the window and ignore them.
    WebBrowser1->setAcceptDrops(false);
    WebBrowser1->viewport()->setAcceptDrops(false);
    windowMenu = new WindowMenu(*this, windowProcedure);
}

Form1::~Form1() {
    // The About window has no owner; it goes with the main window.
    delete aboutWindow;
}

void Form1::createControls() {
    // The system's window-background colour, as text areas use it.
    const QColor windowBackground = QApplication::palette().color(QPalette::Base);

    // Created in z-order from the back: the black panel lies behind the slider.
    Frame1 = new QFrame(this);
    fillBackground(Frame1, Qt::black);
    placeInTwips(Frame1, 105, 120, 5790, 3735);

    Label4 = timeLabel(this, Qt::white, 6150, 135, 735, 240);
    Command1 = button(this, "Play", 6030, 420, 1005, 330);
    Command2 = button(this, "Stop", 6030, 885, 1005, 330);
    Command4 = button(this, "Open", 6030, 1365, 1005, 330);
    Label7 = timeLabel(this, windowBackground, 6120, 1950, 810, 180);
    Command5 = button(this, "Mark Start", 6030, 2190, 1005, 330);
    Label9 = timeLabel(this, windowBackground, 6120, 2730, 810, 180);
    Command6 = button(this, "Mark End", 6030, 2970, 1005, 330);
    Command3 = button(this, "Website", 6015, 3525, 990, 330);

    H = new PositionSlider(this);
    H->setRange(0, 10);
    H->setValue(0);
    H->setSingleStep(1);
    H->setPageStep(5);
    H->setTickPosition(QSlider::TicksBelow);
    H->setTickInterval(1);
    placeInTwips(H, 345, 1635, 5235, 375);

    Label3 = timeLabel(this, windowBackground, 360, 3915, 1005, 180);

    Command9 = button(this, "Play Selected", 105, 4155, 1530, 330);
    Command7 = button(this, "Direct Save", 1710, 4155, 1275, 330);
    Command8 = button(this, "Convert Save", 3075, 4155, 1305, 330);
    Combo1 = dropDownList(this, {"Select Format", "MP3", "WAV", "AAC", "WMA", "FLAC", "M4A", "AC3"},
                          4455, 4155, 1470, 315);
    Combo2 = dropDownList(this, {"Bitrate", "512k", "256k", "128k", "64k", "32k"}, 5940, 4155, 1095,
                          315);

    pb = new QProgressBar(this);
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setTextVisible(false);
    placeInTwips(pb, 75, 4590, 6930, 345);

    WebBrowser1 = new BrowserPanel(host.processes, this);
    placeInTwips(WebBrowser1, 120, 5040, 6855, 1095);

    T = new QTimer(this);
    T->setInterval(1000);

    // P lies below the client area and is never shown; it only lends its handle to the device.
    P = new QFrame(this);
    placeInTwips(P, 1020, 7005, 5295, 4215);
    Frame4 = new QGroupBox(QStringLiteral("Video Window"), P);
    placeInTwips(Frame4, -75, 4590, 5775, 4815);
    new QFrame(Frame4);
    P->hide();
    Frame4->hide();

    const QList<QWidget*> focusOrder{H,        Command1, Command2,   Command4, Command7,
                                     Command3, Command9, Command6,   Command5, Command8,
                                     Combo1,   Combo2,   WebBrowser1};
    for (qsizetype i = 1; i < focusOrder.size(); ++i) {
        setTabOrder(focusOrder[i - 1], focusOrder[i]);
    }

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
    connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
    connect(Command9, &QPushButton::clicked, this, [this] { Command9_Click(); });
    connect(T, &QTimer::timeout, this, [this] { T_Timer(); });
    connect(H, &PositionSlider::clicked, this, [this] { H_Click(); });
    connect(H, &PositionSlider::mouseDown, this, [this] { H_MouseDown(); });
    connect(H, &PositionSlider::mouseUp, this, [this] { H_MouseUp(); });
}

MovieModule& Form1::player() {
    if (!player_) {
        player_ = std::make_unique<MovieModule>(host.media, host.clock, host.pump);
    }
    return *player_;
}

void Form1::setTimerEnabled(bool enabled) {
    if (!enabled) {
        T->stop();
    } else if (!T->isActive()) {
        T->start();
    }
}

bool Form1::timerEnabled() const {
    return T->isActive();
}

std::int32_t Form1::windowHandleOf(const QWidget* widget) {
    return static_cast<std::int32_t>(qHash(widget) & 0x7fffffffU);
}

void Form1::Form_Initialize() {
    // The platform's common-controls library needs no initialisation here: Qt's widgets are ready.
    Form_Load();
    WebBrowser1->Navigate(host.advertisementPage);
}

void Form1::Form_Load() {
    // Menu entry, showing and hooking: a failing step is skipped and start-up goes on.
    skipOnFailure([this] { About::addMenuEntry(*this); });
    skipOnFailure([this] { show(); });
    skipOnFailure([this] { About::installWindowProc(*this); });

    // From here any failure ends the program through the credits message.
    try {
        About::preloadCredits(*this);
        Combo1->setCurrentIndex(Combo1->findText(QStringLiteral("Select Format")));
        Combo2->setCurrentIndex(Combo2->findText(QStringLiteral("Bitrate")));
    } catch (const std::exception&) {
        host.messages.show(QStringLiteral("Please re-install Snipora"), MessageStyle::Information);
        Form_Unload();
    }
}

void Form1::Form_Unload() {
    player().closeMovie();
    host.program.endProgram();
    std::abort(); // endProgram does not return; the compiler cannot see that through the interface
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

void Form1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // The marker lines lie on the window's own surface, under every control.
    QPainter painter(this);
    painter.setPen(QPen(MarkerLine::color(), 1));
    for (const MarkerLine* line : {&Line1, &Line2}) {
        painter.drawLine(QPointF(line->X1() / twipsPerPixel, line->Y1() / twipsPerPixel),
                         QPointF(line->X2() / twipsPerPixel, line->Y2() / twipsPerPixel));
    }
}

} // namespace snipora
