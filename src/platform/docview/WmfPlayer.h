#pragma once

// Plays a Windows metafile (WMF) onto a QPainter. Our pictures come from the old platform's
// office suite; nothing a hostile file holds may crash the player, loop forever or allocate
// without bound.
//
// Changes for callers since the first interface: both entry points take an optional
// MetafilePict (the mapping mode and extent that an OLE presentation stream stores in front of
// a metafile without a placeable header); WmfInfo gained mapMode. Calls written against the
// first interface compile unchanged.

#include <QRectF>
#include <QSizeF>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

class QPainter;

namespace kvz::wmf {

// The METAFILEPICT header of a presentation stream: mapping mode (MM_ANISOTROPIC = 8 mostly)
// and extent; for MM_ANISOTROPIC/MM_ISOTROPIC the extent is the suggested size in HIMETRIC
// (0.01 mm; zero or negative means none), for the fixed modes it is in the mode's units.
struct MetafilePict {
    int mapMode = 8;
    int xExt = 0;
    int yExt = 0;
};

// The picture's logical frame: from the placeable header when there is one, else from the
// SETWINDOWORG/SETWINDOWEXT records, else from what the drawing records cover.
struct WmfInfo {
    QRectF bounds;                // logical units, normalised (positive width and height)
    std::optional<QSizeF> sizeMm; // physical size when known (placeable header or METAFILEPICT)
    int mapMode = 8;              // mapping mode the picture is played in at first
};

// Accepts a placeable metafile (0x9AC6CDD7 key) or a bare one (META_HEADER first). nullopt
// when the bytes are no metafile or have no usable frame.
std::optional<WmfInfo> inspect(std::span<const std::uint8_t> bytes,
                               const std::optional<MetafilePict>& pict = std::nullopt);

// Draws the whole picture into target (device coordinates of painter), mapping its logical
// frame onto target; drawing is clipped to target. Returns false when the bytes are no
// metafile at all; a metafile that breaks off midway is drawn up to the break and returns
// true.
bool play(std::span<const std::uint8_t> bytes, QPainter& painter, const QRectF& target,
          const std::optional<MetafilePict>& pict = std::nullopt);

} // namespace kvz::wmf
