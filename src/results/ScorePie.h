#pragma once

// The score pie of the results window: a flat disc seen from the front, 161 × 110 pixels on
// white, green for the right share and red for the wrong share, drawn by fixed geometry so the
// same score always gives the same pixels.

#include <QImage>

namespace kvz {

inline constexpr int kPieWidth = 161;
inline constexpr int kPieHeight = 110;

// score: 0..100 (values outside are held to it).
QImage drawScorePie(double score);

// Fills the 4-connected region of pixels of the colour found at start with colour.
void floodFill(QImage& image, QPoint start, QRgb colour);

} // namespace kvz
