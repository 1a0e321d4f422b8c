// A run killed by SIGKILL at random points (while an answer changes, inside a journal write,
// around the result write, or from outside at a random moment), started again until it
// finishes: the result must be the one of a run that was never interrupted, times aside.

#include "results/ResultArchive.h"
#include "results/ResultPassword.h"
#include "run/JournalStore.h"
#include "support/TestPaths.h"
#include "test/ArchiveFixtures.h"
#include "test/TestArchive.h"
#include "test/ZipMemory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <random>

namespace kvz {
namespace {

// Twelve questions of the three kinds behind the password "pw", with both clocks on.
QByteArray twelveQuestions() {
    TestArchive a = testing::threeKinds();
    std::vector<TQuestionRec> qs;
    for (int i = 0; i < 5; ++i)
        qs.push_back(a.questions[0]);
    for (int i = 0; i < 4; ++i)
        qs.push_back(a.questions[1]);
    for (int i = 0; i < 3; ++i)
        qs.push_back(a.questions[2]);
    for (std::size_t k = 0; k < qs.size(); ++k) {
        qs[k].sourceNo = int(k + 1);
        qs[k].body = testing::fakePiece("page " + QByteArray::number(qint64(k + 1)));
        qs[k].rightText = "answer " + std::to_string(k + 1);
    }
    a.questions = qs;
    a.timeByDifficulty = false;
    a.settings.testTime = 3600.0 / 86400;
    a.settings.questionTime = 600.0 / 86400;
    return writeTestArchive(a, "pw", CatalogueInfo{}).value();
}

// The result's two entries with the run's times blanked: the start and finish times of the
// summary and each question's time spent.
std::optional<std::pair<QByteArray, QByteArray>> timelessResult(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    auto zip = MemoryZip::open(bytes);
    if (!zip)
        return std::nullopt;
    zip->setPassword(resultPassword());
    QByteArray summary, detail;
    if (zip->extract(kSummaryEntryName, 1 << 20, summary) != ZipReadStatus::Ok ||
        zip->extract(kDetailEntryName, 1 << 20, detail) != ZipReadStatus::Ok)
        return std::nullopt;
    qsizetype at = 0;
    const auto skipText = [](const QByteArray& b, qsizetype& pos) {
        const qsizetype end = b.indexOf('\0', pos);
        pos = end < 0 ? b.size() + 1 : end + 1;
    };
    for (int i = 0; i < 4; ++i)
        skipText(summary, at);
    at += 2 + 1 + 1 + 1;
    if (at + 16 > summary.size())
        return std::nullopt;
    summary.replace(at, 16, QByteArray(16, '\0'));

    at = 8 + 8 + 16;
    while (at < detail.size()) {
        if (at + 8 > detail.size())
            return std::nullopt;
        detail.replace(at, 4, QByteArray(4, '\0')); // time spent
        at += 8;
        skipText(detail, at); // topic
        at += 4;
        skipText(detail, at); // right answer
        if (at >= detail.size())
            return std::nullopt;
        const bool answered = detail[at] == 1;
        ++at;
        if (answered)
            skipText(detail, at);
    }
    if (at != detail.size())
        return std::nullopt;
    return std::pair{summary, detail};
}

class JournalCrashTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString testPath() const { return dir.path() + QStringLiteral("/twelve.tst"); }

    void SetUp() override {
        QFile f(testPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(twelveQuestions());
    }

    // Runs the child once. killAfterMs >= 0: killed from outside after that long.
    // Returns the exit code, or -9 when it died by SIGKILL.
    int runChild(const QString& state, const QString& results, QStringList options,
                 int killAfterMs = -1) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(testing::binaryDir() + QStringLiteral("/tests/run/journal_crash_child"),
                    QStringList{testPath(), state, results} + options);
        if (!child.waitForStarted())
            return -100;
        if (killAfterMs >= 0 && !child.waitForFinished(killAfterMs))
            child.kill();
        child.waitForFinished(60000);
        if (child.exitStatus() == QProcess::CrashExit)
            return -9;
        return child.exitCode();
    }

    QStringList results(const QString& folder) const {
        QStringList out;
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.rst")}, QDir::Files))
            out << folder + QLatin1Char('/') + name;
        return out;
    }
};

TEST_F(JournalCrashTest, AKilledRunFinishesWithTheResultOfAnUninterruptedOne) {
    const QString refState = dir.path() + QStringLiteral("/ref-state");
    const QString refResults = dir.path() + QStringLiteral("/ref-results");
    ASSERT_EQ(runChild(refState, refResults, {}), 0);
    ASSERT_EQ(results(refResults).size(), 1);
    const auto reference = timelessResult(results(refResults).front());
    ASSERT_TRUE(reference);
    EXPECT_FALSE(QFile::exists(JournalStore(refState).path()));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(random); };
    int killed = 0;
    for (int trial = 0; trial < 30; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const QString state = dir.path() + QStringLiteral("/state-%1").arg(trial);
        const QString resultsFolder = dir.path() + QStringLiteral("/results-%1").arg(trial);
        const int kills = pick(1, 3);
        std::vector<std::string> done;
        for (int k = 0; k < kills; ++k) {
            QStringList options;
            int killAfter = -1;
            switch (pick(0, 4)) {
            case 0: // while an answer changes
                options << QStringLiteral("--die-step") << QString::number(pick(1, 9));
                break;
            case 1: // inside a journal write, at one of its stages
                options << QStringLiteral("--die-write")
                        << QStringLiteral("%1:%2").arg(pick(0, 25)).arg(pick(0, 2));
                break;
            case 2: // before the result reaches the disk
                options << QStringLiteral("--die-result") << QStringLiteral("before");
                break;
            case 3: // after the result is stored, before its journal goes
                options << QStringLiteral("--die-result") << QStringLiteral("after");
                break;
            default: // from outside, at a random moment of a slowed run
                options << QStringLiteral("--slow");
                killAfter = pick(1, 80);
                break;
            }
            done.push_back(options.join(QLatin1Char(' ')).toStdString());
            const int code = runChild(state, resultsFolder, options, killAfter);
            ASSERT_TRUE(code == -9 || code == 0) << "exit " << code << " after " << done.back();
            if (code == 0)
                break; // the kill point was never reached: the run finished
            ++killed;
            // Killed after the run was complete (result stored, journal gone): a start now would
            // be a new attempt, not this one.
            if (!QFile::exists(JournalStore(state).path()) && !results(resultsFolder).isEmpty())
                break;
        }
        std::string history;
        for (const std::string& d : done)
            history += "[" + d + "] ";
        SCOPED_TRACE(history);
        if (!QFile::exists(JournalStore(state).path()) && !results(resultsFolder).isEmpty()) {
            // finished already
        } else {
            ASSERT_EQ(runChild(state, resultsFolder, {}), 0);
        }
        const QStringList written = results(resultsFolder);
        // Exactly one: a kill between storing the result and removing the journal does not
        // store it a second time.
        ASSERT_EQ(written.size(), 1);
        for (const QString& path : written) {
            const auto result = timelessResult(path);
            ASSERT_TRUE(result);
            EXPECT_EQ(result->first, reference->first);
            EXPECT_EQ(result->second, reference->second);
        }
        EXPECT_FALSE(QFile::exists(JournalStore(state).path()));
        EXPECT_TRUE(QDir(state).entryList({QStringLiteral("*.aside")}, QDir::Files).isEmpty());
    }
    EXPECT_GT(killed, 10); // the kills did happen
}

} // namespace
} // namespace kvz
