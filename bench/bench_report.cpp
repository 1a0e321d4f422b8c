// The teacher's report of a big folder: 10,000 results of a 50-question test (ten classes of a
// thousand, shuffled tests) read once each, analysed and written as the HTML page. Target: under
// 2 s in all; the reading dominates. The PDF of the same folder is timed apart. Prints figures
// only.

#include "results/ItemAnalysis.h"
#include "results/ReportHtml.h"
#include "results/ReportPdf.h"
#include "results/ResultArchive.h"
#include "results/ResultFolder.h"
#include "run/Checking.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kResults = 10000;
constexpr int kQuestions = 50;

// A folder of results written by the program's own writer, made once for every benchmark.
class Folder {
public:
    static Folder& get() {
        static Folder f;
        return f;
    }
    QString path() const { return dir_.filePath(QStringLiteral("Results")); }

private:
    Folder() {
        kvz::RunRandom random(7);
        for (int p = 0; p < kResults; ++p) {
            kvz::QuestionSet set;
            for (int k = 0; k < kQuestions; ++k) {
                kvz::TQuestionRec q;
                q.kindText = std::string(1, "AABD"[k % 4]);
                q.topic = "\xD2\xE5\xEC\xE0 " + std::to_string(k % 7); // "Тема n"
                q.difficulty = std::uint8_t(10 + k % 5 * 10);
                q.sourceNo = k + 1;
                q.timeSpentMs = 1000 * random.next(120);
                q.choiceCount = q.kind() == 'D' ? 4 : 5;
                q.rightChoice = {k % 2 == 0, true, false, false, false};
                q.rightText = "\xEC\xE8\xF0"; // "мир"
                for (int i = 0; i < 4; ++i)
                    q.rightSlots[std::size_t(i)].number = std::uint8_t(i + 1);
                set.questions.push_back(q);
            }
            // Shuffled as a run would shuffle them.
            for (int k = kQuestions - 1; k > 0; --k)
                std::swap(set.questions[std::size_t(k)],
                          set.questions[std::size_t(random.next(k + 1))]);
            set.labels = kvz::makeLabels(set.questions);
            kvz::resetAnswers(set);
            const int ability = random.next(100);
            for (int k = 0; k < kQuestions; ++k) {
                kvz::TAnswerRec& a = set.answers[std::size_t(k)];
                const kvz::TQuestionRec& q = set.questions[std::size_t(k)];
                const bool right = random.next(100) < ability;
                a.touched = random.next(10) > 0;
                if (q.kind() == 'A')
                    a.chosen = right ? q.rightChoice
                                     : std::array<bool, kvz::kMaxChoices>{
                                           false, false, bool(random.next(2)), true, false};
                else if (q.kind() == 'B')
                    a.text = right ? q.rightText : std::string(1, char(0xE0 + random.next(8)));
                else
                    for (int i = 0; i < 4; ++i)
                        a.slots[std::size_t(i)].number =
                            std::uint8_t(right ? i + 1 : (i + random.next(2)) % 4 + 1);
            }
            std::vector<std::string> verdicts;
            kvz::CheckSummary summary;
            kvz::CheckAnswers(set, "R", "W", verdicts, summary);
            const kvz::ResultFacts facts{"\xC8\xE2\xE0\xED\xEE\xE2 " + std::to_string(p),
                                         std::to_string(5 + p % 10) + "\xC0",
                                         "\xD4\xE8\xE7\xE8\xEA\xE0",
                                         "final",
                                         46000.4,
                                         46000.4 + random.next(2400) / 86400.0};
            const auto archive = kvz::BuildResultArchive(facts, summary, set);
            kvz::writeResultFile(path(), *archive, std::uint32_t(p * 7919 + 1));
        }
    }
    QTemporaryDir dir_;
};

void ReadAnalyseAndWriteHtml(benchmark::State& state) {
    const QString folder = Folder::get().path();
    std::int64_t htmlBytes = 0;
    for (auto _ : state) {
        const kvz::ResultFolder read = kvz::readResultFolder(folder);
        if (read.records.size() != std::size_t(kResults))
            state.SkipWithError("not every result was read");
        const auto tests = kvz::analyseResults(read.records);
        kvz::ReportSource source;
        source.folder = folder;
        source.resultCount = int(read.records.size());
        htmlBytes = kvz::reportHtml(tests, source).toUtf8().size();
    }
    state.counters["html_MB"] = double(htmlBytes) / 1e6;
}
BENCHMARK(ReadAnalyseAndWriteHtml)->Unit(benchmark::kMillisecond)->Iterations(3);

void ReadOnly(benchmark::State& state) {
    const QString folder = Folder::get().path();
    for (auto _ : state)
        benchmark::DoNotOptimize(kvz::readResultFolder(folder));
}
BENCHMARK(ReadOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void AnalyseOnly(benchmark::State& state) {
    const kvz::ResultFolder read = kvz::readResultFolder(Folder::get().path());
    for (auto _ : state)
        benchmark::DoNotOptimize(kvz::analyseResults(read.records));
}
BENCHMARK(AnalyseOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void WritePdf(benchmark::State& state) {
    const kvz::ResultFolder read = kvz::readResultFolder(Folder::get().path());
    const auto tests = kvz::analyseResults(read.records);
    QTemporaryDir out;
    int pages = 0;
    for (auto _ : state) {
        QString error;
        pages = kvz::writeReportPdf(tests, {}, out.filePath(QStringLiteral("r.pdf")), &error);
        if (pages == 0)
            state.SkipWithError("no PDF");
    }
    state.counters["pages"] = pages;
}
BENCHMARK(WritePdf)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the PDF
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
