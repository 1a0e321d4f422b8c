#include "run/JournalKeeper.h"
#include "run/RunDriver.h"
#include "shell/Clock.h"
#include "test/ArchiveFixtures.h"
#include "test/TestArchive.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace kvz {
namespace {

// Four A, two B and two D questions behind the password "pw".
TestArchive eightQuestions() {
    TestArchive a = testing::threeKinds();
    std::vector<TQuestionRec> qs;
    for (int i = 0; i < 4; ++i)
        qs.push_back(a.questions[0]);
    for (int i = 0; i < 2; ++i)
        qs.push_back(a.questions[1]);
    for (int i = 0; i < 2; ++i)
        qs.push_back(a.questions[2]);
    for (std::size_t k = 0; k < qs.size(); ++k) {
        qs[k].sourceNo = int(k + 1);
        qs[k].body = testing::fakePiece("page " + QByteArray::number(qint64(k + 1)));
    }
    a.questions = qs;
    a.timeByDifficulty = false;
    return a;
}

QByteArray archiveBytes(const TestArchive& a, const std::string& password) {
    return writeTestArchive(a, password, CatalogueInfo{}).value();
}

class JournalKeeperTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString base() const { return dir.path() + QStringLiteral("/Base"); }
    QString testPath() const { return base() + QStringLiteral("/eight.tst"); }
    JournalStore store() const { return JournalStore(dir.path() + QStringLiteral("/state")); }
    // Signed with the store's own key, as the keeper signs.
    QByteArray encoded(const RunJournal& j) const {
        return encodeJournal(j, store().key(true).value());
    }
    void writeTest(const QByteArray& bytes) const {
        QDir().mkpath(dir.path() + QStringLiteral("/Base"));
        QFile f(testPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    RunJournal identity(const QByteArray& archive) const {
        RunJournal j;
        j.testFile = QStringLiteral("eight.tst");
        j.archiveSha256 = sha256(archive);
        j.typedPassword = "pw";
        j.examineeName = "Ivanov";
        j.examineeClass = "9A";
        return j;
    }
};

TEST_F(JournalKeeperTest, WritesOnChangesEveryFewTicksAndGoesWithTheResult) {
    QuestionSet set;
    RunState state;
    const QByteArray archive = archiveBytes(eightQuestions(), "pw");
    applyTestArchive(*readTestArchive(archive, "pw").archive, set, state);
    startRunLogic(set, state, 1);

    JournalKeeper keeper(store());
    const auto saved = [&] {
        keeper.flush();
        return store().read().journal;
    };
    keeper.record(set, state, 0); // no run begun: nothing
    keeper.flush();
    EXPECT_FALSE(store().read().exists);

    keeper.begin(identity(archive), set, state, 0);
    EXPECT_EQ(saved()->sequence, 1u);
    set.answers[2].text = "x";
    keeper.record(set, state, 2);
    EXPECT_EQ(saved()->items[2].answer.text, "x");
    EXPECT_EQ(saved()->currentItem, 2);
    for (int t = 1; t < JournalKeeper::kTicksPerWrite; ++t)
        keeper.tick(set, state, 2);
    EXPECT_EQ(saved()->sequence, 2u);
    keeper.tick(set, state, 2);
    EXPECT_EQ(saved()->sequence, 3u);

    state.finishTime = 46000.5;
    keeper.finishing(set, state, 2);
    EXPECT_TRUE(saved()->finished);
    EXPECT_EQ(saved()->finishTime, 46000.5);
    EXPECT_EQ(saved()->examineeName, "Ivanov");

    keeper.end();
    keeper.flush();
    EXPECT_FALSE(store().read().exists);
    keeper.record(set, state, 3); // a late change after the result: no journal comes back
    keeper.tick(set, state, 3);
    keeper.flush();
    EXPECT_FALSE(store().read().exists);
}

TEST_F(JournalKeeperTest, EachNewRunIsNumberedAndAResumedOneKeepsItsNumber) {
    QuestionSet set;
    RunState state;
    const QByteArray archive = archiveBytes(eightQuestions(), "pw");
    applyTestArchive(*readTestArchive(archive, "pw").archive, set, state);
    startRunLogic(set, state, 1);
    JournalKeeper keeper(store());
    keeper.begin(identity(archive), set, state, 0);
    const RunJournal first = store().read().journal.value();
    EXPECT_NE(first.runNumber, 0u);
    keeper.end();
    keeper.begin(identity(archive), set, state, 0);
    const RunJournal second = store().read().journal.value();
    EXPECT_GT(second.runNumber, first.runNumber);
    // Brought back: the same run, the same number, and it still reads.
    keeper.begin(second, set, state, 2);
    EXPECT_EQ(store().read().journal.value().runNumber, second.runNumber);
    EXPECT_FALSE(keeper.takeFailure());
}

TEST_F(JournalKeeperTest, AJournalThatCannotBeKeptIsSaidOnce) {
    QuestionSet set;
    RunState state;
    const QByteArray archive = archiveBytes(eightQuestions(), "pw");
    applyTestArchive(*readTestArchive(archive, "pw").archive, set, state);
    startRunLogic(set, state, 1);
    // A file where the state folder should be: nothing can be written there.
    QFile blocker(dir.path() + QStringLiteral("/state"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    JournalKeeper keeper(store());
    keeper.begin(identity(archive), set, state, 0);
    const std::optional<QString> why = keeper.takeFailure();
    ASSERT_TRUE(why);
    EXPECT_FALSE(why->isEmpty());
    keeper.record(set, state, 1);
    keeper.flush();
    EXPECT_FALSE(keeper.takeFailure()) << "once per run";
    keeper.end();
    keeper.begin(identity(archive), set, state, 0);
    EXPECT_TRUE(keeper.takeFailure()) << "and again for the next run";
}

TEST_F(JournalKeeperTest, ASecondKeeperNeverTouchesTheFirstOnesJournal) {
    QuestionSet set;
    RunState state;
    const QByteArray archive = archiveBytes(eightQuestions(), "pw");
    applyTestArchive(*readTestArchive(archive, "pw").archive, set, state);
    startRunLogic(set, state, 1);
    JournalKeeper first(store());
    EXPECT_EQ(first.claim(), JournalLock::State::Held);
    first.begin(identity(archive), set, state, 3);
    const QByteArray before = [&] {
        QFile f(store().path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(before.isEmpty());

    JournalKeeper second(store());
    EXPECT_EQ(second.claim(), JournalLock::State::Busy);
    RunJournal other = identity(archive);
    other.examineeName = "Petrov";
    second.begin(other, set, state, 0);
    EXPECT_TRUE(second.takeFailure());
    second.record(set, state, 1);
    second.finishing(set, state, 1);
    second.end();
    second.flush();
    QFile f(store().path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(JournalKeeperTest, LookingForAStoredResultPassesPipesAndDevicesBy) {
    const QString results = dir.path() + QStringLiteral("/Results");
    ASSERT_TRUE(QDir().mkpath(results));
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/dev/zero"), results + QStringLiteral("/00000001.rst")));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("mkfifo"), {results + QStringLiteral("/00000002.rst")}),
        0);
    QElapsedTimer took;
    took.start();
    EXPECT_FALSE(findStoredResult(results, QByteArray("summary")));
    EXPECT_LT(took.elapsed(), 1000);
}

TEST_F(JournalKeeperTest, TheDriverReportsEveryMoveOfARunningTest) {
    struct Host : RunHost {
        bool prompt = false;
        void saveAnswer() override {}
        void arrived() override {}
        bool promptVisible() const override { return prompt; }
        void showPrompt() override { prompt = true; }
        void hidePrompt() override { prompt = false; }
        void finished() override {}
        void leaveReview() override {}
    } host;
    QuestionSet set;
    RunState state;
    applyTestArchive(*readTestArchive(archiveBytes(eightQuestions(), "pw"), "pw").archive, set,
                     state);
    startRunLogic(set, state, 1);
    RunDriver driver(set, state, host);
    std::vector<RunChange> seen;
    driver.setChangeListener([&](RunChange c) { seen.push_back(c); });
    driver.resume(3);
    EXPECT_EQ(driver.current(), 3);
    driver.next();
    driver.tick(true);
    driver.FinishTest();
    driver.tick(true); // finished: no more
    driver.enterReview();
    driver.next(); // review moves are no part of the run
    EXPECT_EQ(seen, (std::vector{RunChange::Arrived, RunChange::Arrived, RunChange::Ticked,
                                 RunChange::Finishing}));
}

TEST_F(JournalKeeperTest, AtStartAJournalIsResumedOnlyOntoItsOwnTest) {
    const QByteArray archive = archiveBytes(eightQuestions(), "pw");
    QuestionSet set;
    RunState state;
    applyTestArchive(*readTestArchive(archive, "pw").archive, set, state);
    startRunLogic(set, state, 1);
    RunJournal journal = identity(archive);
    captureRun(journal, set, state, 0);
    RunJournal server = journal;
    server.mode = JournalMode::Server;
    server.testFile.clear();

    QByteArray changed = archive;
    changed[changed.size() - 1] = char(changed[changed.size() - 1] ^ 1);
    using V = UnfinishedRun::Verdict;
    struct Case {
        const char* what;
        std::optional<QByteArray> journalBytes; // nullopt: no journal file
        std::optional<QByteArray> testBytes;    // nullopt: no test file
        V verdict;
        const char* reason;
    };
    const Case cases[] = {
        {"no journal", std::nullopt, archive, V::None, ""},
        {"the same test", encoded(journal), archive, V::Resume, ""},
        {"the test file gone", encoded(journal), std::nullopt, V::SetAside, "gone"},
        {"the test file changed", encoded(journal), changed, V::SetAside, "changed"},
        {"a damaged journal", encoded(journal).chopped(3), archive, V::SetAside, "length"},
        {"a server run", encoded(server), std::nullopt, V::Resume, ""},
    };
    for (const Case& c : cases) {
        QFile::remove(testPath());
        store().remove();
        if (c.testBytes) {
            writeTest(*c.testBytes);
        }
        if (c.journalBytes) {
            ASSERT_TRUE(store().write(*c.journalBytes));
        }
        const UnfinishedRun run = checkUnfinishedRun(store(), base(), kMaxArchiveSize);
        EXPECT_EQ(run.verdict, c.verdict) << c.what;
        EXPECT_TRUE(run.reason.contains(QLatin1String(c.reason))) << c.what;
        if (c.verdict == V::Resume) {
            // A local run comes with its checked bytes; a server run's come from the server.
            EXPECT_EQ(run.archive, c.testBytes ? archive : QByteArray()) << c.what;
        }
    }
    writeTest(archive);
    ASSERT_TRUE(store().write(encoded(journal)));
    EXPECT_EQ(checkUnfinishedRun(store(), base(), std::size_t(archive.size() - 1)).verdict,
              V::SetAside)
        << "a test file above the cap is not read";

    // Hostile journals: one signed with another key, an older run's journal put back, a pipe, a
    // device or a folder where the journal or its test should be: each is turned away at once
    // (a pipe would hold the start for ever, a device never end), and the journal is set aside.
    const QString journalPath = store().path();
    const QString testFile = testPath();
    struct Hostile {
        const char* what;
        std::function<void()> make;
    };
    RunJournal onZero = journal;
    onZero.testFile = QStringLiteral("zero.tst");
    const Hostile hostile[] = {
        {"signed with another key",
         [&] {
             QByteArray other = store().key(true).value();
             other[5] = char(other[5] ^ 0x10);
             ASSERT_TRUE(store().write(encodeJournal(journal, other)));
         }},
        {"an older run's journal put back",
         [&] {
             RunJournal older = journal;
             older.runNumber = store().takeRunNumber().value();
             const QByteArray saved = encoded(older);
             RunJournal newer = journal;
             newer.runNumber = store().takeRunNumber().value();
             ASSERT_TRUE(store().write(encoded(newer)));
             ASSERT_EQ(checkUnfinishedRun(store(), base(), kMaxArchiveSize).verdict, V::Resume);
             ASSERT_TRUE(store().write(saved));
         }},
        {"no key beside it",
         [&] {
             ASSERT_TRUE(store().write(encoded(journal)));
             ASSERT_TRUE(QFile::remove(store().folder() + QStringLiteral("/journal.key")));
         }},
        {"the journal a pipe",
         [&] { ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {journalPath}), 0); }},
        {"the journal a link to a device",
         [&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), journalPath)); }},
        {"the journal a folder", [&] { ASSERT_TRUE(QDir().mkpath(journalPath)); }},
        {"its test a pipe",
         [&] {
             ASSERT_TRUE(store().write(encoded(journal)));
             QFile::remove(testFile);
             ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {testFile}), 0);
         }},
        {"its test a link to a device",
         [&] {
             ASSERT_TRUE(
                 QFile::link(QStringLiteral("/dev/zero"), base() + QStringLiteral("/zero.tst")));
             ASSERT_TRUE(store().write(encoded(onZero)));
         }},
    };
    for (const Hostile& h : hostile) {
        SCOPED_TRACE(h.what);
        store().remove();
        QDir(journalPath).removeRecursively();
        QFile::remove(journalPath);
        QDir().mkpath(store().folder());
        QFile::remove(store().folder() + QStringLiteral("/journal.counter"));
        QFile::remove(testFile); // a pipe left by a case before would hold the write
        writeTest(archive);
        h.make();
        QElapsedTimer took;
        took.start();
        const UnfinishedRun run = checkUnfinishedRun(store(), base(), kMaxArchiveSize);
        EXPECT_LT(took.elapsed(), 1000);
        EXPECT_EQ(run.verdict, V::SetAside);
        EXPECT_FALSE(run.reason.isEmpty());
        EXPECT_TRUE(store().setAside());
        EXPECT_FALSE(QFileInfo(journalPath).exists() || QFileInfo(journalPath).isSymLink());
    }
}

TEST_F(JournalKeeperTest, AResumedRunStandsWhereTheJournalLeftIt) {
    const QByteArray archive = archiveBytes(eightQuestions(), "pw");
    QuestionSet set;
    RunState state;
    state.shuffleQuestions = true;
    state.testName = "eight";
    applyTestArchive(*readTestArchive(archive, "pw").archive, set, state);
    startRunLogic(set, state, 12345);
    set.answers[1].chosen[2] = true;
    set.answers[1].touched = true;
    set.answers[5].text = "abc";
    set.questions[5].timeLeftMs = 4000;
    RunJournal journal = identity(archive);
    captureRun(journal, set, state, 5);

    QuestionSet fresh;
    RunState freshState;
    QString reason;
    const auto pieces = loadResumedRun(journal, archive, fresh, freshState, &reason);
    ASSERT_TRUE(pieces) << reason.toStdString();
    EXPECT_EQ(pieces->introduction, testing::fakePiece("introduction"));
    for (std::size_t k = 0; k < set.questions.size(); ++k) {
        EXPECT_EQ(fresh.questions[k].body, set.questions[k].body) << k;
        EXPECT_EQ(fresh.questions[k].timeLeftMs, set.questions[k].timeLeftMs) << k;
        EXPECT_EQ(fresh.answers[k].chosen, set.answers[k].chosen) << k;
        EXPECT_EQ(fresh.answers[k].text, set.answers[k].text) << k;
    }
    EXPECT_EQ(freshState.testName, "eight");
    EXPECT_TRUE(freshState.fixedOrder); // the test's own settings come from the archive

    journal.typedPassword = "wrong";
    EXPECT_FALSE(loadResumedRun(journal, archive, fresh, freshState, &reason));
    EXPECT_TRUE(reason.contains(QLatin1String("does not open")));
}

} // namespace
} // namespace kvz
