#pragma once

// Writes an image as a packed DIB (header, colour table, bits): two-colour (Mono) images as
// 1-bit, grey images as 8-bit grey, run-length coded when that is smaller; others as 24-bit.

#include <QByteArray>
#include <QImage>

namespace kvz::docview {

QByteArray encodeDib(const QImage& image);
// The same DIB behind a 14-byte .bmp file header.
QByteArray encodeBmpFile(const QImage& image);

} // namespace kvz::docview
