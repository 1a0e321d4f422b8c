// Writing the run journal of a full test: 254 questions, every answer touched, typed answers of
// a few dozen characters. Measures taking the run into a journal, encoding it, and the whole
// atomic write to disk (new file, fsync, rename, fsync of the folder) in a scratch folder.
// The encode is what the program does on its own thread; the disk part runs on the writer's.

#include "run/JournalStore.h"
#include "run/RunJournal.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

kvz::QuestionSet fullTest() {
    kvz::QuestionSet set;
    for (int no = 1; no <= kvz::kMaxQuestions; ++no) {
        kvz::TQuestionRec q;
        q.kindText = no <= 100 ? "A" : no <= 200 ? "B" : "D";
        q.sourceNo = no;
        q.choiceCount = q.kindText == "D" ? 10 : 5;
        q.timeLeftMs = 45000;
        q.timeSpentMs = 15000;
        set.questions.push_back(q);
    }
    set.labels = kvz::makeLabels(set.questions);
    set.answers.resize(set.questions.size());
    for (kvz::TAnswerRec& a : set.answers) {
        a.chosen = {true, false, true, false, true};
        a.text = std::string(40, '\xe0');
        a.touched = true;
        for (int i = 0; i < kvz::kMaxSlots; ++i)
            a.slots[std::size_t(i)].number = std::uint8_t(kvz::kMaxSlots - i);
    }
    return set;
}

const QByteArray& benchKey() {
    static const QByteArray key(qsizetype(kvz::kJournalKeySize), '\x5a');
    return key;
}

kvz::RunJournal journalOf(const kvz::QuestionSet& set) {
    kvz::RunJournal j;
    j.testFile = QStringLiteral("a rather long test name.tst");
    j.archiveSha256 = kvz::sha256("x");
    j.examineeName = "\xc8\xe2\xe0\xed\xee\xe2 \xc8\xe2\xe0\xed";
    kvz::RunState state;
    kvz::captureRun(j, set, state, 17);
    return j;
}

void CaptureAndEncode(benchmark::State& s) {
    const kvz::QuestionSet set = fullTest();
    kvz::RunJournal j = journalOf(set);
    kvz::RunState state;
    for (auto _ : s) {
        kvz::captureRun(j, set, state, 17);
        ++j.sequence;
        benchmark::DoNotOptimize(kvz::encodeJournal(j, benchKey()));
    }
    s.counters["bytes"] = double(kvz::encodeJournal(j, benchKey()).size());
}
BENCHMARK(CaptureAndEncode)->Unit(benchmark::kMicrosecond);

void AtomicWrite(benchmark::State& s) {
    QTemporaryDir dir;
    const kvz::JournalStore store(dir.path());
    const QByteArray bytes = kvz::encodeJournal(journalOf(fullTest()), benchKey());
    for (auto _ : s)
        benchmark::DoNotOptimize(store.write(bytes));
}
BENCHMARK(AtomicWrite)->Unit(benchmark::kMillisecond);

void Decode(benchmark::State& s) {
    const QByteArray bytes = kvz::encodeJournal(journalOf(fullTest()), benchKey());
    for (auto _ : s)
        benchmark::DoNotOptimize(kvz::decodeJournal(bytes, benchKey()));
}
BENCHMARK(Decode)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
