// Form2: the About window's controls and its load step.
#include "about/form2.h"

#include "about/rich_text_box.h"
#include "app/app_icon.h"
#include "app/form_layout.h"
#include "platform/host.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

namespace snipora {

namespace {
QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height) {
    auto* l = new QLabel(text, parent);
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

Form2::Form2(ProgramControl& program) : QWidget(nullptr), program_(program) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(applicationIcon());
    setFixedSize(8370 / twipsPerPixel, 4815 / twipsPerPixel);
    fillBackground(this, Qt::white);
    useDialogFont(this);

    Label1 = label(this, QStringLiteral("\u00A9 2026 The Snipora developers"), 270, 225, 2475, 300);
    Label2 = label(this,
                   QStringLiteral("This software basically provides a user interface to a great "
                                  "software FFMPEG released under GPL."),
                   510, 615, 7170, 300);
    Label3 = label(this,
                   QStringLiteral("The installer of this software contains FFMPEG compiled with "
                                  "extra libraries which is copied as ffmpeg.exe"),
                   495, 1080, 7515, 300);
    Label4 = label(this,
                   QStringLiteral("in the application directory. This ffmpeg.exe is compiled by "
                                  "Arvo Kesti."),
                   510, 1320, 7515, 300);
    fitToWidth({Label1, Label2, Label3, Label4});
    RichTextBox1 = new RichTextBox(this);
    placeInTwips(RichTextBox1, 480, 1650, 7560, 3030);
    RichTextBox1->setFocus();

    Form_Load();
}

QString Form2::creditsFile() const {
    // The folder is taken as the platform gives it, without a trailing separator.
    return program_.programFolder() + QStringLiteral("/thanks.txt");
}

void Form2::Form_Load() {
    QFont underlined = Label1->font();
    underlined.setUnderline(true);
    Label1->setFont(underlined);

    try {
        RichTextBox1->LoadFile(creditsFile());
    } catch (const std::exception&) {
        // The window's own load says nothing: the start-up check reports a missing file.
    }
}

void Form2::closeEvent(QCloseEvent* event) {
    unloaded_ = true;
    QWidget::closeEvent(event);
}

} // namespace snipora
