#pragma once

// How a metafile's text bytes read: the selected font's character set and face decide the
// code page (Windows-1251 for Cyrillic, the Symbol font's own encoding for formulas, else
// Windows-1252).

#include <QString>
#include <cstdint>
#include <span>

namespace kvz::wmf::detail {

QString decodeText(std::span<const std::uint8_t> bytes, int charset, const QString& face);

} // namespace kvz::wmf::detail
