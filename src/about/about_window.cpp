// AboutWindow: its controls and the credits it loads.
#include "about/about_window.h"

#include "about/rich_text_box.h"
#include "platform/host.h"
#include "widgets/app_icon.h"
#include "widgets/window_layout.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>

#include <algorithm>

namespace snipora {

namespace {
QLabel* label(QWidget* parent, const char* objectName, const QString& text, int left, int top,
              int width, int height) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(objectName));
    fillBackground(l, Qt::white);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeInTwips(l, left, top, width, height);
    return l;
}

// The credit lines were laid out for a narrower font than most desktops have: the labels take
// the first of a narrower face or a smaller size that shows every line whole, down to 8 pixels,
// all the same so that the sentence split over two lines reads as one.
void fitToWidth(const QList<QLabel*>& labels) {
    QFont font = labels.constFirst()->font();
    auto fits = [&labels](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        return std::all_of(labels.begin(), labels.end(), [&metrics](const QLabel* label) {
            return metrics.horizontalAdvance(label->text()) <= label->width();
        });
    };
    for (int pixels = font.pixelSize(); pixels >= 8; --pixels) {
        for (int stretch :
             {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
            font.setPixelSize(pixels);
            font.setStretch(stretch);
            if (fits(font)) {
                break;
            }
        }
        if (fits(font)) {
            break;
        }
    }
    for (QLabel* label : labels) {
        label->setFont(font);
    }
}
} // namespace

QString creditsFilePath(ProgramControl& program) {
    // The folder is taken as the platform gives it, without a trailing separator.
    return program.programFolder() + QStringLiteral("/thanks.txt");
}

AboutWindow::AboutWindow(ProgramControl& program, const std::optional<QByteArray>& shownCredits)
    : QWidget(nullptr), program_(program) {
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("About"));
    setWindowIcon(applicationIcon());
    setFixedSize(8370 / twipsPerPixel, 4815 / twipsPerPixel);
    useFixedPalette(this);
    fillBackground(this, Qt::white);
    useDialogFont(this);

    copyrightLabel =
        label(this, "Label1", tr("\u00A9 2026 The Snipora developers"), 270, 225, 2475, 300);
    encoderLabel = label(this, "Label2",
                         tr("This software basically provides a user interface to a great "
                            "software FFMPEG released under GPL."),
                         510, 615, 7170, 300);
    // What ships: the encoder is the system's own FFmpeg, reached through a link named ffmpeg.
    encoderCreditLabel = label(this, "Label3",
                               tr("It runs the FFmpeg of your system (the Debian "
                                  "package ffmpeg), which is linked as ffmpeg"),
                               495, 1080, 7515, 300);
    encoderCreditLabel2 = label(this, "Label4",
                                tr("in the application directory. FFmpeg is made by "
                                   "the FFmpeg developers."),
                                510, 1320, 7515, 300);
    versionLabel =
        label(this, "versionLabel", tr("Version ") + QString::fromLatin1(SNIPORA_VERSION), 5340,
              225, 2700, 300);
    versionLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    fitToWidth(
        {copyrightLabel, versionLabel, encoderLabel, encoderCreditLabel, encoderCreditLabel2});
    credits = new RichTextBox(this);
    credits->setObjectName(QStringLiteral("RichTextBox1"));
    placeInTwips(credits, 480, 1650, 7560, 3030);
    credits->setFocus();

    QFont underlined = copyrightLabel->font();
    underlined.setUnderline(true);
    copyrightLabel->setFont(underlined);
    if (shownCredits) {
        credits->showContents(*shownCredits);
    } else {
        // The window's own load says nothing: the start-up check reports a missing file.
        (void)credits->loadFile(creditsFile());
    }

    // A window that only informs closes the way dialogs do.
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);
}

QString AboutWindow::creditsFile() const {
    return creditsFilePath(program_);
}

void AboutWindow::closeEvent(QCloseEvent* event) {
    closed_ = true;
    QWidget::closeEvent(event);
}

} // namespace snipora
