#pragma once

// Turns a teacher's page file into an embedded-document piece: the 12-byte "BDOC" header and a
// compound file holding a static picture object. Used by kvizor-pack and the tests.

#include <QByteArray>
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

} // namespace kvz::docview
