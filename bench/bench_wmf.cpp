// Figures for playing metafiles: the LibreOffice fixtures at screen size, and a picture made of
// many small records (per-record overhead).

#include "platform/docview/WmfPlayer.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>

namespace {

std::vector<std::uint8_t> fixture(const char* name) {
    QFile file(QStringLiteral(KVIZOR_SOURCE_DIR "/tests/fixtures/wmf/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

void put16(std::vector<std::uint8_t>& b, int v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

// A placeable metafile of n rectangles, each with its own brush created, selected and deleted.
std::vector<std::uint8_t> manyRecords(int n) {
    std::vector<std::uint8_t> r;
    const auto rec = [&](int function, std::initializer_list<int> words) {
        put16(r, 3 + int(words.size()));
        put16(r, 0);
        put16(r, function);
        for (int w : words)
            put16(r, w);
    };
    for (int i = 0; i < n; ++i) {
        rec(0x02FC, {0, (i * 37) & 0xFFFF, 0x80, 0});
        rec(0x012D, {0});
        rec(0x041B,
            {(i % 100) * 10 + 20, (i / 100 % 100) * 10 + 20, (i % 100) * 10, (i / 100 % 100) * 10});
        rec(0x01F0, {0});
    }
    rec(0, {});
    std::vector<std::uint8_t> out;
    for (int v : {0xCDD7, 0x9AC6, 0, 0, 0, 1000, 1000, 1440, 0, 0, 0})
        put16(out, v);
    for (int v :
         {1, 9, 0x0300, int(r.size() / 2 + 9) & 0xFFFF, int(r.size() / 2 + 9) >> 16, 1, 0, 0, 0})
        put16(out, v);
    out.insert(out.end(), r.begin(), r.end());
    return out;
}

void play(benchmark::State& state, const std::vector<std::uint8_t>& bytes, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        benchmark::DoNotOptimize(kvz::wmf::play(bytes, painter, QRectF(QPointF(), QSizeF(size))));
    }
}

void BM_QuestionFixture(benchmark::State& state) {
    play(state, fixture("question.wmf"), QSize(1200, 750));
}
void BM_AnswersFixture(benchmark::State& state) {
    play(state, fixture("answers.wmf"), QSize(1200, 750));
}
void BM_TenThousandRectangles(benchmark::State& state) {
    play(state, manyRecords(10000), QSize(800, 800));
}

BENCHMARK(BM_QuestionFixture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnswersFixture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenThousandRectangles)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Text needs fonts, fonts need a GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
