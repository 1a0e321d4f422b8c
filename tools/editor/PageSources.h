#pragma once

// The three ways a page is made in the editor: a picture file, a page of a PDF, or text typed
// with simple formatting. Each ends as the piece the archive stores and the run shows.

#include "platform/docview/PieceWriter.h"

#include <QImage>
#include <QString>

class QTextDocument;

namespace kvz::editor {

// Typed pages and PDF pages are drawn at this resolution: an A4-wide page is then about 2000
// pixels across, sharp on a 1920 x 1080 screen.
inline constexpr int kPageDpi = 240;

// .png .jpg .jpeg .bmp .emf .wmf (and .txt .html .htm), as kvizor-pack takes them.
docview::PieceResult pageFromPictureFile(const QString& path);
// Page number page (0-based) of a PDF file; pageCount gets the number of pages when not null.
docview::PieceResult pageFromPdf(const QString& path, int page, int* pageCount = nullptr);
// What a typed page is for. A question's page carries the run's marker grid, which divides the
// page into a fixed number of cells: a page only as tall as a line of text gets flat cells and
// markers too small to read. So a question's page is made at least tall enough for square
// cells, whatever its kind, as the kind may be changed after the page was typed; white space
// below the text does no harm there. An introduction or a reference page is only read and keeps
// to its text, which is then shown the larger.
enum class TypedPage { Question, Reading };

// A typed page: the document laid out A4-wide at kPageDpi, trimmed to its content, and for a
// question no shorter than square grid cells need.
QImage renderTextPage(const QTextDocument& document, TypedPage use);
// The page typed as html, drawn in the editor's page font; the html goes into the piece so the
// page can be typed again (typedTextOf).
docview::PieceResult pageFromText(const QString& html, TypedPage use);
// The html a page was typed as; empty for a page made any other way.
QString typedTextOf(const QByteArray& piece);
// Grey when it holds no colour, which keeps the stored page small.
docview::PieceResult pieceOfImage(QImage image, const QString& name,
                                  const QByteArray& typedText = {});

} // namespace kvz::editor
