#pragma once

// The program's own pictures (the splash, the mode buttons) decoded straight from their PNG
// bytes. Qt's image reader asks every image format plugin whether it reads PNG before using its
// own decoder, which loads all of them into memory at start; these pictures never need them.

#include <QImage>
#include <QString>

namespace kvz {

// The PNG picture in the file or resource at path; a null image when it cannot be read.
QImage readPngImage(const QString& path);

} // namespace kvz
