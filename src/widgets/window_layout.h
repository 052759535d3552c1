// Design-time layout shared by the program's windows: twips to pixels, and filled backgrounds.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <vector>

class QLabel;
class QWidget;

namespace snipora {

// Positions were designed in twips; on screen 15 twips make one pixel.
inline constexpr int twipsPerPixel = 15;

// Places a widget from design-time twips (Left, Top, Width × Height).
void placeInTwips(QWidget* widget, int left, int top, int width, int height);

// Gives a widget a solid background and a text colour of its own.
void fillBackground(QWidget* widget, const QColor& background, const QColor& text = Qt::black);

// Fixed light colours for the window and everything in it, whatever the desktop's theme: the
// layout paints white and black areas of its own, and text taken from a dark theme's palette
// would not read on them. Every text colour here keeps a contrast of at least 4.5:1 to its
// background, disabled text included.
void useFixedPalette(QWidget* window);

// The contrast ratio of two colours, as accessibility guidelines define it (1 to 21).
double contrastRatio(const QColor& a, const QColor& b);

// The largest font, at most `font`, in which each of `texts` shows whole in `room`: trying
// smaller sizes, each also in narrower faces, down to 7 pixels.
QFont largestFittingFont(QFont font, const QRect& room, const QStringList& texts);

// Gives a label the largest fitting font, at most its own, for its place (largestFittingFont).
// The labels were laid out for a narrower font than desktops have today. The fit is kept in the
// user's cache folder for the next start with the same font, place, screen and installed fonts.
void fitFontToTexts(QLabel* label, const QStringList& texts);

// The windows were laid out for the desktop's small dialog font (8 points at 96 dpi); a larger
// default would cut the captions of the narrow labels and lists.
void useDialogFont(QWidget* window);

// How a control follows its window as the window grows past its start-up size: the shares of
// the extra width and height by which it moves and grows. Below the start-up height only the
// controls that take the shortfall give way, by shrinking.
struct GrowRule {
    double moveX = 0;
    double growX = 0;
    double moveY = 0;
    double growY = 0;
    bool takesShortfall = false;
};

// The controls of a window placed at its start-up size, and where each goes at another size.
// At the start-up size every control is exactly where it was placed.
class GrowingLayout {
public:
    // Takes the start-up size; add() then records each control's place at that size.
    explicit GrowingLayout(QSize startSize = {}) : startSize_(startSize) {}
    void add(QWidget* widget, const GrowRule& rule);
    // Places every control for a window (or parent) of `size`.
    void apply(QSize size) const;
    QSize startSize() const { return startSize_; }

private:
    struct Item {
        QPointer<QWidget> widget;
        QRect start;
        GrowRule rule;
    };
    QSize startSize_;
    std::vector<Item> items_;
};

} // namespace snipora
