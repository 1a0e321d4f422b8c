// The run window's two steady costs: moving to another question (store the answer, switch the
// answer row, paint the new 1280x960 page into an image, so the page is really drawn even on
// the offscreen platform) and one tick of the one-second clock on a run that is still going,
// with 254 questions in the list (the driver alone, and with the window's clocks and list
// repainted).

#include "app/KvizorApp.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "run/RunDriver.h"
#include "run/TTopros.h"
#include "shell/Clock.h"

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace kvz;

constexpr int kQuestions = 254;

enum class Page { Emf, Wmf, Dib };

QByteArray fixturePiece(const char* name) {
    return docview::pieceFromPageFile(QStringLiteral(KVIZOR_SOURCE_DIR "/tests/fixtures/docview/") +
                                      QLatin1String(name))
        .piece;
}

// A scanned page: 1280x960 of soft noise, stored as a DIB.
QByteArray dibPiece() {
    QImage img(1280, 960, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int v = 160 + int(rng.bounded(64));
            line[x] = qRgb(v, v, (x + y) & 0xFF);
        }
    }
    return docview::pieceFromImage(img, QStringLiteral("scan")).piece;
}

QByteArray piece(Page page) {
    static const QByteArray emf = fixturePiece("drawing.emf");
    static const QByteArray wmf = fixturePiece("drawing.wmf");
    static const QByteArray dib = dibPiece();
    return page == Page::Emf ? emf : page == Page::Wmf ? wmf : dib;
}

// 254 questions, the three kinds in turn, every page of one kind.
std::vector<TQuestionRec> questions(Page page) {
    std::vector<TQuestionRec> qs;
    for (int i = 0; i < kQuestions; ++i) {
        TQuestionRec q;
        q.kindText.assign(1, "ABD"[i % 3]);
        q.choiceCount = q.kindText == "D" ? 6 : 4;
        q.multiChoice = i % 2 == 0;
        q.body = piece(page);
        for (int s = 0; s < q.choiceCount && q.kindText == "D"; ++s)
            q.rightSlots[std::size_t(s)] = {2, std::uint8_t(2 + 2 * s), std::uint8_t(s + 1)};
        qs.push_back(q);
    }
    return qs;
}

constexpr std::int32_t kLongMs = 23 * 3600 * 1000;

// Gives every clock its full time again, so the run being timed is still going.
void refill(QuestionSet& set) {
    for (TQuestionRec& q : set.questions)
        q.timeLeftMs = kLongMs;
    set.testTimeLeftMs = kLongMs;
}

struct Window {
    QTemporaryDir folder;
    KvizorApp app{QStringList{}, folder.path()};
    explicit Window(Page page) {
        app.createWindows();
        TTopros& run = app.topros();
        QuestionSet& set = run.questionSet;
        set.questions = questions(page);
        set.labels = makeLabels(set.questions);
        set.questionTimerOn = set.testTimerOn = true;
        set.questionTime = 23 * 3600.0 / 86400;
        set.testTime = 23 * 3600.0 / 86400;
        computeTimeBudgets(set, false);
        for (const std::string& l : set.labels)
            run.Stests->addItem(QString::fromLatin1(l));
        run.StartRun();
        run.Timer1.stop(); // ticked by the benchmark only
        run.Quest->setFixedSize(1280, 960);
    }
};

// Made in main, gone before the application object: windows outliving it crash at exit.
std::unique_ptr<Window> gWindow;
Page gPage = Page::Emf;

Window& window(Page page) {
    if (!gWindow || gPage != page) {
        gWindow.reset();
        gWindow = std::make_unique<Window>(page);
        gPage = page;
    }
    return *gWindow;
}

// One step to the next question, through all 254 and round again; each step stores the answer,
// switches the answer row and paints the page at 1280x960 into an image.
void BM_NextQuestion(benchmark::State& state) {
    TTopros& run = window(Page(state.range(0))).app.topros();
    QImage target(run.Quest->size(), QImage::Format_ARGB32_Premultiplied);
    int steps = 0;
    for (auto _ : state) {
        if (run.currentItem() == kQuestions - 1) {
            state.PauseTiming();
            while (run.currentItem() > 0)
                run.Prior1Click();
            state.ResumeTiming();
        }
        run.Next1Click();
        run.Quest->render(&target);
        ++steps;
    }
    benchmark::DoNotOptimize(target.constBits());
    state.counters["questions"] = kQuestions;
}
BENCHMARK(BM_NextQuestion)
    ->Arg(int(Page::Emf))
    ->Arg(int(Page::Wmf))
    ->Arg(int(Page::Dib))
    ->ArgName("page(0=EMF,1=WMF,2=DIB)")
    ->Iterations(kQuestions) // one pass over every question
    ->Unit(benchmark::kMillisecond);

struct NullHost : RunHost {
    void saveAnswer() override {}
    void arrived() override {}
    bool promptVisible() const override { return false; }
    void showPrompt() override {}
    void hidePrompt() override {}
    void finished() override {}
    void leaveReview() override {}
};

void BM_TickDriver(benchmark::State& state) {
    QuestionSet set;
    set.questions = questions(Page::Emf);
    set.labels = makeLabels(set.questions);
    set.questionTimerOn = set.testTimerOn = true;
    set.testTimeMs = kLongMs;
    refill(set);
    RunState rs;
    NullHost host;
    RunDriver driver(set, rs, host);
    driver.start();
    std::int64_t n = 0;
    for (auto _ : state) {
        // A tick takes one second off; refilled long before any clock runs out.
        if (++n % 1000 == 0)
            refill(set);
        driver.tick(true);
    }
    if (!driver.running())
        state.SkipWithError("the run ended while it was being timed");
}
BENCHMARK(BM_TickDriver)->Unit(benchmark::kMicrosecond);

void BM_TickWindow(benchmark::State& state) {
    TTopros& run = window(Page::Emf).app.topros();
    // Each wake-up is a whole second later, so each moves the clocks.
    std::int64_t now = clock::monotonicMs();
    clock::setMonotonicForTesting([&now] { return now; });
    std::int64_t n = 0;
    for (auto _ : state) {
        // Refilled long before any clock runs out, so the run stays live.
        if (++n % 1000 == 0)
            refill(run.questionSet);
        now += 1000;
        run.Timer1Timer();
        run.Stests->viewport()->repaint();
    }
    clock::setMonotonicForTesting({});
    if (!run.driver().running())
        state.SkipWithError("the run ended while it was being timed");
}
BENCHMARK(BM_TickWindow)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gWindow.reset();
    return 0;
}
