#include "platform/docview/PieceWriter.h"

namespace kvz::docview {

PieceResult pieceFromPageFile(const QString& path) {
    return {{}, QStringLiteral("%1: page files cannot be written yet").arg(path)};
}

} // namespace kvz::docview
