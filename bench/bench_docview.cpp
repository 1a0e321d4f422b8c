// How long the viewer takes to show a page: the first render of a piece into a 1280x960 area
// (reading the piece, decoding or converting the picture, drawing it), and a repaint of the
// same page at the same size (the cached image blitted onto the window's surface).

#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

using kvz::docview::asBytes;
using kvz::docview::PageRenderer;

const QSize kArea(1280, 960);

QByteArray emfPiece() {
    static const QByteArray piece = [] {
        const QString path =
            QStringLiteral(KVIZOR_SOURCE_DIR "/tests/fixtures/docview/drawing.emf");
        return kvz::docview::pieceFromPageFile(path).piece;
    }();
    return piece;
}

QByteArray dibPiece() {
    static const QByteArray piece = [] {
        QImage img(1600, 1200, QImage::Format_RGB32);
        QPainter p(&img);
        QLinearGradient g(0, 0, 1600, 1200);
        g.setColorAt(0, Qt::white);
        g.setColorAt(1, QColor(40, 90, 200));
        p.fillRect(img.rect(), g);
        p.setPen(Qt::black);
        for (int i = 0; i < 40; ++i)
            p.drawText(40, 40 + i * 28,
                       QStringLiteral("Строка %1 вопроса: текст, формулы, рисунки").arg(i));
        for (int i = 0; i < 100; ++i)
            p.drawEllipse(800 + (i * 37) % 700, (i * 53) % 1100, 60, 40);
        p.end();
        return kvz::docview::pieceFromImage(img, QStringLiteral("bench")).piece;
    }();
    return piece;
}

void firstRender(benchmark::State& state, QByteArray (*make)()) {
    const QByteArray piece = make();
    for (auto _ : state) {
        PageRenderer r;
        QString error;
        r.loadPiece(asBytes(piece.constData(), std::size_t(piece.size())), error);
        benchmark::DoNotOptimize(r.render(kArea).constBits());
    }
}

void repaint(benchmark::State& state, QByteArray (*make)()) {
    const QByteArray piece = make();
    PageRenderer r;
    QString error;
    r.loadPiece(asBytes(piece.constData(), std::size_t(piece.size())), error);
    r.render(kArea);
    QImage window(kArea, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&window);
        p.drawImage(0, 0, r.render(kArea));
        p.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}

BENCHMARK_CAPTURE(firstRender, emf_633_records, emfPiece)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(repaint, emf_633_records, emfPiece)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(firstRender, dib_1600x1200, dibPiece)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(repaint, dib_1600x1200, dibPiece)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
