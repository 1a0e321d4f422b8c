// The run window's two steady costs: moving to another question (store the answer, switch the
// answer row, draw the new 1280x960 page) and one tick of the one-second clock with 254
// questions in the list (the driver alone, and with the window's clocks and list repainted).

#include "app/KvizorApp.h"
#include "platform/docview/DocumentView.h"
#include "platform/docview/PieceWriter.h"
#include "run/RunDriver.h"
#include "run/TTopros.h"
#include "shell/Clock.h"

#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

using namespace kvz;

constexpr int kQuestions = 254;

QByteArray emfPiece() {
    static const QByteArray piece = [] {
        const QString path =
            QStringLiteral(KVIZOR_SOURCE_DIR "/tests/fixtures/docview/drawing.emf");
        return docview::pieceFromPageFile(path).piece;
    }();
    return piece;
}

// 254 questions, the three kinds in turn, every page the same EMF drawing.
std::vector<TQuestionRec> questions() {
    std::vector<TQuestionRec> qs;
    for (int i = 0; i < kQuestions; ++i) {
        TQuestionRec q;
        q.kindText = i % 3 == 0 ? "A" : i % 3 == 1 ? "B" : "D";
        q.choiceCount = q.kindText == "D" ? 6 : 4;
        q.multiChoice = i % 2 == 0;
        q.body = emfPiece();
        for (int s = 0; s < q.choiceCount && q.kindText == "D"; ++s)
            q.rightSlots[std::size_t(s)] = {2, std::uint8_t(2 + 2 * s), std::uint8_t(s + 1)};
        qs.push_back(q);
    }
    return qs;
}

struct Window {
    QTemporaryDir folder;
    KvizorApp app{QStringList{}, folder.path()};
    Window() {
        app.createWindows();
        TTopros& run = app.topros();
        QuestionSet& set = run.questionSet;
        set.questions = questions();
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

Window& window() {
    static Window w;
    return w;
}

void BM_NextQuestion(benchmark::State& state) {
    TTopros& run = window().app.topros();
    bool forth = true;
    for (auto _ : state) {
        // Over the first three questions and back, A B D B A ...: each step stores the answer,
        // switches the answer row and draws the page.
        if (run.currentItem() == 0)
            forth = true;
        else if (run.currentItem() == 2)
            forth = false;
        if (forth)
            run.Next1Click();
        else
            run.Prior1Click();
        run.Quest->repaint();
    }
}
BENCHMARK(BM_NextQuestion)->Unit(benchmark::kMillisecond);

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
    set.questions = questions();
    set.labels = makeLabels(set.questions);
    set.questionTimerOn = set.testTimerOn = true;
    RunState rs;
    NullHost host;
    RunDriver driver(set, rs, host);
    for (auto _ : state) {
        state.PauseTiming();
        for (TQuestionRec& q : set.questions)
            q.timeLeftMs = 3600000;
        set.testTimeMs = set.testTimeLeftMs = 5 * 3600000;
        driver.start();
        state.ResumeTiming();
        driver.tick(true);
    }
}
BENCHMARK(BM_TickDriver)->Unit(benchmark::kMicrosecond);

void BM_TickWindow(benchmark::State& state) {
    TTopros& run = window().app.topros();
    // Each wake-up is a whole second later, so each moves the clocks.
    std::int64_t now = clock::monotonicMs();
    clock::setMonotonicForTesting([&now] { return now; });
    for (auto _ : state) {
        now += 1000;
        run.Timer1Timer();
        run.Stests->viewport()->repaint();
    }
    clock::setMonotonicForTesting({});
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
    return 0;
}
