// The test editor on a full-size test: 254 questions with ~200 KB picture pages (about 50 MB).
// Opening the file until its first page is on screen (goal: under a second), and switching
// between questions with the page repainted (goal: under 16 ms each). Prints figures only.
//
//   bench_editor [FILE.tst]     a test of your own, or a generated one

#include "TEditor.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "test/EditableTest.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Pages of noise: nothing for deflate to gain, so the archive is as large as its pages.
QString makeTest(const QString& folder) {
    kvz::EditableTest t = kvz::EditableTest::makeNew();
    std::mt19937 random(7);
    t.archive.questions.clear();
    for (int k = 0; k < kvz::kMaxQuestions; ++k) {
        QImage image(300, 230, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = 0xff000000u | (random() & 0xffffffu);
        }
        const int at = t.addQuestion("ABD"[k % 3], k);
        t.archive.questions[std::size_t(at)].body =
            kvz::docview::pieceFromImage(image, QStringLiteral("noise")).piece;
        // Assigned from a string object: GCC 12 at -O2 sees a false overlap in assigning the
        // literal (-Wrestrict).
        if (t.archive.questions[std::size_t(at)].kind() == 'B')
            t.archive.questions[std::size_t(at)].rightText = std::string(1, 'x');
    }
    const QString path = folder + QStringLiteral("/big.tst");
    QString why;
    if (!t.save(path, &why)) {
        std::fprintf(stderr, "cannot make the test: %s\n", why.toUtf8().constData());
        return {};
    }
    return path;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : makeTest(dir.path());
    if (path.isEmpty())
        return 1;
    std::printf("test: %s, %.1f MB\n", path.toUtf8().constData(),
                QFileInfo(path).size() / 1048576.0);

    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        kvz::editor::TEditor editor(QCoreApplication::applicationDirPath());
        editor.resize(1280, 1024);
        editor.show();
        if (!editor.OpenFile(path))
            return 1;
        editor.SelectQuestion(0);
        editor.Page->repaint();
        std::printf("open and show the first page: %.1f ms\n", msSince(start));

        std::vector<double> switches;
        const int n = int(editor.test().archive.questions.size());
        for (int k = 1; k < n; ++k) {
            const auto t = Clock::now();
            editor.SelectQuestion(k);
            editor.Page->repaint();
            switches.push_back(msSince(t));
        }
        std::sort(switches.begin(), switches.end());
        double sum = 0;
        for (double s : switches)
            sum += s;
        if (!switches.empty())
            std::printf("question switch over %zu: mean %.2f ms, median %.2f ms, 95%% %.2f ms, "
                        "max %.2f ms\n",
                        switches.size(), sum / double(switches.size()),
                        switches[switches.size() / 2], switches[switches.size() * 95 / 100],
                        switches.back());
    }
    return 0;
}
