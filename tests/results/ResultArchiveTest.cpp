#include "results/ResultArchive.h"
#include "results/ResultPassword.h"
#include "run/Checking.h"
#include "test/ZipMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kvz {
namespace {

const std::string kRight = "R";
const std::string kWrong = "W";

// Little-endian pieces of a hand-built expectation.
QByteArray le(std::uint64_t v, int bytes) {
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b.append(char(v >> (8 * i) & 0xFF));
    return b;
}
QByteArray dt(double t) {
    std::uint64_t bits;
    std::memcpy(&bits, &t, 8);
    return le(bits, 8);
}
QByteArray z(const char* text) {
    return QByteArray(text) + '\0';
}

// "A01 A02 B01" with the first and third right and the second never changed, then an ordering
// question of three slots left wrong and untouched.
struct Sample {
    QuestionSet set;
    CheckSummary summary;
    std::vector<std::string> verdicts;
    ResultFacts facts;

    Sample() {
        TQuestionRec a1;
        a1.kindText = "A";
        a1.rightChoice = {false, true, false, false, true};
        a1.multiChoice = true;
        a1.choiceCount = 5;
        a1.topic = "\xC4\xF0\xEE\xE1\xE8"; // "Дроби"
        a1.difficulty = 50;
        a1.sourceNo = 2;
        a1.timeSpentMs = 12000;
        TQuestionRec a2 = a1;
        a2.rightChoice = {true};
        a2.multiChoice = false;
        a2.choiceCount = 3;
        a2.topic = "";
        a2.sourceNo = 1;
        a2.timeSpentMs = 0;
        TQuestionRec b1;
        b1.kindText = "B";
        b1.rightText = "\xEC\xE8\xF0"; // "мир"
        b1.topic = "T";
        b1.difficulty = 150;
        b1.sourceNo = 3;
        b1.timeSpentMs = -1; // a clock gone wrong is still written as it stands
        TQuestionRec d1;
        d1.kindText = "D";
        d1.choiceCount = 3;
        d1.rightSlots[0].number = 3;
        d1.rightSlots[1].number = 1;
        d1.rightSlots[2].number = 2;
        d1.difficulty = 0;
        d1.sourceNo = 4;
        d1.timeSpentMs = 65536 + 7;
        set.questions = {a1, a2, b1, d1};
        set.labels = makeLabels(set.questions);
        resetAnswers(set);
        set.answers[0].chosen = {false, true, false, false, true};
        set.answers[0].touched = true;
        set.answers[2].text = "\xEC\xE8\xF0";
        set.answers[2].touched = true;
        set.questionTime = 30.0 / 86400;
        set.testTime = 0.5;
        CheckAnswers(set, kRight, kWrong, verdicts, summary);
        facts.examineeName = "\xC8\xE2\xE0\xED\xEE\xE2 \xC8."; // "Иванов И."
        facts.group = "9\xC0";                                 // "9А"
        facts.subject = "\xCC\xE0\xF2\xE5\xEC\xE0\xF2\xE8\xEA\xE0";
        facts.testName = "test-1";
        facts.startTime = 46000.25;
        facts.finishTime = 46000.375;
    }
};

QByteArray expectedSummary() {
    return z("\xC8\xE2\xE0\xED\xEE\xE2 \xC8.") + z("9\xC0") +
           z("\xCC\xE0\xF2\xE5\xEC\xE0\xF2\xE8\xEA\xE0") + z("test-1") + le(5000, 2) + le(2, 1) +
           le(2, 1) + le(4, 1) + dt(46000.25) + dt(46000.375) + QByteArray("A1A0B1D0");
}

QByteArray expectedDetail() {
    return dt(30.0 / 86400) + dt(0.5) + QByteArray(16, '\0') +
           // A01: right and answered
           le(12000, 4) + le(2, 4) + z("\xC4\xF0\xEE\xE1\xE8") + le(1, 1) + le(50, 1) + "A" +
           le(5, 1) + z("0100100000") + le(1, 1) + z("0100100000") +
           // A02: wrong, never changed: no given answer
           le(0, 4) + le(1, 4) + z("") + le(0, 1) + le(50, 1) + "A" + le(3, 1) + z("1000000000") +
           le(0, 1) +
           // B01
           le(0xFFFFFFFF, 4) + le(3, 4) + z("T") + le(0, 1) + le(150, 1) + "B" + le(0, 1) +
           z("\xEC\xE8\xF0") + le(1, 1) + z("\xEC\xE8\xF0") +
           // D01: its starting order 1, 2, 3 is wrong and it was never changed
           le(65543, 4) + le(4, 4) + z("") + le(0, 1) + le(0, 1) + "D" + le(3, 1) + z("3, 1, 2") +
           le(0, 1);
}

TEST(ResultArchiveTest, EntriesByteForByte) {
    const Sample s;
    EXPECT_EQ(s.summary.rightPercentText, "50.00");
    EXPECT_EQ(BuildSummaryEntry(s.facts, s.summary).toHex(), expectedSummary().toHex());
    EXPECT_EQ(BuildDetailEntry(s.set).toHex(), expectedDetail().toHex());
}

TEST(ResultArchiveTest, AnswerTexts) {
    Sample s;
    // The three counts of the "A01 A02 B01" example: changing the wrong answer makes it
    // answered.
    s.set.questions.pop_back();
    s.set.answers.pop_back();
    s.set.labels.pop_back();
    s.set.answers[1].touched = true;
    CheckAnswers(s.set, kRight, kWrong, s.verdicts, s.summary);
    const QByteArray summary = BuildSummaryEntry(s.facts, s.summary);
    EXPECT_TRUE(summary.endsWith("A1A0B1"));
    EXPECT_EQ(summary.mid(summary.size() - 6 - 16 - 5, 5).toHex(), le(6667, 2).toHex() + "020303");

    TQuestionRec d;
    d.kindText = "D";
    d.choiceCount = 0;
    EXPECT_EQ(rightAnswerText(d), "");
    TQuestionRec other;
    other.kindText = "C";
    EXPECT_EQ(rightAnswerText(other), "");
    TQuestionRec b;
    b.kindText = "B";
    TAnswerRec long_;
    long_.text = std::string(700, '\xE0');
    EXPECT_EQ(givenAnswerText(b, long_).size(), 700u);
}

class ResultFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("a/b/Results")); }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList entries(const QString& f) const {
        return QDir(f).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
};

// Python's zipfile knows traditional PKWARE encryption: it must read both entries, deflated and
// encrypted, in their order, back to the hand-built bytes.
TEST_F(ResultFileTest, PythonZipfileDecryptsTheWrittenArchive) {
    const Sample s;
    QString error;
    const auto bytes = BuildResultArchive(s.facts, s.summary, s.set, &error);
    ASSERT_TRUE(bytes) << error.toStdString();
    const auto path = writeResultFile(folder(), *bytes, 7, &error);
    ASSERT_TRUE(path) << error.toStdString();
    EXPECT_EQ(readAll(*path), *bytes);

    const QString script =
        QStringLiteral("import sys, zipfile\n"
                       "pwd = bytes.fromhex(sys.argv[2])\n"
                       "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                       "    for i in z.infolist():\n"
                       "        assert i.flag_bits & 1, i.filename\n"
                       "        assert i.compress_type == zipfile.ZIP_DEFLATED, i.filename\n"
                       "        print(i.filename, z.read(i, pwd=pwd).hex())\n");
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"), script, *path,
              QString::fromLatin1(QByteArray::fromStdString(resultPassword()).toHex())});
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QStringList lines =
        QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0],
              QStringLiteral("inform.dat ") + QString::fromLatin1(expectedSummary().toHex()));
    EXPECT_EQ(lines[1],
              QStringLiteral("inform160.dat ") + QString::fromLatin1(expectedDetail().toHex()));

    // The wrong password is refused by our own reader too.
    auto zip = MemoryZip::open(*bytes);
    ASSERT_TRUE(zip);
    zip->setPassword("wrong");
    QByteArray data;
    EXPECT_NE(zip->extract(kSummaryEntryName, 1 << 20, data), ZipReadStatus::Ok);
}

TEST_F(ResultFileTest, NamesAreNewEightDigitsAndNeverReplaceAFile) {
    const QByteArray first("first"), second("second");
    // The same seed draws the same first name: the second result must take another.
    const auto a = writeResultFile(folder(), first, 42);
    const auto b = writeResultFile(folder(), second, 42);
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    for (const QString& p : {*a, *b})
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]{8}\\.rst$"))
                        .match(QFileInfo(p).fileName())
                        .hasMatch())
            << p.toStdString();
    EXPECT_EQ(readAll(*a), first);
    EXPECT_EQ(readAll(*b), second);
    // Nothing but the two results is left in the folder.
    EXPECT_EQ(entries(folder()).size(), 2);
}

// A results folder shared with the supervisor's account: the result takes the umask's mode, as
// any other new file, not the private mode of a temporary file.
TEST_F(ResultFileTest, AStoredResultHasTheUmasksMode) {
    const struct { mode_t umask, expected; } cases[] = {{022, 0644}, {027, 0640}, {002, 0664}};
    for (const auto& c : cases) {
        const mode_t saved = ::umask(c.umask);
        const auto path = writeResultFile(folder(), "x", 5);
        ::umask(saved);
        ASSERT_TRUE(path);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(*path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.expected) << std::oct << c.umask;
    }
}

TEST_F(ResultFileTest, UnwritableFolderLeavesNothingBehind) {
    // A folder below a plain file can never be created, whoever runs the test.
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QString error;
    EXPECT_FALSE(writeResultFile(dir.filePath(QStringLiteral("plain/Results")), "x", 1, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(writeResultFile(QString(), "x", 1, &error));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("plain")});
}

TEST(ResultDestinationTest, WhereTheArchiveGoes) {
    struct Case {
        bool parameters, save, connected;
        ResultDestination where;
    };
    for (const Case& c : {Case{false, false, false, ResultDestination::ResultsFolder},
                          Case{false, false, true, ResultDestination::ResultsFolder},
                          Case{true, true, false, ResultDestination::ResultsFolder},
                          Case{true, true, true, ResultDestination::ResultsFolder},
                          Case{true, false, false, ResultDestination::Nowhere},
                          Case{true, false, true, ResultDestination::SendOnly}})
        EXPECT_EQ(resultDestination(c.parameters, c.save, c.connected), c.where)
            << c.parameters << c.save << c.connected;
}

TEST(TextResultLogTest, ThirteenLines) {
    const Sample s;
    const std::string block = textResultBlock(s.facts, s.summary);
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = block.find("\r\n", from)) != std::string::npos; from = at + 2)
        lines.push_back(block.substr(from, at - from));
    EXPECT_EQ(from, block.size()); // every line ends with CR LF
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], ">>  >> | <<  <<");
    EXPECT_EQ(lines[1], s.facts.examineeName);
    EXPECT_EQ(lines[5], "50.00");
    EXPECT_EQ(lines[6], "2");
    EXPECT_EQ(lines[7], "2");
    EXPECT_EQ(lines[8], "4");
    EXPECT_EQ(lines[11], "A1A0B1D0");
    EXPECT_EQ(lines[12], "80.00"); // 200 of 250 weight
    EXPECT_NE(lines[9].find("6:00:00"), std::string::npos) << lines[9];
    EXPECT_NE(lines[10].find("9:00:00"), std::string::npos) << lines[10];
    // Exactly midnight: the date alone.
    const std::string midnight = dateTimeText(46000.0);
    EXPECT_EQ(lines[9].substr(0, midnight.size() + 1), midnight + " ");
    EXPECT_EQ(midnight.find(':'), std::string::npos) << midnight;
    EXPECT_NE(dateTimeText(46000.0), dateTimeText(46001.0));
}

} // namespace
} // namespace kvz
