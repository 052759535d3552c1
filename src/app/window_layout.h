// Design-time layout shared by the program's windows: twips to pixels, and filled backgrounds.
#pragma once

#include <QColor>

class QWidget;

namespace snipora {

// Positions were designed in twips; on screen 15 twips make one pixel.
inline constexpr int twipsPerPixel = 15;

// Places a widget from design-time twips (Left, Top, Width × Height).
void placeInTwips(QWidget* widget, int left, int top, int width, int height);

// Gives a widget a solid background and a text colour of its own.
void fillBackground(QWidget* widget, const QColor& background, const QColor& text = Qt::black);

// The windows were laid out for the desktop's small dialog font (8 points at 96 dpi); a larger
// default would cut the captions of the narrow labels and lists.
void useDialogFont(QWidget* window);

} // namespace snipora
