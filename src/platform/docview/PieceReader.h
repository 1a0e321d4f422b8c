#pragma once

// Reads an embedded-document piece: the 12-byte header ("BDOC", draw aspect, data size) and
// the compound file after it, and finds the document's presentation picture: in an embedded
// object's presentation streams ("\2OlePres000" ...) or in the CONTENTS of a static picture.

#include "platform/docview/ByteReader.h"
#include "platform/docview/DibDecoder.h"

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <optional>

namespace kvz::docview {

inline constexpr std::uint32_t kPieceSignature = 0x434F4442; // "BDOC"
inline constexpr std::size_t kPieceHeaderSize = 12;

struct PieceHeader {
    std::uint32_t drawAspect = 0;
    std::uint32_t dataSize = 0;
    std::size_t totalSize() const { return kPieceHeaderSize + dataSize; }
};

// The header alone, checked: the signature, and a data size that the bytes hold.
std::optional<PieceHeader> readPieceHeader(Bytes bytes, QString& error);

enum class PictureKind { None, Dib, Wmf, Emf };

struct PagePicture {
    PictureKind kind = PictureKind::None;
    QByteArray data; // the DIB (header onward), the WMF (no placeable header) or the EMF
    // The picture's size in HIMETRIC (0.01 mm) when the stream or the picture says it.
    std::optional<QSizeF> extentHimetric;
    // A DIB already decoded while it was read (a .bmp in CONTENTS), so showing the page does
    // not decode it again; empty otherwise.
    std::optional<DibImage> decoded;
};

struct ReadResult {
    std::optional<PagePicture> picture; // kind None: a sound piece with nothing we can draw
    QString error;                      // the piece is rejected
};

// Rejects a piece whose header is wrong or whose data is no compound file; a compound file
// without a drawable picture gives a picture of kind None (an empty page).
ReadResult readPiece(Bytes piece);
// The typed text a page was drawn from (kTypedTextStream), or nothing when the page has none or
// is no sound piece.
std::optional<QByteArray> typedTextOfPiece(Bytes piece);

// What a raw picture is, by its first bytes: EMF, WMF (with or without a placeable header) or
// a packed DIB; None otherwise. Used for streams that name no format, and for page files.
PictureKind sniffPicture(Bytes data);

// A WMF with a placeable header: the header stripped and its extent kept in extentHimetric.
// Other data comes back unchanged.
PagePicture normaliseWmf(QByteArray data);

// The EMF header's frame (0.01 mm units), when the header is sound.
std::optional<QSizeF> emfFrameHimetric(Bytes emf);

} // namespace kvz::docview
