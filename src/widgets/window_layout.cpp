// Design-time layout helpers.
#include "widgets/window_layout.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cmath>

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
} // namespace

void fitFontToTexts(QLabel* label, const QStringList& texts) {
    QFont font = label->font();
    const QRect room = label->contentsRect();
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
                label->setFont(font);
                return;
            }
        }
    }
    label->setFont(font); // the smallest tried: as much as can be shown
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
