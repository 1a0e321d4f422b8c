#include "platform/docview/TextPage.h"

#include "platform/docview/DibDecoder.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextDocument>
#include <QUrl>
#include <cmath>

namespace kvz::docview {
namespace {

constexpr double kPageWidthMm = 210.0;
constexpr double kMarginMm = 15.0;

int mmToPx(double mm) {
    return int(std::lround(mm / 25.4 * kTextPageDpi));
}

} // namespace

QImage typesetPage(const QString& text, bool html, const QString& baseDir) {
    const int width = mmToPx(kPageWidthMm);
    const int margin = mmToPx(kMarginMm);
    const int dpm = int(std::lround(kTextPageDpi / 0.0254));

    // Fonts in points are laid out at the page's resolution, not the screen's.
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.setDotsPerMeterX(dpm);
    probe.setDotsPerMeterY(dpm);
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&probe);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(12);
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    if (!baseDir.isEmpty())
        doc.setBaseUrl(QUrl::fromLocalFile(baseDir + QLatin1Char('/')));
    if (html)
        doc.setHtml(text);
    else
        doc.setPlainText(text);
    doc.setTextWidth(width - 2 * margin);

    const int contentHeight = int(std::ceil(doc.size().height()));
    const int height = qBound(2 * margin + 1, contentHeight + 2 * margin, kMaxImageSide);
    QImage page(width, height, QImage::Format_RGB32);
    page.setDotsPerMeterX(dpm);
    page.setDotsPerMeterY(dpm);
    page.fill(Qt::white);
    QPainter p(&page);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(margin, margin);
    doc.drawContents(&p, QRectF(0, 0, width - 2 * margin, height - 2 * margin));
    p.end();
    // Black and white at 150 dpi: sharp when shown smaller, and an A4 page stays near 270 KB.
    return page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
}

} // namespace kvz::docview
