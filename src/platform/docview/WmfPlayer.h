#pragma once

// Plays a Windows metafile (WMF) onto a QPainter. Our pictures come from the old platform's
// office suite; nothing a hostile file holds may crash the player, loop forever or allocate
// without bound.

#include <QRectF>
#include <QSizeF>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

class QPainter;

namespace kvz::wmf {

// The picture's logical frame: from the placeable header when there is one, else from the
// SETWINDOWORG/SETWINDOWEXT records; the METAFILEPICT extent (HIMETRIC) is passed in by the
// caller when the metafile came from a presentation stream.
struct WmfInfo {
    QRectF bounds;            // logical units
    std::optional<QSizeF> sizeMm; // physical size when known (placeable header or METAFILEPICT)
};

std::optional<WmfInfo> inspect(std::span<const std::uint8_t> bytes);

// Draws the whole picture into target (device coordinates of painter), mapping its logical
// frame onto target. Returns false when the bytes are no metafile at all.
bool play(std::span<const std::uint8_t> bytes, QPainter& painter, const QRectF& target);

} // namespace kvz::wmf
