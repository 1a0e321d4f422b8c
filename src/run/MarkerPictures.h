#pragma once

// The numbered markers of ordering questions and the cursor shapes that carry them during a
// drag, drawn by the program itself: a round badge with the number, and its mask. Drawn as
// vectors straight into the size asked for, so a marker is sharp in a cell of any size.

#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <QSize>

class QPainter;
class QRect;

namespace kvz {

namespace markers {

inline constexpr int kFirst = 1;
inline constexpr int kLast = 10;
// The size of the cursor shapes where they are not rebuilt at cell size.
inline constexpr int kCursorSize = 32;

// Paints marker number (1..10) stretched over rect; other numbers paint nothing.
void draw(QPainter& painter, const QRect& rect, int number);
// Marker number at size, on a transparent background; a null image for other numbers.
QImage picture(int number, QSize size);
// The mask of every marker at size: set where a marker covers the cell.
QBitmap mask(QSize size);
// The cursor that shows marker number, hot spot in its middle; cellSize empty: the standard
// 32 x 32 shape. The arrow for other numbers.
QCursor cursor(int number, QSize cellSize = {});

} // namespace markers

} // namespace kvz
