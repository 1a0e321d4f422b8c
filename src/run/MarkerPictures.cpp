#include "run/MarkerPictures.h"

#include "run/MarkerBoard.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <algorithm>

namespace kvz::markers {

namespace {

bool valid(int number) {
    return number >= kFirst && number <= kLast;
}

// The badge is drawn where the marker grid says a marker lies in its cell.
QRectF badgeRect(const QRect& rect) {
    return MarkerBoard::markerDisc(rect);
}

} // namespace

void draw(QPainter& painter, const QRect& rect, int number) {
    if (!valid(number) || rect.isEmpty())
        return;
    const QRectF badge = badgeRect(rect);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // A deep red disc with a light rim and a dark outline: readable on white pages and on
    // coloured drawings alike.
    QRadialGradient fill(badge.center() - QPointF(badge.width() * 0.18, badge.height() * 0.18),
                         badge.width() * 0.7);
    fill.setColorAt(0.0, QColor(235, 70, 60));
    fill.setColorAt(1.0, QColor(150, 10, 10));
    const qreal outline = std::max<qreal>(1.0, badge.width() / 24.0);
    painter.setPen(QPen(QColor(60, 0, 0), outline));
    painter.setBrush(fill);
    painter.drawEllipse(badge);
    const qreal rim = outline * 1.5;
    painter.setPen(QPen(QColor(255, 235, 200), rim));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(badge.adjusted(rim * 1.3, rim * 1.3, -rim * 1.3, -rim * 1.3));

    // The number, as large as the disc allows; "10" is narrower per digit.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::max(1, int(badge.height() * (number >= 10 ? 0.46 : 0.58))));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, QString::number(number));
    painter.restore();
}

QImage picture(int number, QSize size) {
    if (!valid(number) || size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter, image.rect(), number);
    return image;
}

QBitmap mask(QSize size) {
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_Mono);
    image.fill(Qt::color0);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawEllipse(badgeRect(image.rect()));
    painter.end();
    return QBitmap::fromImage(image);
}

QCursor cursor(int number, QSize cellSize) {
    if (!valid(number))
        return QCursor(Qt::ArrowCursor);
    const QSize size = cellSize.isEmpty() ? QSize(kCursorSize, kCursorSize) : cellSize;
    QPixmap pixmap = QPixmap::fromImage(picture(number, size));
    return QCursor(pixmap, size.width() / 2, size.height() / 2);
}

} // namespace kvz::markers
