// Design-time layout helpers.
#include "widgets/window_layout.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <memory>

#include <sys/stat.h>

namespace snipora {

void placeInTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(left / twipsPerPixel, top / twipsPerPixel, width / twipsPerPixel,
                        height / twipsPerPixel);
}

void fillBackground(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

namespace {
// Top-aligned text whose glyphs stay above the baseline, as times do, needs the ascent.
bool fitsIn(const QFont& font, const QRect& room, const QString& text) {
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(text) <= room.width() && metrics.ascent() <= room.height();
}

// Where fontconfig looks for fonts and its settings, and where its caches are: a font installed,
// removed or set up differently changes the time of one of these, as fontconfig itself sees it.
// Read once: Qt too reads the fonts once per process.
const QString& fontSetupStamp() {
    static const QString stamp = [] {
        const QByteArray home = QFile::encodeName(QDir::homePath());
        QString text;
        for (const QByteArray& folder :
             {QByteArray("/etc/fonts"), QByteArray("/etc/fonts/conf.d"),
              QByteArray("/usr/share/fonts"), QByteArray("/usr/local/share/fonts"),
              QByteArray("/var/cache/fontconfig"), home + "/.fonts", home + "/.local/share/fonts",
              home + "/.config/fontconfig", home + "/.cache/fontconfig"}) {
            struct stat status {};
            const bool found = ::stat(folder.constData(), &status) == 0;
            text += QString::number(found ? status.st_mtim.tv_sec : 0) + QLatin1Char('.') +
                    QString::number(found ? status.st_mtim.tv_nsec : 0) + QLatin1Char(' ');
        }
        return text;
    }();
    return stamp;
}

// What decides a fit: the font asked for, the room, the texts, the screen's scale and the fonts
// the system has.
QString fitKey(const QFont& font, const QRect& room, const QStringList& texts,
               const QWidget& widget) {
    const QScreen* screen = widget.screen();
    const QString parts =
        font.toString() + QLatin1Char('|') + QString::number(room.width()) + QLatin1Char('x') +
        QString::number(room.height()) + QLatin1Char('|') + texts.join(QChar(0x1f)) +
        QLatin1Char('|') + QString::number(screen ? screen->logicalDotsPerInch() : 0) +
        QLatin1Char('|') + QString::number(widget.devicePixelRatioF()) + QLatin1Char('|') +
        QString::fromLatin1(qVersion()) + QLatin1Char('|') + fontSetupStamp();
    return QStringLiteral("font-fits/") +
           QString::fromLatin1(
               QCryptographicHash::hash(parts.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// One reader of the cache for all the labels of a start, rather than one each: each new one
// looks the file up and checks it again. Made afresh when the cache folder changes.
QSettings& fitCache() {
    static std::unique_ptr<QSettings> cache;
    const QString path = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                         QStringLiteral("/font-fits.ini");
    if (!cache || cache->fileName() != path) {
        cache = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return *cache;
}
} // namespace

QFont largestFittingFont(QFont font, const QRect& room, const QStringList& texts) {
    const auto fits = [&](const QFont& candidate) {
        return std::all_of(texts.begin(), texts.end(),
                           [&](const QString& text) { return fitsIn(candidate, room, text); });
    };
    const int largest = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    for (int pixels = largest; pixels >= 7; --pixels) {
        for (const int stretch :
             {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
            font.setPixelSize(pixels);
            font.setStretch(stretch);
            if (fits(font)) {
                return font;
            }
        }
    }
    return font; // the smallest tried: as much as can be shown
}

void fitFontToTexts(QLabel* label, const QStringList& texts) {
    // Measuring loads each size and face tried, which costs start-up more than the rest of the
    // window; the answer is the same on every start until the fonts or the screen change.
    QFont font = label->font();
    const QRect room = label->contentsRect();
    const QString key = fitKey(font, room, texts, *label);
    QSettings& cache = fitCache();
    const QStringList kept = cache.value(key).toString().split(QLatin1Char(' '));
    bool pixelsRead = false;
    bool stretchRead = false;
    const int pixels = kept.size() == 2 ? kept[0].toInt(&pixelsRead) : 0;
    const int stretch = kept.size() == 2 ? kept[1].toInt(&stretchRead) : 0;
    if (pixelsRead && stretchRead && pixels >= 1 && stretch >= 1 && stretch <= 4000) {
        font.setPixelSize(pixels);
        font.setStretch(stretch);
    } else {
        font = largestFittingFont(font, room, texts);
        cache.setValue(key, QStringLiteral("%1 %2").arg(font.pixelSize()).arg(font.stretch()));
        // Written now: the program may end at once, without the cache reader's end.
        cache.sync();
    }
    label->setFont(font);
}

void useDialogFont(QWidget* window) {
    QFont small = window->font();
    small.setPixelSize(11);
    window->setFont(small);
}

void useFixedPalette(QWidget* window) {
    QPalette palette;
    const QColor text(Qt::black);
    const QColor dimmed(0x5f, 0x5f, 0x5f); // 6.4:1 on white, 5.2:1 on the button face
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, Qt::white);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::AlternateBase, QColor(0xf0, 0xf0, 0xf0));
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, QColor(0xe8, 0xe8, 0xe8));
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::Highlight, QColor(0x00, 0x5a, 0xb5));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::PlaceholderText, dimmed);
        palette.setColor(group, QPalette::Link, QColor(0x00, 0x00, 0xcc));
        palette.setColor(group, QPalette::BrightText, Qt::white);
        palette.setColor(group, QPalette::Light, Qt::white);
        palette.setColor(group, QPalette::Midlight, QColor(0xe3, 0xe3, 0xe3));
        palette.setColor(group, QPalette::Mid, QColor(0xa0, 0xa0, 0xa0));
        palette.setColor(group, QPalette::Dark, QColor(0x70, 0x70, 0x70));
        palette.setColor(group, QPalette::Shadow, QColor(0x40, 0x40, 0x40));
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::Base, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0xe8, 0xe8, 0xe8));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText}) {
        palette.setColor(QPalette::Disabled, role, dimmed);
    }
    window->setPalette(palette);
}

void GrowingLayout::add(QWidget* widget, const GrowRule& rule) {
    items_.push_back({widget, widget->geometry(), rule});
}

void GrowingLayout::apply(QSize size) const {
    const int extraWidth = std::max(size.width() - startSize_.width(), 0);
    const int extraHeight = std::max(size.height() - startSize_.height(), 0);
    const int shortfall = std::min(size.height() - startSize_.height(), 0);
    const auto share = [](double fraction, int pixels) {
        return static_cast<int>(std::lround(fraction * pixels));
    };
    for (const Item& item : items_) {
        if (!item.widget) {
            continue;
        }
        const GrowRule& rule = item.rule;
        // Shares are rounded at both edges, so that neighbours sharing the width meet exactly.
        const int left = item.start.x() + share(rule.moveX, extraWidth);
        const int right =
            item.start.x() + item.start.width() + share(rule.moveX + rule.growX, extraWidth);
        const int top = item.start.y() + share(rule.moveY, extraHeight);
        const int height = item.start.height() + share(rule.growY, extraHeight) +
                           (rule.takesShortfall ? shortfall : 0);
        item.widget->setGeometry(left, top, right - left, std::max(height, 0));
    }
}

double contrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& colour) {
        const auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
               0.0722 * channel(colour.blueF());
    };
    const double first = luminance(a) + 0.05;
    const double second = luminance(b) + 0.05;
    return std::max(first, second) / std::min(first, second);
}

} // namespace snipora
