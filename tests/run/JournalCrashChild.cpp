// A test run without windows, through the same journal, driver, check and result code as the
// program, that can die by SIGKILL at a chosen point. The crash test starts it again and again
// until it finishes and compares the result with one of a run that was never interrupted.
//
//   journal_crash_child TEST.tst STATE_FOLDER RESULTS_FOLDER [--die-step N]
//                       [--die-write N:STAGE] [--die-result before|after] [--slow]
//
// The pupil it plays answers each question by its place in the archive, so the answers do not
// depend on the shuffled order, and goes on from wherever a resumed run stands.

#include "results/ResultArchive.h"
#include "run/Checking.h"
#include "run/JournalKeeper.h"
#include "run/RunDriver.h"
#include "test/TestArchive.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using namespace kvz;

std::atomic<int> writesLeft{-1};
std::atomic<int> dieStage{-1};

void die() {
    std::raise(SIGKILL);
}

void writeHook(JournalStore::WriteStage stage) {
    if (writesLeft.load() == 0 && int(stage) == dieStage.load())
        die();
    if (stage == JournalStore::WriteStage::Renamed && writesLeft.load() > 0)
        --writesLeft;
}

// The answer this pupil gives to archive question sourceNo; every fourth is left alone.
bool answers(int sourceNo) {
    return sourceNo % 4 != 0;
}
void giveAnswer(const TQuestionRec& q, TAnswerRec& a) {
    switch (q.kind()) {
    case 'A':
        for (int i = 0; i < kMaxChoices; ++i)
            a.chosen[std::size_t(i)] = (q.sourceNo + i) % 3 == 0;
        break;
    case 'B':
        a.text = "answer " + std::to_string(q.sourceNo);
        break;
    case 'D':
        for (int i = 0; i < q.choiceCount; ++i)
            a.slots[std::size_t(i)].number = std::uint8_t((i + q.sourceNo) % q.choiceCount + 1);
        break;
    }
    a.touched = true;
}

struct Host : RunHost {
    std::function<void()> onFinished;
    bool prompt = false;
    void saveAnswer() override {}
    void arrived() override {}
    bool promptVisible() const override { return prompt; }
    void showPrompt() override { prompt = true; }
    void hidePrompt() override { prompt = false; }
    void finished() override { onFinished(); }
    void leaveReview() override {}
};

int fail(const char* what) {
    std::fprintf(stderr, "journal_crash_child: %s\n", what);
    return 3;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return fail("usage: TEST.tst STATE_FOLDER RESULTS_FOLDER [options]");
    const QString testPath = QString::fromLocal8Bit(argv[1]);
    const JournalStore store(QString::fromLocal8Bit(argv[2]));
    const QString resultsFolder = QString::fromLocal8Bit(argv[3]);
    int dieStep = -1;
    const char* dieResult = "";
    bool slow = false;
    for (int i = 4; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--die-step") && i + 1 < argc) {
            dieStep = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--die-write") && i + 1 < argc) {
            int n = 0, stage = 0;
            std::sscanf(argv[++i], "%d:%d", &n, &stage);
            writesLeft = n;
            dieStage = stage;
        } else if (!std::strcmp(argv[i], "--die-result") && i + 1 < argc) {
            dieResult = argv[++i];
        } else if (!std::strcmp(argv[i], "--slow")) {
            slow = true;
        }
    }
    JournalStore::setWriteHookForTesting(writeHook);

    QuestionSet set;
    RunState state;
    Host host;
    RunDriver driver(set, state, host);
    JournalKeeper keeper(store);
    bool done = false;
    bool resumedFinished = false;
    host.onFinished = [&] {
        std::vector<std::string> verdicts;
        CheckSummary summary;
        CheckAnswers(set, "right", "wrong", verdicts, summary);
        ResultFacts facts{keeper.journal().examineeName,
                          keeper.journal().examineeClass,
                          state.testSubject,
                          state.testName,
                          state.startTime,
                          state.finishTime};
        const auto bytes = BuildResultArchive(facts, summary, set);
        if (!bytes)
            return;
        if (resumedFinished &&
            findStoredResult(state.resultsFolder, BuildSummaryEntry(facts, summary))) {
            keeper.end(); // stored just before the crash: not a second time
            keeper.flush();
            done = true;
            return;
        }
        if (!std::strcmp(dieResult, "before"))
            die();
        if (!writeResultFile(state.resultsFolder, *bytes, std::uint32_t(std::rand())))
            return;
        if (!std::strcmp(dieResult, "after"))
            die();
        keeper.end();
        keeper.flush();
        done = true;
    };
    driver.setChangeListener([&](RunChange change) {
        if (change == RunChange::Ticked)
            keeper.tick(set, state, driver.current());
        else if (change == RunChange::Finishing)
            keeper.finishing(set, state, driver.current());
        else
            keeper.record(set, state, driver.current());
    });

    // The results folder is the start's own, never the journal's.
    state.resultsFolder = resultsFolder;
    const UnfinishedRun waiting =
        checkUnfinishedRun(store, QFileInfo(testPath).absolutePath(), kMaxArchiveSize);
    if (waiting.verdict == UnfinishedRun::Verdict::SetAside)
        return fail(qPrintable(QStringLiteral("journal set aside: ") + waiting.reason));
    if (waiting.verdict == UnfinishedRun::Verdict::Resume) {
        QString reason;
        if (!loadResumedRun(waiting.journal, waiting.archive, set, state, &reason))
            return fail(qPrintable(reason));
        keeper.begin(waiting.journal, set, state, waiting.journal.currentItem);
        resumedFinished = waiting.journal.finished;
        if (resumedFinished)
            driver.finishResumed(waiting.journal.currentItem, waiting.journal.finishTime);
        else
            driver.resume(waiting.journal.currentItem);
    } else {
        QFile file(testPath);
        if (!file.open(QIODevice::ReadOnly))
            return fail("no test file");
        const QByteArray bytes = file.readAll();
        ArchiveReadResult read = readTestArchive(bytes, "pw");
        if (!read.archive)
            return fail("the test does not open");
        applyTestArchive(std::move(*read.archive), set, state);
        state.testName = "crash";
        state.testSubject = "journal";
        state.shuffleQuestions = true;
        startRunLogic(set, state, 4242);
        RunJournal identity;
        identity.testFile = QFileInfo(testPath).fileName();
        identity.archiveSha256 = sha256(bytes);
        identity.typedPassword = "pw";
        identity.examineeName = "Pupil";
        identity.examineeClass = "9A";
        keeper.begin(identity, set, state, 0);
        driver.start();
    }

    int step = 0;
    while (driver.running()) {
        const int c = driver.current();
        const TQuestionRec& q = set.questions[std::size_t(c)];
        TAnswerRec& a = set.answers[std::size_t(c)];
        if (answers(q.sourceNo) && !a.touched) {
            giveAnswer(q, a);
            if (++step == dieStep)
                die(); // the answer changed, its journal not yet asked for
            keeper.record(set, state, c);
        }
        driver.tick(true);
        if (slow)
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        driver.next();
        if (host.prompt)
            driver.SaveResult(); // the prompt's "Завершить"
    }
    keeper.flush();
    return done ? 0 : fail("the result was not stored");
}
