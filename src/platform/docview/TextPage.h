#pragma once

// Typesets a page of plain text or simple HTML as a picture: an A4-wide page at 150 dpi,
// trimmed to its content, in black and white.

#include <QImage>
#include <QString>

namespace kvz::docview {

inline constexpr int kTextPageDpi = 150;

// Pictures an HTML page names by a relative path are looked up in baseDir.
QImage typesetPage(const QString& text, bool html, const QString& baseDir = QString());

} // namespace kvz::docview
