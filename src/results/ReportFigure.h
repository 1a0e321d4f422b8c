#pragma once

// The charts of the teacher's report as a list of plain shapes (bars, lines, texts) in a
// figure's own coordinates, so that one drawing goes into the HTML as inline SVG and onto a PDF
// page through QPainter: both files carry the same figures.

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QPainter;

namespace kvz {

struct FigureShape {
    enum class Type { Rect, Line, Text };
    enum class Anchor { Start, Middle, End };
    Type type = Type::Rect;
    // Rect: the box. Line: from (x, y) to (x + w, y + h). Text: the baseline point (x, y).
    double x = 0, y = 0, w = 0, h = 0;
    QColor colour;
    QString text;
    Anchor anchor = Anchor::Start;
    int size = 11; // text height in figure units
    bool bold = false;
    bool vertical = false; // text read from bottom to top
};

struct Figure {
    double width = 0;
    double height = 0;
    QString title; // what the figure shows, in words (a tooltip, and for screen readers)
    std::vector<FigureShape> shapes;

    void rect(double x, double y, double w, double h, const QColor& c);
    void line(double x1, double y1, double x2, double y2, const QColor& c);
    void text(double x, double y, const QString& t,
              FigureShape::Anchor a = FigureShape::Anchor::Start, int size = 11,
              const QColor& c = QColor(0x22, 0x22, 0x22), bool bold = false, bool vertical = false);
};

// The text escaped for XML text and attribute values alike (&, <, >, "); control characters,
// which XML does not allow, become blanks.
QString xmlEscaped(const QString& text);

// The figure as one <svg> element, well-formed XML, sized in CSS pixels and scaling with its
// box.
QString figureSvg(const Figure& figure);
// The figure drawn into target on any paint device (a PDF page, an image).
void paintFigure(QPainter& painter, const Figure& figure, const QRectF& target);

namespace palette {
inline const QColor bar{0x4a, 0x7a, 0xb5};
inline const QColor right{0x2e, 0x8b, 0x57};
inline const QColor warn{0xc8, 0x55, 0x3d};
inline const QColor muted{0x9a, 0xa0, 0xa6};
inline const QColor axis{0x55, 0x55, 0x55};
inline const QColor grid{0xdd, 0xdd, 0xdd};
inline const QColor ink{0x22, 0x22, 0x22};
} // namespace palette

// Columns standing on a common axis from 0 to the largest value (or maxValue when given), a
// count or a percentage above each, its label below.
struct ColumnChart {
    QString title;
    QStringList labels;
    std::vector<double> values;
    QStringList valueTexts;      // written above the columns
    std::vector<QColor> colours; // one per column, or empty for the plain colour
    std::optional<double> maxValue;
    QString axisTitle;  // beside the value axis
    bool counts = true; // whole numbers: the axis never steps by less than one
    double width = 640;
    double height = 240;
};
Figure columnChart(const ColumnChart& chart);

// Bars from the left, one per row, each with its label before and its value text after it;
// values are shares 0..1 of the full bar.
struct BarChart {
    QString title;
    QStringList labels;
    std::vector<double> shares;
    QStringList valueTexts;
    std::vector<QColor> colours;
    double width = 640;
    double rowHeight = 22;
};
Figure barChart(const BarChart& chart);

} // namespace kvz
