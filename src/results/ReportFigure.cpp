#include "results/ReportFigure.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace kvz {

namespace {

// Figures are measured without a font at hand: an average glyph of DejaVu Sans is a little
// over half its height wide.
constexpr double kGlyphWidth = 0.6;

QString num(double v) {
    return QString::number(std::round(v * 10.0) / 10.0, 'f', 1);
}

// Texts that would run out of their room end in an ellipsis.
QString fitted(const QString& text, double room, int size) {
    const int chars = std::max(1, int(room / (kGlyphWidth * size)));
    if (text.size() <= chars)
        return text;
    return text.left(std::max(1, chars - 1)) + QChar(0x2026);
}

QFont figureFont(int size, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(1, size));
    f.setBold(bold);
    return f;
}

// A round step for value axis lines: 1, 2 or 5 times a power of ten, about four lines.
double axisStep(double max) {
    if (max <= 0)
        return 1;
    const double raw = max / 4;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

QString axisNumber(double v) {
    return std::fabs(v - std::round(v)) < 1e-9 ? QString::number(qint64(std::llround(v)))
                                               : QString::number(v, 'g', 3);
}

} // namespace

QString xmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        default:
            // Control characters are not allowed in XML at all.
            out += c.unicode() < 0x20 ? QChar(QLatin1Char(' ')) : c;
        }
    }
    return out;
}

void Figure::rect(double x, double y, double w, double h, const QColor& c) {
    FigureShape s;
    s.type = FigureShape::Type::Rect;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.colour = c;
    shapes.push_back(std::move(s));
}

void Figure::line(double x1, double y1, double x2, double y2, const QColor& c) {
    FigureShape s;
    s.type = FigureShape::Type::Line;
    s.x = x1, s.y = y1, s.w = x2 - x1, s.h = y2 - y1;
    s.colour = c;
    shapes.push_back(std::move(s));
}

void Figure::text(double x, double y, const QString& t, FigureShape::Anchor a, int size,
                  const QColor& c, bool bold, bool vertical) {
    FigureShape s;
    s.type = FigureShape::Type::Text;
    s.x = x, s.y = y;
    s.text = t;
    s.anchor = a;
    s.size = size;
    s.colour = c;
    s.bold = bold;
    s.vertical = vertical;
    shapes.push_back(std::move(s));
}

QString figureSvg(const Figure& f) {
    QString out;
    out += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"figure\" "
                          "role=\"img\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                          "font-family=\"DejaVu Sans, Verdana, sans-serif\">")
               .arg(num(f.width), num(f.height));
    out += QStringLiteral("<title>") + xmlEscaped(f.title) + QStringLiteral("</title>");
    for (const FigureShape& s : f.shapes) {
        const QString colour = s.colour.name();
        switch (s.type) {
        case FigureShape::Type::Rect:
            out += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                                  "fill=\"%5\"/>")
                       .arg(num(s.x), num(s.y), num(std::max(0.0, s.w)), num(std::max(0.0, s.h)),
                            colour);
            break;
        case FigureShape::Type::Line:
            out += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" "
                                  "stroke=\"%5\" stroke-width=\"1\"/>")
                       .arg(num(s.x), num(s.y), num(s.x + s.w), num(s.y + s.h), colour);
            break;
        case FigureShape::Type::Text: {
            const char* anchor = s.anchor == FigureShape::Anchor::Middle ? "middle"
                                 : s.anchor == FigureShape::Anchor::End  ? "end"
                                                                         : "start";
            out += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"%3\" fill=\"%4\" "
                                  "text-anchor=\"%5\"")
                       .arg(num(s.x), num(s.y), QString::number(s.size), colour,
                            QLatin1String(anchor));
            if (s.bold)
                out += QStringLiteral(" font-weight=\"bold\"");
            if (s.vertical)
                out += QStringLiteral(" transform=\"rotate(-90 %1 %2)\"").arg(num(s.x), num(s.y));
            out += QLatin1Char('>') + xmlEscaped(s.text) + QStringLiteral("</text>");
            break;
        }
        }
    }
    out += QStringLiteral("</svg>");
    return out;
}

void paintFigure(QPainter& p, const Figure& f, const QRectF& target) {
    if (f.width <= 0 || f.height <= 0)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(target.topLeft());
    p.scale(target.width() / f.width, target.height() / f.height);
    for (const FigureShape& s : f.shapes) {
        switch (s.type) {
        case FigureShape::Type::Rect:
            p.fillRect(QRectF(s.x, s.y, std::max(0.0, s.w), std::max(0.0, s.h)), s.colour);
            break;
        case FigureShape::Type::Line: {
            QPen pen(s.colour);
            pen.setWidthF(1.0);
            p.setPen(pen);
            p.drawLine(QPointF(s.x, s.y), QPointF(s.x + s.w, s.y + s.h));
            break;
        }
        case FigureShape::Type::Text: {
            const QFont font = figureFont(s.size, s.bold);
            p.setFont(font);
            p.setPen(s.colour);
            // Measured in the figure's own units, as the painter's scale applies after.
            const double width = QFontMetricsF(font).horizontalAdvance(s.text);
            const double shift = s.anchor == FigureShape::Anchor::Middle ? width / 2
                                 : s.anchor == FigureShape::Anchor::End  ? width
                                                                         : 0;
            p.save();
            p.translate(s.x, s.y);
            if (s.vertical)
                p.rotate(-90);
            p.drawText(QPointF(-shift, 0), s.text);
            p.restore();
            break;
        }
        }
    }
    p.restore();
}

Figure columnChart(const ColumnChart& c) {
    Figure f;
    f.width = c.width;
    f.height = c.height;
    f.title = c.title;
    const int n = int(c.values.size());
    double max = c.maxValue.value_or(0);
    for (double v : c.values)
        max = std::max(max, v);
    if (max <= 0)
        max = 1;
    const double step = c.counts ? std::max(1.0, axisStep(max)) : axisStep(max);
    max = std::ceil(max / step - 1e-9) * step;

    // Labels stand upright when they fit under their column, else they are turned.
    double longest = 0;
    for (const QString& l : c.labels)
        longest = std::max<double>(longest, double(l.size()));
    const double left = 44, right = 8, top = 18;
    const double slot = n > 0 ? (c.width - left - right) / n : 0;
    const int labelSize = slot < 22 ? 9 : 11;
    const bool turned = longest * kGlyphWidth * labelSize > slot - 2;
    const double labelRoom = turned ? std::min(90.0, longest * kGlyphWidth * labelSize + 6) : 18;
    const double bottom = labelRoom + 6;
    const double plotH = c.height - top - bottom;
    const double baseY = top + plotH;

    for (double v = 0; v <= max + 1e-9; v += step) {
        const double y = baseY - v / max * plotH;
        f.line(left, y, c.width - right, y, palette::grid);
        f.text(left - 6, y + 4, axisNumber(v), FigureShape::Anchor::End, 10, palette::axis);
    }
    if (!c.axisTitle.isEmpty())
        f.text(12, top + plotH / 2, c.axisTitle, FigureShape::Anchor::Middle, 10, palette::axis,
               false, true);
    const double barW = std::max(1.0, slot * 0.7);
    for (int i = 0; i < n; ++i) {
        const double v = std::max(0.0, c.values[std::size_t(i)]);
        const double h = v / max * plotH;
        const double x = left + slot * i + (slot - barW) / 2;
        const QColor colour =
            std::size_t(i) < c.colours.size() ? c.colours[std::size_t(i)] : palette::bar;
        f.rect(x, baseY - h, barW, h, colour);
        // Too narrow for a figure over each column: the table beside the chart has them.
        if (slot >= 16 && i < c.valueTexts.size() && !c.valueTexts[i].isEmpty())
            f.text(x + barW / 2, baseY - h - 4, c.valueTexts[i], FigureShape::Anchor::Middle,
                   slot < 22 ? 8 : 10, palette::ink);
        if (i < c.labels.size()) {
            const double cx = left + slot * i + slot / 2;
            if (turned)
                f.text(cx + labelSize / 2.0 - 1, baseY + 6,
                       fitted(c.labels[i], labelRoom, labelSize), FigureShape::Anchor::End,
                       labelSize, palette::ink, false, true);
            else
                f.text(cx, baseY + 16, c.labels[i], FigureShape::Anchor::Middle, labelSize,
                       palette::ink);
        }
    }
    f.line(left, baseY, c.width - right, baseY, palette::axis);
    return f;
}

Figure barChart(const BarChart& c) {
    Figure f;
    const int n = int(c.shares.size());
    f.width = c.width;
    f.height = 8 + c.rowHeight * n;
    f.title = c.title;
    double longest = 0;
    for (const QString& l : c.labels)
        longest = std::max<double>(longest, double(l.size()));
    const double labelW = std::clamp(longest * kGlyphWidth * 11 + 10, 40.0, c.width * 0.4);
    const double valueW = 110;
    const double barMax = c.width - labelW - valueW;
    f.line(labelW, 2, labelW, f.height - 2, palette::axis);
    for (int i = 0; i < n; ++i) {
        const double y = 4 + c.rowHeight * i;
        const double share = std::clamp(c.shares[std::size_t(i)], 0.0, 1.0);
        const QColor colour =
            std::size_t(i) < c.colours.size() ? c.colours[std::size_t(i)] : palette::bar;
        f.rect(labelW, y + 3, barMax, c.rowHeight - 6, QColor(0xf1, 0xf3, 0xf4));
        f.rect(labelW, y + 3, barMax * share, c.rowHeight - 6, colour);
        if (i < c.labels.size())
            f.text(labelW - 6, y + c.rowHeight / 2 + 4, fitted(c.labels[i], labelW - 8, 11),
                   FigureShape::Anchor::End, 11, palette::ink);
        if (i < c.valueTexts.size())
            f.text(labelW + barMax + 6, y + c.rowHeight / 2 + 4, c.valueTexts[i],
                   FigureShape::Anchor::Start, 11, palette::ink);
    }
    return f;
}

} // namespace kvz
