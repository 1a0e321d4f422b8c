#include "run/RunJournal.h"
#include "run/JournalStore.h"
#include "shell/Clock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace kvz {
namespace {

// Any 32 bytes sign as well as the user's key; the store tests use the store's own.
const QByteArray& testKey() {
    static const QByteArray key(qsizetype(kJournalKeySize), '\x42');
    return key;
}

// a, b, d questions of each kind in archive order, with a per-question clock of 60 s.
QuestionSet makeSet(int a, int b, int d) {
    QuestionSet set;
    int no = 0;
    for (auto [kind, count] : {std::pair{"A", a}, {"B", b}, {"D", d}})
        for (int i = 0; i < count; ++i) {
            TQuestionRec q;
            q.kindText = kind;
            q.sourceNo = ++no;
            q.body = QByteArray::number(no);
            q.choiceCount = kind[0] == 'D' ? 4 : 3;
            for (int s = 0; s < kMaxSlots; ++s)
                q.rightSlots[std::size_t(s)] = {std::uint8_t(s + 1), std::uint8_t(2 * s), 0};
            set.questions.push_back(q);
        }
    set.labels = makeLabels(set.questions);
    set.questionTime = 60.0 / 86400;
    set.testTime = 600.0 / 86400;
    set.questionTimerOn = set.testTimerOn = true;
    computeTimeBudgets(set, false);
    set.answers.assign(set.questions.size(), TAnswerRec{});
    resetAnswers(set);
    return set;
}

// A run part way: shuffled, some answers given, clocks moved.
struct PartRun {
    QuestionSet set = makeSet(4, 2, 3);
    RunState state;
    PartRun() {
        state.shuffleQuestions = true;
        state.testName = "\xc8\xf1\xf2\xee\xf0\xe8\xff"; // "История" in Windows-1251
        state.testSubject = "history";
        clock::setNowForTesting([] { return 46000.25; });
        startRunLogic(set, state, 7);
        clock::setNowForTesting({});
        set.answers[1].chosen = {true, false, true, false, false};
        set.answers[1].touched = true;
        set.answers[4].text = "\xe3\xee\xf0\xee\xe4"; // typed Cyrillic
        set.answers[4].touched = true;
        std::swap(set.answers[7].slots[0].number, set.answers[7].slots[2].number);
        set.questions[1].timeLeftMs = 7000;
        set.questions[1].timeSpentMs = 53000;
        set.questions[4].timeLeftMs = 500; // closed
        set.questions[4].timeSpentMs = 60000;
        set.testTimeLeftMs = 480000;
    }
    RunJournal journal(int current = 4) const {
        RunJournal j;
        j.testFile = QStringLiteral("history.tst");
        j.archiveSha256 = sha256("archive bytes");
        j.typedPassword = "secret";
        j.examineeName = "\xc8\xe2\xe0\xed\xee\xe2"; // "Иванов"
        j.examineeClass = "9\xc1";
        captureRun(j, set, state, current);
        return j;
    }
};

RunJournal serverJournal() {
    RunJournal j = PartRun().journal();
    j.mode = JournalMode::Server;
    j.testFile.clear();
    j.serverHost = QStringLiteral("192.168.0.1");
    j.serverPort = 32743;
    j.offerFile = "history";
    j.offerClass = "9";
    j.offerSubject = "\xc8\xf1\xf2\xee\xf0\xe8\xff";
    j.offerSize = 123456;
    j.typedPassword.clear();
    j.finished = true;
    j.finishTime = 46000.3;
    j.sequence = 99;
    return j;
}

TEST(RunJournalTest, RoundTripsEveryField) {
    RunJournal longest = PartRun().journal();
    longest.items.resize(kMaxQuestions, longest.items.front());
    longest.items.back().answer.text = std::string(kMaxJournalText, 'x');
    RunJournal profile = PartRun().journal(0);
    profile.mode = JournalMode::Profile;
    profile.testFile = QStringLiteral("экзамен 9 класс.tst");
    profile.runNumber = 0x0123456789abcdefULL;
    profile.rules = {true, true, true, false, true, false, true, false, true, 0.25, 1.0 / 1440};
    for (const RunJournal& j : {PartRun().journal(), serverJournal(), longest, profile}) {
        const QByteArray bytes = encodeJournal(j, testKey());
        const JournalReadResult read = decodeJournal(bytes, testKey());
        ASSERT_TRUE(read.journal) << journalErrorText(read.error);
        EXPECT_EQ(*read.journal, j);
    }
}

TEST(RunJournalTest, PasswordIsNotStoredAsPlainText) {
    RunJournal j = PartRun().journal();
    j.typedPassword = "qwerty-secret";
    EXPECT_FALSE(encodeJournal(j, testKey()).contains("qwerty-secret"));
}

TEST(RunJournalTest, NamesNoPathAndNoCommand) {
    // What the profile or the settings give again never rides in the journal, and the test is
    // a name in the test folder: a journal that names anything else is refused.
    for (const char* name : {"../etc/passwd", "/dev/zero", "a/b.tst", "..", "a\\b.tst"}) {
        RunJournal j = PartRun().journal();
        j.testFile = QString::fromUtf8(name);
        const JournalReadResult read = decodeJournal(encodeJournal(j, testKey()), testKey());
        EXPECT_FALSE(read.journal) << name;
        EXPECT_EQ(read.error, JournalReadError::BadContent) << name;
    }
    RunJournal local = PartRun().journal();
    local.testFile.clear();
    EXPECT_FALSE(decodeJournal(encodeJournal(local, testKey()), testKey()).journal);
}

TEST(RunJournalTest, AnotherKeyOrNoKeyReadsNothing) {
    const QByteArray bytes = encodeJournal(PartRun().journal(), testKey());
    QByteArray other = testKey();
    other[0] = char(other[0] ^ 1);
    EXPECT_EQ(decodeJournal(bytes, other).error, JournalReadError::BadChecksum);
    EXPECT_EQ(decodeJournal(bytes, QByteArray()).error, JournalReadError::NoKey);
    // The password mask follows the key too: under another key it reads as something else.
    RunJournal j = PartRun().journal();
    const QByteArray a = encodeJournal(j, testKey());
    const QByteArray b = encodeJournal(j, other);
    EXPECT_NE(a.left(a.size() - qsizetype(kJournalMacSize)),
              b.left(b.size() - qsizetype(kJournalMacSize)));
}

TEST(RunJournalTest, EveryCutAndEveryFlippedByteIsRefused) {
    const QByteArray bytes = encodeJournal(PartRun().journal(), testKey());
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
        const JournalReadResult read = decodeJournal(bytes.left(cut), testKey());
        EXPECT_FALSE(read.journal) << "cut at " << cut;
        EXPECT_NE(read.error, JournalReadError::None);
    }
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        QByteArray damaged = bytes;
        damaged[at] = char(damaged[at] ^ 0x20);
        EXPECT_FALSE(decodeJournal(damaged, testKey()).journal) << "byte " << at;
    }
    EXPECT_FALSE(decodeJournal(bytes + "x", testKey()).journal);
}

TEST(RunJournalTest, SignedButOutOfRangeContentIsRefused) {
    // Journals the program would never write, signed as if it had: the reader still checks
    // every count and range rather than trusting its own checksum.
    struct Case {
        const char* what;
        void (*spoil)(RunJournal&);
    };
    const Case cases[] = {
        {"more items than a test holds",
         [](RunJournal& j) { j.items.resize(kMaxQuestions + 1, j.items.front()); }},
        {"no items", [](RunJournal& j) { j.items.clear(); }},
        {"current item past the end", [](RunJournal& j) { j.currentItem = int(j.items.size()); }},
        {"negative current item", [](RunJournal& j) { j.currentItem = -1; }},
        {"marker number above 10", [](RunJournal& j) { j.items[0].answer.slotNumbers[3] = 11; }},
        {"answer text over the cap",
         [](RunJournal& j) { j.items[0].answer.text.assign(kMaxJournalText + 1, 'a'); }},
        {"short archive hash", [](RunJournal& j) { j.archiveSha256.chop(1); }},
    };
    for (const Case& c : cases) {
        RunJournal j = PartRun().journal();
        c.spoil(j);
        const JournalReadResult read = decodeJournal(encodeJournal(j, testKey()), testKey());
        EXPECT_FALSE(read.journal) << c.what;
        EXPECT_EQ(read.error, JournalReadError::BadContent) << c.what;
    }
}

TEST(RunJournalTest, RestoresOrderAnswersAndClocksOntoAFreshLoad) {
    const PartRun run;
    const RunJournal journal = run.journal(4);
    bool shuffled = false;
    for (std::size_t k = 0; k < run.set.questions.size(); ++k)
        shuffled |= run.set.questions[k].sourceNo != int(k + 1);
    ASSERT_TRUE(shuffled); // else the order would come back by chance
    QuestionSet fresh = makeSet(4, 2, 3);
    RunState state;
    // Resumed an hour after the last write: the hour does not count.
    clock::setNowForTesting([] { return 46000.25 + 1.0 / 24; });
    ASSERT_TRUE(restoreRun(
        decodeJournal(encodeJournal(journal, testKey()), testKey()).journal.value(), fresh, state));
    clock::setNowForTesting({});
    ASSERT_EQ(fresh.size(), run.set.size());
    for (std::size_t k = 0; k < fresh.questions.size(); ++k) {
        SCOPED_TRACE(k);
        const TQuestionRec& q = fresh.questions[k];
        const TQuestionRec& was = run.set.questions[k];
        EXPECT_EQ(q.sourceNo, was.sourceNo);
        EXPECT_EQ(q.body, was.body);
        EXPECT_EQ(q.timeLeftMs, was.timeLeftMs);
        EXPECT_EQ(q.timeSpentMs, was.timeSpentMs);
        const TAnswerRec& a = fresh.answers[k];
        const TAnswerRec& wasA = run.set.answers[k];
        EXPECT_EQ(a.chosen, wasA.chosen);
        EXPECT_EQ(a.text, wasA.text);
        EXPECT_EQ(a.touched, wasA.touched);
        EXPECT_EQ(a.slots, wasA.slots); // the numbers, and the places copied from the question
    }
    EXPECT_EQ(fresh.labels, run.set.labels);
    EXPECT_EQ(fresh.testTimeLeftMs, 480000);
    EXPECT_EQ(fresh.testTimeMs, 600000);
    EXPECT_EQ(fresh.questionTimeMs, 60000);
    EXPECT_TRUE(fresh.hasNext);
    EXPECT_EQ(state.startTime, 46000.25); // the run's own start, not the resume
    EXPECT_EQ(state.testName, run.state.testName);
    EXPECT_TRUE(state.resultsFolder.isEmpty()) << "the start's own, never the journal's";
    EXPECT_FALSE(state.resultsShown);
}

TEST(RunJournalTest, TheRunComesBackUnderTheRulesItStartedWith) {
    // The run began after another test had set a fixed order and other times, which this test
    // does not set itself; a fresh load knows nothing of them.
    PartRun run;
    run.state.fixedOrder = true;
    run.state.answerReviewAllowed = true;
    run.state.textbookDuringTest = true;
    run.set.calculatorAllowed = true;
    run.set.testTime = 900.0 / 86400;
    run.set.questionTime = 90.0 / 86400;
    run.set.questions[2].timeLeftMs = 85000; // within the run's 90 s, not a fresh load's 60 s
    const RunJournal journal = run.journal();
    EXPECT_TRUE(journal.rules.fixedOrder);
    EXPECT_FALSE(journal.rules.lockdownOff);

    QuestionSet fresh = makeSet(4, 2, 3);
    RunState state;
    state.lockdownOff = true;
    ASSERT_TRUE(restoreRun(journal, fresh, state));
    EXPECT_TRUE(state.fixedOrder);
    EXPECT_FALSE(state.lockdownOff);
    EXPECT_TRUE(state.answerReviewAllowed);
    EXPECT_TRUE(state.textbookDuringTest);
    EXPECT_TRUE(fresh.calculatorAllowed);
    EXPECT_TRUE(fresh.testTimerOn && fresh.questionTimerOn);
    EXPECT_EQ(fresh.testTimeMs, 900000);
    EXPECT_EQ(fresh.questionTimeMs, 90000);
    EXPECT_EQ(fresh.questions[2].timeLeftMs, 85000);
    for (const TQuestionRec& q : fresh.questions)
        EXPECT_EQ(q.timeLimitMs, 90000);
}

TEST(RunJournalTest, HasNextCountsOnlyOpenQuestionsAfterTheCurrentOne) {
    PartRun run;
    for (std::size_t k = 6; k < run.set.questions.size(); ++k)
        run.set.questions[k].timeLeftMs = 0;
    QuestionSet fresh = makeSet(4, 2, 3);
    RunState state;
    ASSERT_TRUE(restoreRun(run.journal(5), fresh, state));
    EXPECT_FALSE(fresh.hasNext);
    fresh = makeSet(4, 2, 3);
    run.set.questionTimerOn = false; // without the question clock every question is open
    ASSERT_TRUE(restoreRun(run.journal(5), fresh, state));
    EXPECT_TRUE(fresh.hasNext);
}

TEST(RunJournalTest, AJournalThatDoesNotFitTheTestChangesNothing) {
    struct Case {
        const char* what;
        void (*spoil)(RunJournal&);
    };
    const Case cases[] = {
        {"one item too few", [](RunJournal& j) { j.items.pop_back(); }},
        {"a question twice", [](RunJournal& j) { j.items[1].sourceNo = j.items[0].sourceNo; }},
        {"a question the test lacks", [](RunJournal& j) { j.items[0].sourceNo = 42; }},
        {"a question moved out of its kind",
         [](RunJournal& j) { std::swap(j.items[0].sourceNo, j.items[5].sourceNo); }},
        {"more time left than the budget", [](RunJournal& j) { j.items[2].timeLeftMs = 61000; }},
        {"negative time spent", [](RunJournal& j) { j.items[2].timeSpentMs = -1000; }},
        {"more test time left than the test has", [](RunJournal& j) { j.testTimeLeftMs = 601000; }},
        {"a marker beyond the slot count",
         [](RunJournal& j) { j.items[8].answer.slotNumbers[1] = 9; }},
        {"a marker in a slot the question lacks",
         [](RunJournal& j) { j.items[8].answer.slotNumbers[6] = 1; }},
        {"current item past the end", [](RunJournal& j) { j.currentItem = 9; }},
    };
    for (const Case& c : cases) {
        RunJournal j = PartRun().journal();
        c.spoil(j);
        QuestionSet fresh = makeSet(4, 2, 3);
        RunState state;
        state.testName = "before";
        EXPECT_FALSE(restoreRun(j, fresh, state)) << c.what;
        for (std::size_t k = 0; k < fresh.questions.size(); ++k)
            EXPECT_EQ(fresh.questions[k].sourceNo, int(k + 1)) << c.what;
        EXPECT_EQ(state.testName, "before") << c.what;
    }
}

class JournalStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QStringLiteral("/state/kvizor"); }
    QStringList files() const {
        return QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // The store's own key, made on first use.
    QByteArray key() const { return JournalStore(folder()).key(true).value(); }
    QByteArray encoded(const RunJournal& j) const { return encodeJournal(j, key()); }
};

TEST_F(JournalStoreTest, WritesReadsAndRemoves) {
    JournalStore store(folder());
    EXPECT_FALSE(store.read().exists);
    EXPECT_TRUE(store.remove()); // nothing there is no failure

    const RunJournal first = PartRun().journal(1);
    RunJournal second = PartRun().journal(3);
    second.sequence = 2;
    QString error;
    ASSERT_TRUE(store.write(encoded(first), &error)) << error.toStdString();
    ASSERT_TRUE(store.write(encoded(second), &error)) << error.toStdString();
    // No temporary file left; beside the journal only its key.
    EXPECT_EQ(files(), (QStringList{QStringLiteral("journal.key"), QStringLiteral("run.journal")}));
    // Private to the user: it names the pupil and holds the answers.
    EXPECT_EQ(QFileInfo(folder()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    EXPECT_EQ(QFileInfo(store.path()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    const JournalStore::Loaded loaded = store.read();
    EXPECT_TRUE(loaded.exists);
    ASSERT_TRUE(loaded.journal);
    EXPECT_EQ(*loaded.journal, second);

    EXPECT_TRUE(store.remove());
    EXPECT_EQ(files(), QStringList{QStringLiteral("journal.key")});
}

TEST_F(JournalStoreTest, ALeftoverFromAnInterruptedWriteIsHarmless) {
    JournalStore store(folder());
    const RunJournal journal = PartRun().journal();
    ASSERT_TRUE(store.write(encoded(journal)));
    // A write killed before its rename leaves its new file behind, maybe half written.
    QFile half(folder() + QStringLiteral("/.run.journal.new"));
    ASSERT_TRUE(half.open(QIODevice::WriteOnly));
    half.write(encoded(journal).left(17));
    half.close();
    EXPECT_EQ(store.read().journal, journal);
    ASSERT_TRUE(store.write(encoded(journal)));
    EXPECT_EQ(files(), (QStringList{QStringLiteral("journal.key"), QStringLiteral("run.journal")}));
}

TEST_F(JournalStoreTest, ADamagedOrHugeFileIsReportedNotRead) {
    JournalStore store(folder());
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray good = encoded(PartRun().journal());
    for (const QByteArray& bytes : {good.left(good.size() / 2), QByteArray(),
                                    QByteArray(qsizetype(kMaxJournalBytes) + 1, 'K')}) {
        QFile file(store.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const JournalStore::Loaded loaded = store.read();
        EXPECT_TRUE(loaded.exists);
        EXPECT_FALSE(loaded.journal);
        EXPECT_NE(loaded.error, JournalReadError::None);
    }
}

TEST_F(JournalStoreTest, SetAsideKeepsEveryJournalUnderItsOwnName) {
    JournalStore store(folder());
    QStringList aside;
    for (int i = 0; i < 3; ++i) { // the same second: three different names
        RunJournal j = PartRun().journal();
        j.sequence = std::uint64_t(i);
        ASSERT_TRUE(store.write(encoded(j)));
        const std::optional<QString> path = store.setAside();
        ASSERT_TRUE(path);
        aside << *path;
        EXPECT_FALSE(QFile::exists(store.path()));
    }
    EXPECT_EQ(QSet<QString>(aside.begin(), aside.end()).size(), 3);
    for (int i = 0; i < 3; ++i) {
        QFile file(aside[i]);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(decodeJournal(file.readAll(), key()).journal->sequence, std::uint64_t(i));
        EXPECT_TRUE(aside[i].endsWith(QStringLiteral(".journal.aside")));
    }
    EXPECT_FALSE(store.setAside()); // nothing left to set aside
}

TEST_F(JournalStoreTest, TheKeyIsMadeOnceRandomAndForTheUserAlone) {
    JournalStore store(folder());
    EXPECT_FALSE(store.key(false)) << "reading never makes one";
    const std::optional<QByteArray> first = store.key(true);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), qsizetype(kJournalKeySize));
    const QFileInfo file(folder() + QStringLiteral("/journal.key"));
    EXPECT_EQ(file.permissions() &
                  ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
              QFileDevice::Permissions{});
    EXPECT_EQ(JournalStore(folder()).key(true), first) << "the same key at the next start";

    // Another user's folder gets another key.
    QTemporaryDir other;
    EXPECT_NE(JournalStore(other.path()).key(true), first);

    // A damaged key is no key; made anew when asked to, and the old journal no longer reads.
    RunJournal j = PartRun().journal();
    ASSERT_TRUE(store.write(encodeJournal(j, *first)));
    QFile damaged(file.filePath());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("short");
    damaged.close();
    EXPECT_FALSE(store.key(false));
    EXPECT_EQ(store.read().error, JournalReadError::NoKey);
    const std::optional<QByteArray> fresh = store.key(true);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh, first);
    EXPECT_EQ(store.read().error, JournalReadError::BadChecksum);
}

TEST_F(JournalStoreTest, OnlyTheLatestRunsJournalReads) {
    JournalStore store(folder());
    EXPECT_EQ(store.lastRunNumber(), 0u);
    const std::optional<std::uint64_t> a = store.takeRunNumber();
    const std::optional<std::uint64_t> b = store.takeRunNumber();
    ASSERT_TRUE(a && b);
    EXPECT_GT(*b, *a);
    EXPECT_EQ(store.lastRunNumber(), *b);

    RunJournal older = PartRun().journal();
    older.runNumber = *a;
    RunJournal latest = PartRun().journal();
    latest.runNumber = *b;
    ASSERT_TRUE(store.write(encoded(older)));
    EXPECT_FALSE(store.read().journal);
    EXPECT_EQ(store.read().error, JournalReadError::Replayed);
    ASSERT_TRUE(store.write(encoded(latest)));
    EXPECT_TRUE(store.read().journal);

    // A lost counter starts again above every number given before.
    ASSERT_TRUE(QFile::remove(folder() + QStringLiteral("/journal.counter")));
    EXPECT_EQ(store.read().error, JournalReadError::Replayed);
    EXPECT_GT(store.takeRunNumber().value(), *b);
}

TEST_F(JournalStoreTest, OneLockHolderPerFolder) {
    JournalLock first(folder());
    JournalLock second(folder());
    EXPECT_EQ(first.claim(), JournalLock::State::Held);
    EXPECT_EQ(first.claim(), JournalLock::State::Held) << "held stays held";
    EXPECT_EQ(second.claim(), JournalLock::State::Busy);
    EXPECT_FALSE(second.held());
    {
        JournalLock elsewhere(dir.path() + QStringLiteral("/other"));
        EXPECT_EQ(elsewhere.claim(), JournalLock::State::Held);
    }
}

TEST_F(JournalStoreTest, ALockEndsWithItsHolder) {
    {
        JournalLock first(folder());
        ASSERT_EQ(first.claim(), JournalLock::State::Held);
    }
    JournalLock second(folder());
    EXPECT_EQ(second.claim(), JournalLock::State::Held);
    // A folder that cannot be made: nothing to lock.
    QFile blocker(dir.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(JournalLock(dir.path() + QStringLiteral("/file/kvizor")).claim(),
              JournalLock::State::Unavailable);
}

TEST_F(JournalStoreTest, DefaultFolderFollowsXdgStateHome) {
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path()));
    EXPECT_EQ(JournalStore::defaultFolder(), dir.path() + QStringLiteral("/kvizor"));
    qputenv("XDG_STATE_HOME", "relative/path"); // ignored, as the XDG rules say
    EXPECT_EQ(JournalStore::defaultFolder(),
              QDir::homePath() + QStringLiteral("/.local/state/kvizor"));
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(JournalStore::defaultFolder(),
              QDir::homePath() + QStringLiteral("/.local/state/kvizor"));
    if (!saved.isNull())
        qputenv("XDG_STATE_HOME", saved);
}

TEST_F(JournalStoreTest, WriterKeepsTheLatestAndNeverResurrectsARemovedJournal) {
    JournalStore store(folder());
    {
        JournalWriter writer(store);
        RunJournal j = PartRun().journal();
        for (std::uint64_t n = 1; n <= 50; ++n) {
            j.sequence = n;
            writer.save(encoded(j));
        }
        writer.flush();
        EXPECT_EQ(store.read().journal->sequence, 50u);
        EXPECT_TRUE(writer.lastError().isEmpty());

        writer.save(encoded(j));
        writer.remove(); // the run ended while a write was waiting
        writer.flush();
        EXPECT_FALSE(store.read().exists);

        j.sequence = 7;
        writer.save(encoded(j)); // a new run
    }                            // the destructor finishes what is waiting
    EXPECT_EQ(store.read().journal->sequence, 7u);
}

TEST_F(JournalStoreTest, WriterReportsAFolderItCannotWrite) {
    QFile blocker(dir.path() + QStringLiteral("/state"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    JournalWriter writer{JournalStore(folder())};
    writer.save(encodeJournal(PartRun().journal(), testKey()));
    writer.flush();
    EXPECT_FALSE(writer.lastError().isEmpty());
}

} // namespace
} // namespace kvz
