#include "results/ReportPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <cmath>

namespace kvz {

namespace {

constexpr int kFigureObject = QTextFormat::UserObject + 1;
constexpr int kFigureIndex = QTextFormat::UserProperty + 1;
// Figures are measured in CSS pixels, 96 to the inch.
constexpr double kCssDpi = 96.0;

// Draws a figure where the rich text left room for it.
class FigureObject : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    FigureObject(const std::vector<Figure>& figures, double scale)
        : figures_(figures), scale_(scale) {}

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
        const Figure* f = figureOf(format);
        return f ? QSizeF(f->width * scale_, f->height * scale_) : QSizeF(0, 0);
    }
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                    const QTextFormat& format) override {
        if (const Figure* f = figureOf(format))
            paintFigure(*painter, *f, rect);
    }

private:
    const Figure* figureOf(const QTextFormat& format) const {
        const int n = format.intProperty(kFigureIndex);
        return n >= 0 && std::size_t(n) < figures_.size() ? &figures_[std::size_t(n)] : nullptr;
    }
    const std::vector<Figure>& figures_;
    double scale_;
};

// The "figure:N" placeholder images become figure objects.
void placeFigures(QTextDocument& doc) {
    struct Spot {
        int position;
        int length;
        int index;
    };
    std::vector<Spot> spots;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid() || !f.charFormat().isImageFormat())
                continue;
            const QString name = f.charFormat().toImageFormat().name();
            if (!name.startsWith(QLatin1String("figure:")))
                continue;
            bool ok = false;
            const int n = name.mid(7).toInt(&ok);
            if (ok)
                spots.push_back({f.position(), f.length(), n});
        }
    }
    for (const Spot& s : spots) {
        QTextCursor c(&doc);
        c.setPosition(s.position);
        c.setPosition(s.position + s.length, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setObjectType(kFigureObject);
        format.setProperty(kFigureIndex, s.index);
        c.setCharFormat(format);
    }
}

} // namespace

int writeReportPdf(const std::vector<TestAnalysis>& tests, const ReportSource& source,
                   const QString& path, QString* error) {
    std::vector<Figure> figures;
    const QString html = reportHtml(tests, source, ReportFlavour::TextDocument, &figures);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return 0;
    }
    int pages = 0;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(QStringLiteral("Results report"));
        pdf.setCreator(QStringLiteral("kvizor-results"));
        pdf.setResolution(300);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 18), QPageLayout::Millimeter));
        const double dpi = pdf.resolution();
        const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());

        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&pdf);
        FigureObject drawer(figures, dpi / kCssDpi);
        doc.documentLayout()->registerHandler(kFigureObject, &drawer);
        doc.setDocumentMargin(0);
        doc.setHtml(html);
        placeFigures(doc);
        // Room at the foot of each page for its number.
        const double footer = dpi / 4;
        doc.setPageSize(QSizeF(page.width(), page.height() - footer));
        pages = doc.pageCount();

        QPainter p(&pdf);
        if (!p.isActive()) {
            *error = QStringLiteral("cannot paint the PDF");
            return 0;
        }
        const double h = page.height() - footer;
        QFont small(QStringLiteral("DejaVu Sans"));
        small.setPointSizeF(8);
        for (int i = 0; i < pages; ++i) {
            if (i > 0)
                pdf.newPage();
            p.save();
            // A block that runs onto the next page is drawn whole: only this page's part shows.
            p.setClipRect(QRectF(0, 0, page.width(), h));
            p.translate(0, -h * i);
            QAbstractTextDocumentLayout::PaintContext ctx;
            ctx.clip = QRectF(0, h * i, page.width(), h);
            doc.documentLayout()->draw(&p, ctx);
            p.restore();
            p.setFont(small);
            p.setPen(QColor(0x66, 0x66, 0x66));
            p.drawText(QRectF(0, h, page.width(), footer), Qt::AlignRight | Qt::AlignBottom,
                       QStringLiteral("%1 / %2").arg(i + 1).arg(pages));
        }
    }
    if (!file.commit()) {
        *error = file.errorString();
        return 0;
    }
    return pages;
}

} // namespace kvz

#include "ReportPdf.moc"
