// Storing a result of 254 questions: checking, building the two entries, deflating and
// encrypting them, writing the archive into a folder, flushing it and its folder to disk.
// Target: under 50 ms on a local disk. Prints figures only.

#include "results/ResultArchive.h"
#include "run/Checking.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

kvz::QuestionSet fullTest() {
    kvz::QuestionSet set;
    for (int k = 0; k < kvz::kMaxQuestions; ++k) {
        kvz::TQuestionRec q;
        q.kindText = std::string(1, "ABD"[k % 3]);
        q.topic = "\xD2\xE5\xEC\xE0 " + std::to_string(k % 17); // "Тема n"
        q.difficulty = std::uint8_t(k % 100);
        q.sourceNo = k + 1;
        q.timeSpentMs = 1000 * k;
        q.choiceCount = q.kind() == 'D' ? 10 : 5;
        q.rightChoice = {k % 2 == 0, true, false, false, k % 5 == 0};
        q.rightText = std::string(40, char(0xE0 + k % 32));
        for (int i = 0; i < kvz::kMaxSlots; ++i)
            q.rightSlots[std::size_t(i)].number = std::uint8_t(kvz::kMaxSlots - i);
        set.questions.push_back(q);
    }
    set.labels = kvz::makeLabels(set.questions);
    kvz::resetAnswers(set);
    for (int k = 0; k < kvz::kMaxQuestions; k += 2) {
        set.answers[std::size_t(k)].text = std::string(40, char(0xE0 + k % 32));
        set.answers[std::size_t(k)].touched = true;
    }
    return set;
}

void StoreFullResult(benchmark::State& state) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Results"));
    kvz::QuestionSet set = fullTest();
    kvz::ResultFacts facts{"\xC8\xE2\xE0\xED\xEE\xE2 \xC8\xE2\xE0\xED",
                           "11\xC1",
                           "\xD4\xE8\xE7\xE8\xEA\xE0",
                           "final",
                           46000.4,
                           46000.5};
    std::uint32_t seed = 1;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::string> verdicts;
        kvz::CheckSummary summary;
        kvz::CheckAnswers(set, "R", "W", verdicts, summary);
        const auto archive = kvz::BuildResultArchive(facts, summary, set);
        const auto path = kvz::writeResultFile(folder, *archive, seed++);
        if (!path)
            state.SkipWithError("the result could not be written");
        bytes = archive->size();
    }
    state.counters["archive_bytes"] = double(bytes);
}
BENCHMARK(StoreFullResult)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
