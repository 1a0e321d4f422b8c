#include "PageSources.h"

#include "platform/docview/PieceReader.h"
#include "run/MarkerBoard.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QPainter>
#include <QPdfDocument>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <memory>

namespace kvz::editor {

namespace {

constexpr double kPageWidthMm = 210.0;
constexpr double kMarginMm = 15.0;
// No page taller than the viewer's pictures may be.
constexpr int kMaxPageSide = 8000;

int mmToPx(double mm) {
    return int(std::lround(mm / 25.4 * kPageDpi));
}

} // namespace

docview::PieceResult pieceOfImage(QImage image, const QString& name, const QByteArray& typedText) {
    if (image.isNull())
        return {{}, QStringLiteral("%1: no picture").arg(name)};
    if (image.allGray())
        image = image.convertToFormat(QImage::Format_Grayscale8);
    return docview::pieceFromImage(image, name, typedText);
}

docview::PieceResult pageFromPictureFile(const QString& path) {
    return docview::pieceFromPageFile(path);
}

docview::PieceResult pageFromPdf(const QString& path, int page, int* pageCount) {
    QPdfDocument pdf;
    if (pdf.load(path) != QPdfDocument::Error::None)
        return {{}, QStringLiteral("%1: not a PDF that can be read").arg(path)};
    if (pageCount)
        *pageCount = pdf.pageCount();
    if (page < 0 || page >= pdf.pageCount())
        return {{}, QStringLiteral("%1: there is no page %2").arg(path).arg(page + 1)};
    const QSizeF points = pdf.pagePointSize(page);
    QSize size(int(std::lround(points.width() / 72.0 * kPageDpi)),
               int(std::lround(points.height() / 72.0 * kPageDpi)));
    if (size.isEmpty())
        return {{}, QStringLiteral("%1: page %2 is empty").arg(path).arg(page + 1)};
    size = size.boundedTo(QSize(kMaxPageSide, kMaxPageSide));
    QImage image = pdf.render(page, size);
    if (image.isNull())
        return {{}, QStringLiteral("%1: page %2 cannot be drawn").arg(path).arg(page + 1)};
    // A PDF page may be transparent: the pupil sees it on white.
    QImage white(image.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    QPainter p(&white);
    p.drawImage(0, 0, image);
    p.end();
    return pieceOfImage(white, QFileInfo(path).fileName());
}

QImage renderTextPage(const QTextDocument& source, TypedPage use) {
    const int width = mmToPx(kPageWidthMm);
    const int margin = mmToPx(kMarginMm);
    const int dpm = int(std::lround(kPageDpi / 0.0254));
    // Points are laid out at the page's resolution, not the screen's.
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.setDotsPerMeterX(dpm);
    probe.setDotsPerMeterY(dpm);
    std::unique_ptr<QTextDocument> doc(source.clone());
    doc->documentLayout()->setPaintDevice(&probe);
    doc->setDocumentMargin(0);
    doc->setTextWidth(width - 2 * margin);
    const int contentHeight = int(std::ceil(doc->size().height()));
    int height = qBound(2 * margin + 1, contentHeight + 2 * margin, kMaxPageSide);
    if (use == TypedPage::Question)
        height = std::max(height, MarkerBoard::squareCellsHeight(width));
    QImage page(width, height, QImage::Format_RGB32);
    page.setDotsPerMeterX(dpm);
    page.setDotsPerMeterY(dpm);
    page.fill(Qt::white);
    QPainter p(&page);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(margin, margin);
    doc->drawContents(&p, QRectF(0, 0, width - 2 * margin, height - 2 * margin));
    p.end();
    return page;
}

docview::PieceResult pageFromText(const QString& html, TypedPage use) {
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(12);
    doc.setDefaultFont(font);
    doc.setHtml(html);
    return pieceOfImage(renderTextPage(doc, use), QStringLiteral("text"), html.toUtf8());
}

QString typedTextOf(const QByteArray& piece) {
    const std::optional<QByteArray> text =
        docview::typedTextOfPiece(docview::asBytes(piece.constData(), std::size_t(piece.size())));
    return text ? QString::fromUtf8(*text) : QString();
}

} // namespace kvz::editor
