#pragma once

// Bitmap bits that only metafile records carry. Packed DIBs go through DibDecoder.

#include <QColor>
#include <QImage>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kvz::wmf::detail {

// Largest bitmap one record may make us decode; bigger ones in a question page are garbage.
inline constexpr int kMaxBitmapSide = 8192;
inline constexpr std::int64_t kMaxBitmapArea = 16 * 1024 * 1024;

// A device-dependent Bitmap16 (BITBLT/STRETCHBLT records): 1-bit monochrome, 24 or 32 bits.
std::optional<QImage> decodeBitmap16(std::span<const std::uint8_t> bytes);

// False when an uncompressed packed DIB holds fewer bits than its header promises; such a
// bitmap is damaged and is not drawn (compressed ones are left to the decoder).
bool dibComplete(std::span<const std::uint8_t> dib);

// A DIB whose colour table holds 16-bit indices into the selected palette (DIB_PAL_COLORS),
// rewritten with the palette's colours as an ordinary RGB table; indices past the palette
// become grey levels. nullopt when the table is not all there.
std::optional<std::vector<std::uint8_t>> paletteToRgb(std::span<const std::uint8_t> dib,
                                                      const std::vector<QColor>& palette);

// Whether a packed DIB stores its rows bottom-up (a positive height); false when unreadable.
bool dibBottomUp(std::span<const std::uint8_t> dib);

} // namespace kvz::wmf::detail
