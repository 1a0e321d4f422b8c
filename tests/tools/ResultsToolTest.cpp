// kvizor-results show and export, run as the teacher runs them on a folder of results written
// by the program's own writer, with a damaged and a foreign file among them.

#include "support/TestPaths.h"

#include "l10n/Cp1251.h"
#include "results/ResultArchive.h"
#include "results/ResultFolder.h"
#include "results/ResultReader.h"
#include "run/Checking.h"
#include "test/ZipMemory.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz {
namespace {

struct ToolRun {
    int code = -1;
    QString out;
    QString err;
};

ToolRun results(const QStringList& args) {
    QProcess p;
    p.start(testing::binaryDir() + QStringLiteral("/tools/kvizor-results"), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

std::string cp(const QString& s) {
    return cp1251::fromUnicode(s);
}

// A checked test: "A01 B01 D01", the choice and the ordering question right.
QByteArray resultOf(const QString& name, const QString& group, int rightTyped) {
    QuestionSet set;
    TQuestionRec a;
    a.kindText = "A";
    a.rightChoice = {false, true};
    a.choiceCount = 2;
    a.topic = cp(QStringLiteral("Дроби, доли"));
    TQuestionRec b;
    b.kindText = "B";
    b.rightText = cp(QStringLiteral("мир"));
    TQuestionRec d;
    d.kindText = "D";
    d.choiceCount = 3;
    for (int i = 0; i < 3; ++i)
        d.rightSlots[std::size_t(i)].number = std::uint8_t(i + 1);
    set.questions = {a, b, d};
    set.labels = makeLabels(set.questions);
    resetAnswers(set);
    set.questions[0].timeSpentMs = 75000;
    set.answers[0].chosen = {false, true};
    set.answers[0].touched = true;
    set.answers[1].text = rightTyped ? b.rightText : cp(QStringLiteral("\"война\""));
    set.answers[1].touched = true;
    std::vector<std::string> verdicts;
    CheckSummary summary;
    CheckAnswers(set, "R", "W", verdicts, summary);
    ResultFacts facts{cp(name), cp(group), cp(QStringLiteral("История")),
                      "test-1", 46000.5,   46000.75};
    return *BuildResultArchive(facts, summary, set);
}

class ResultsToolTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("Results")); }
    QString write(const QString& sub, const QByteArray& bytes) {
        const auto path = writeResultFile(folder() + sub, bytes, 5);
        EXPECT_TRUE(path);
        return path.value_or(QString());
    }
    void writePlain(const QString& relative, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(folder() + relative).path());
        QFile f(folder() + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(ResultsToolTest, ShowPrintsTheResultAsATeacherReadsIt) {
    const QString path =
        write(QString(), resultOf(QStringLiteral("Иванов Иван"), QStringLiteral("9А"), 1));
    const ToolRun r = results({QStringLiteral("show"), path});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    for (const char16_t* line :
         {u"Examinee: Иванов Иван\n", u"Class:    9А\n", u"Subject:  История\n",
          u"Test:     test-1\n", u"Right:    3 of 3 (100.00%)\n", u"Answered: 3 of 3 (100.00%)\n",
          u"Started:  2025-12-09 12:00:00\n", u"Finished: 2025-12-09 18:00:00\n",
          u"A01  Дроби, доли | A | 0100000000 | 0100000000 | 0:01:15 | right\n",
          u"B01   | B | мир | мир | 0:00:00 | right\n",
          u"D01   | D | 1, 2, 3 | 1, 2, 3 | 0:00:00 | right\n"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf16(line)))
            << QString::fromUtf16(line).toStdString() << "\n"
            << r.out.toStdString();
}

TEST_F(ResultsToolTest, ExportGoesOnPastDamagedAndForeignFiles) {
    write(QStringLiteral("/9A"), resultOf(QStringLiteral("Иванов Иван"), QStringLiteral("9А"), 1));
    write(QStringLiteral("/9B/deep"),
          resultOf(QStringLiteral("Петров, \"Пётр\""), QStringLiteral("9Б"), 0));
    const QByteArray good = resultOf(QStringLiteral("Сидоров"), QStringLiteral("9А"), 1);
    writePlain(QStringLiteral("/9A/damaged.rst"), good.left(good.size() / 2));
    writePlain(QStringLiteral("/9A/text.rst"), "not an archive at all");
    writePlain(QStringLiteral("/9A/foreign.rst"),
               *writeEncryptedZip({{"inform.dat", "x"}, {"inform160.dat", "y"}}, "other"));
    writePlain(QStringLiteral("/9A/notes.txt"), "ignored");

    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const QString json = dir.filePath(QStringLiteral("out.json"));
    const ToolRun r = results({QStringLiteral("export"), folder(), QStringLiteral("--csv"), csv,
                               QStringLiteral("--json"), json});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    for (const char* name : {"damaged.rst", "text.rst", "foreign.rst"})
        EXPECT_TRUE(r.err.contains(QLatin1String(name) + QStringLiteral(": skipped: ")))
            << name << "\n"
            << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("notes.txt")));

    QFile c(csv);
    ASSERT_TRUE(c.open(QIODevice::ReadOnly));
    const QByteArray bytes = c.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines =
        QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("file,examinee,class,subject,test,right_percent,right,"
                                       "answered,questions,answered_percent,started,finished,"
                                       "verdict_code"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("9A/")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",Иванов Иван,9А,История,test-1,100.00,3,3,3,"
                                                 "100.00,2025-12-09 12:00:00,2025-12-09 "
                                                 "18:00:00,A1B1D1")))
        << lines[1].toStdString();
    // A comma or quote in a name is quoted as spreadsheets expect.
    EXPECT_TRUE(lines[2].contains(QStringLiteral(",\"Петров, \"\"Пётр\"\"\",9Б,")))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(",66.67,2,3,3,100.00,")));

    QFile j(json);
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    const QJsonArray rows = QJsonDocument::fromJson(j.readAll()).array();
    ASSERT_EQ(rows.size(), 2);
    const QJsonObject second = rows[1].toObject();
    EXPECT_EQ(second[QStringLiteral("right")].toInt(), 2);
    EXPECT_DOUBLE_EQ(second[QStringLiteral("right_percent")].toDouble(), 66.67);
    const QJsonArray items = second[QStringLiteral("items")].toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[1].toObject()[QStringLiteral("given_answer")].toString(),
              QStringLiteral("\"война\""));
    EXPECT_FALSE(items[1].toObject()[QStringLiteral("right")].toBool());
}

// A pupil may plant a device or a pipe under a result's name: it is refused at once, never read
// for ever or waited on, and the export goes on with the honest results.
TEST_F(ResultsToolTest, DevicesPipesAndFoldersAreNoResults) {
    write(QStringLiteral("/9A"), resultOf(QStringLiteral("Иванов Иван"), QStringLiteral("9А"), 1));
    const QString zero = folder() + QStringLiteral("/9A/zero.rst");
    const QString pipe = folder() + QStringLiteral("/9A/pipe.rst");
    const QString sub = folder() + QStringLiteral("/9A/folder.rst");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {pipe}), 0);
    ASSERT_TRUE(QDir().mkpath(sub));
    for (const QString& path : {zero, pipe, sub}) {
        SCOPED_TRACE(path.toStdString());
        const ToolRun r = results({QStringLiteral("show"), path});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("not a regular file"))) << r.err.toStdString();
    }
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    const ToolRun r = results({QStringLiteral("export"), folder(), QStringLiteral("--csv"), csv});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("zero.rst: skipped: not a regular file")))
        << r.err.toStdString();
    QFile out(csv);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(out.readAll()).contains(QStringLiteral("Иванов Иван")));
}

// A big folder is read on several threads; the answer is the one a single thread gives, in
// the same order, damaged files included.
TEST_F(ResultsToolTest, FolderReadOnSeveralThreadsGivesTheSameAnswer) {
    for (int i = 0; i < 150; ++i) {
        const QByteArray bytes =
            resultOf(QStringLiteral("Pupil %1").arg(i), QStringLiteral("9А"), i % 2);
        ASSERT_TRUE(writeResultFile(folder() + QStringLiteral("/c%1").arg(i % 3), bytes,
                                    std::uint32_t(i + 1)));
    }
    writePlain(QStringLiteral("/c1/damaged.rst"), "PK\x03\x04");
    writePlain(QStringLiteral("/c2/deep/empty.rst"), QByteArray());
    const ResultFolder one = readResultFolder(folder(), 1);
    const ResultFolder four = readResultFolder(folder(), 4);
    ASSERT_EQ(one.records.size(), 150u);
    ASSERT_EQ(one.unread.size(), 2u);
    EXPECT_EQ(one.unread[0].path, QStringLiteral("c1/damaged.rst"));
    EXPECT_EQ(one.unread[1].path, QStringLiteral("c2/deep/empty.rst"));
    EXPECT_EQ(four.paths, one.paths);
    ASSERT_EQ(four.records.size(), one.records.size());
    for (std::size_t i = 0; i < one.records.size(); ++i) {
        EXPECT_EQ(four.records[i].facts.examineeName, one.records[i].facts.examineeName);
        EXPECT_EQ(four.records[i].verdictCode, one.records[i].verdictCode);
    }
    ASSERT_EQ(four.unread.size(), 2u);
    EXPECT_EQ(four.unread[1].error, one.unread[1].error);
}

TEST_F(ResultsToolTest, UsageAndMissingInputs) {
    EXPECT_EQ(results({}).code, 2);
    EXPECT_EQ(results({QStringLiteral("export"), folder()}).code, 2);
    EXPECT_EQ(results({QStringLiteral("export"), dir.filePath(QStringLiteral("none")),
                       QStringLiteral("--csv"), dir.filePath(QStringLiteral("o.csv"))})
                  .code,
              2);
    const ToolRun missing =
        results({QStringLiteral("show"), dir.filePath(QStringLiteral("x.rst"))});
    EXPECT_EQ(missing.code, 1);
    EXPECT_FALSE(missing.err.isEmpty());
}

// The reader refuses every cut of a good record and reads the whole one back.
TEST(ResultReaderTest, CutsAndTrailingBytesAreErrors) {
    QuestionSet set;
    TQuestionRec b;
    b.kindText = "B";
    b.rightText = "abc";
    set.questions = {b, b};
    set.labels = makeLabels(set.questions);
    resetAnswers(set);
    set.answers[0].text = "abc";
    std::vector<std::string> verdicts;
    CheckSummary summary;
    CheckAnswers(set, "R", "W", verdicts, summary);
    const ResultFacts facts{"n", "g", "s", "t", 1.5, 2.5};
    const QByteArray s = BuildSummaryEntry(facts, summary);
    const QByteArray d = BuildDetailEntry(set);
    const ResultReadResult whole = parseResultEntries(s, d);
    ASSERT_TRUE(whole.record) << whole.error.toStdString();
    EXPECT_EQ(whole.record->rightPercentHundredths, 5000);
    EXPECT_EQ(whole.record->questions[0].givenAnswer, "abc");
    EXPECT_FALSE(whole.record->questions[1].answered);
    EXPECT_EQ(whole.record->questions[1].label, "B02");
    for (qsizetype n = 0; n < s.size(); ++n)
        EXPECT_FALSE(parseResultEntries(s.left(n), d).record) << n;
    for (qsizetype n = 0; n < d.size(); ++n)
        EXPECT_FALSE(parseResultEntries(s, d.left(n)).record) << n;
    EXPECT_FALSE(parseResultEntries(s, d + 'x').record);
}

} // namespace
} // namespace kvz
