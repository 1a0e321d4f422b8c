#include "results/ScorePie.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace kvz {

namespace {

// Nearest integer, halves to the even neighbour.
int roundEven(double v) {
    return int(std::nearbyint(v));
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// The point of the top face at angle a (0° right, 90° down).
QPoint facePoint(double a) {
    return {80 + roundEven(80 * std::cos(radians(a))),
            40 + roundEven(80 * std::sin(radians(a)) / 2)};
}

} // namespace

void floodFill(QImage& image, QPoint start, QRgb colour) {
    if (!image.rect().contains(start))
        return;
    const QRgb target = image.pixel(start);
    if (target == colour)
        return;
    std::vector<QPoint> stack{start};
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        if (!image.rect().contains(p) || image.pixel(p) != target)
            continue;
        image.setPixel(p, colour);
        stack.push_back({p.x() + 1, p.y()});
        stack.push_back({p.x() - 1, p.y()});
        stack.push_back({p.x(), p.y() + 1});
        stack.push_back({p.x(), p.y() - 1});
    }
}

QImage drawScorePie(double score) {
    score = std::isnan(score) ? 0 : std::clamp(score, 0.0, 100.0);
    QImage image(kPieWidth, kPieHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QColor green(0, 255, 0), red(255, 0, 0);

    const bool big = score > 50;
    const double e = big ? 100 - score : score; // the smaller share
    const int half = roundEven(e / 100 * 360 / 2);
    const double a1 = 90 - half, a2 = 90 + half;
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        if (e > 0) {
            p.setPen(green);
            p.drawLine(QPoint(80, 40), facePoint(a1));
            p.drawLine(QPoint(80, 40), facePoint(a2));
        }
        // The side, one column at a time, shaded by its height.
        const int frontFrom = roundEven(80 * std::cos(radians(a2))) + 80;
        const int frontTo = roundEven(80 * std::cos(radians(a1))) + 80;
        for (int x = -80; x <= 80; ++x) {
            const int h = roundEven(std::sqrt(double(80 * 80 - x * x)) * 0.5);
            const QColor redShade(3 * h + 135, h, h), greenShade(h, 3 * h + 135, h);
            const bool front = e == 50 || (frontFrom < x + 80 && x + 80 <= frontTo);
            p.setPen(front == big ? redShade : greenShade);
            p.drawLine(x + 80, 40 + h, x + 80, 40 + h + 30);
        }
        // The back half of the top face's rim.
        p.setPen(big ? green : red);
        QPoint last(0, 40);
        for (int a = 180; a <= 360; ++a) {
            const QPoint next = facePoint(a);
            p.drawLine(last, next);
            last = next;
        }
    }
    if (e > 0)
        floodFill(image, QPoint(80, 77), (big ? QColor(255, 0, 0) : QColor(0, 255, 0)).rgb());
    floodFill(image, QPoint(80, 3), (big ? QColor(20, 255, 20) : QColor(255, 20, 20)).rgb());
    return image;
}

} // namespace kvz
