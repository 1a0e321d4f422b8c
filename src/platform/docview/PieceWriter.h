#pragma once

// Turns a teacher's page file into an embedded-document piece: the 12-byte "BDOC" header and a
// compound file holding a static picture object. Used by kvizor-pack and the tests.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kvz::docview {

struct PieceResult {
    QByteArray piece;
    QString error; // empty on success; one clear line naming the file otherwise
    bool ok() const { return error.isEmpty(); }
};

// Page files: .png .jpg .jpeg .bmp (a DIB), .emf .wmf (a metafile), .txt .html .htm (a page
// typeset by Qt). The kind follows the extension, case-insensitively.
PieceResult pieceFromPageFile(const QString& path);

// A stream of a page's compound file that keeps the text a teacher typed for the page (UTF-8
// HTML, its pictures inside), so the editor can change the page again. Viewers draw the picture
// stream and pass other streams by.
inline constexpr const char* kTypedTextStream = "KvizorText";

// The parts, for callers that hold the picture already; name is used in error texts. A typed
// text, when given, goes into the piece beside the picture.
PieceResult pieceFromImage(const QImage& image, const QString& name,
                           const QByteArray& typedText = {});
PieceResult pieceFromMetafile(const QByteArray& emfOrWmf, const QString& name);
// The 12-byte header (content aspect) before a compound file.
QByteArray makePiece(const QByteArray& compoundFile);

} // namespace kvz::docview
