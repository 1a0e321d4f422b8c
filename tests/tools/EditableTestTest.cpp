// The editor's test model: open and save through the one reader and writer, the marks scale as
// bands, the checks before a save, the folder format, and the save that never breaks the old file.

#include "test/EditableTest.h"
#include "l10n/Cp1251.h"
#include "platform/docview/PieceWriter.h"
#include "run/Checking.h"
#include "support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kvz {
namespace {

struct PackRun {
    int code = -1;
    QString out;
    QString err;
};

PackRun pack(const QStringList& args) {
    QProcess p;
    p.start(testing::binaryDir() + QStringLiteral("/tools/kvizor-pack"), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// inspect's report without its first line, which names the file and its size.
QString inspect(const QString& path, const std::string& password) {
    QStringList args{QStringLiteral("inspect"), path};
    if (!password.empty())
        args << QStringLiteral("--password") << cp1251::toUnicode(password);
    const PackRun r = pack(args);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QStringList lines = r.out.split(QLatin1Char('\n'));
    if (!lines.isEmpty())
        lines.removeFirst();
    return lines.join(QLatin1Char('\n'));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray page(QColor colour) {
    QImage image(230, 162, QImage::Format_RGB32);
    image.fill(colour);
    return docview::pieceFromImage(image, QStringLiteral("page")).piece;
}

struct Sample {
    const char* folder;
    std::string password;
};
const Sample kSamples[] = {
    {"math-kinds", ""},
    {"history-order", ""},
    {"physics-password", "\xF4\xE8\xE7\xE8\xEA\xE0"},
    {"geography-difficulty", ""},
};

QString buildSample(const QTemporaryDir& dir, const char* folder) {
    const QString out = dir.filePath(QLatin1String(folder) + QStringLiteral(".tst"));
    const PackRun r =
        pack({QStringLiteral("build"),
              testing::sourceDir() + QStringLiteral("/data/samples/") + QLatin1String(folder),
              QStringLiteral("-o"), out});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return out;
}

// Every sample opened and saved unchanged is the same test; so is the sample exported to the
// folder format and built back from it, by the editor's import and by kvizor-pack build.
TEST(EditableTestTest, SamplesSurviveSaveAndFolderUnchanged) {
    QTemporaryDir dir;
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.folder);
        const QString built = buildSample(dir, s.folder);
        const QString before = inspect(built, s.password);
        ASSERT_FALSE(before.isEmpty());

        // A wrong password first: the hook is asked and its answer opens the test.
        int asked = 0;
        ArchiveReadHooks hooks;
        hooks.askPassword = [&]() -> std::optional<std::string> {
            ++asked;
            return s.password;
        };
        OpenResult opened = EditableTest::open(built, s.password.empty() ? "" : "wrong", hooks);
        ASSERT_TRUE(opened.test) << opened.error.toStdString();
        EXPECT_EQ(asked, s.password.empty() ? 0 : 1);
        EXPECT_EQ(opened.test->password, s.password);
        EXPECT_TRUE(opened.test->check().empty());

        const QString saved = dir.filePath(QLatin1String(s.folder) + QStringLiteral("-saved.tst"));
        QString why;
        ASSERT_TRUE(opened.test->save(saved, &why)) << why.toStdString();
        EXPECT_EQ(inspect(saved, s.password), before);

        const QString folder = dir.filePath(QLatin1String(s.folder) + QStringLiteral("-folder"));
        ASSERT_TRUE(opened.test->exportFolder(folder, &why)) << why.toStdString();
        std::optional<EditableTest> imported = EditableTest::importFolder(folder, why);
        ASSERT_TRUE(imported) << why.toStdString();
        const QString reimported = dir.filePath(QLatin1String(s.folder) + QStringLiteral("-i.tst"));
        ASSERT_TRUE(imported->save(reimported, &why)) << why.toStdString();
        EXPECT_EQ(inspect(reimported, s.password), before);
        const QString rebuilt = dir.filePath(QLatin1String(s.folder) + QStringLiteral("-b.tst"));
        const PackRun r = pack({QStringLiteral("build"), folder, QStringLiteral("-o"), rebuilt});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(inspect(rebuilt, s.password), before);
    }
}

// A test made from nothing, one question of each kind, saved, read by the program's loader and
// answered right through the run logic: every answer is judged right and the mark is the top one.
TEST(EditableTestTest, EachKindMadeHereRunsToARightResult) {
    QTemporaryDir dir;
    EditableTest t = EditableTest::makeNew();
    t.catalogue.comment = "\xCF\xF0\xEE\xE2\xE5\xF0\xEA\xE0"; // "Проверка"
    t.catalogue.klass = "9";
    t.password = "abc";
    ASSERT_EQ(t.archive.questions.size(), 1u);
    int a = 0;
    t.archive.questions[0].body = page(Qt::white);
    t.setChoiceCount(a, 3);
    t.archive.questions[0].rightChoice = {false, true, true, false, false};
    t.archive.questions[0].multiChoice = true;
    int d = t.addQuestion('D', 0);
    int b = t.addQuestion('B', 0);
    EXPECT_EQ(t.labels(), (std::vector<std::string>{"A01", "B01", "D01"}));
    ASSERT_EQ(b, 1);
    d = 2;
    t.archive.questions[std::size_t(b)].body = page(Qt::yellow);
    t.archive.questions[std::size_t(b)].rightText = "\xec\xee\xf1\xea\xe2\xe0"; // "москва"
    t.archive.questions[std::size_t(d)].body = page(Qt::cyan);
    t.setChoiceCount(d, 2);
    t.archive.questions[std::size_t(d)].rightSlots[0].number = 2;
    t.archive.questions[std::size_t(d)].rightSlots[1].number = 1;
    t.setBands({{0, "2"}, {5000, "3"}, {8500, "5"}});
    t.settings139().showMark = true;
    ASSERT_TRUE(t.check().empty()) << t.check().front().text.toStdString();

    const QString path = dir.filePath(QStringLiteral("made.tst"));
    QString why;
    ASSERT_TRUE(t.save(path, &why)) << why.toStdString();

    for (bool right : {true, false}) {
        SCOPED_TRACE(right);
        ArchiveReadResult read = readTestArchive(readAll(path), "abc");
        ASSERT_TRUE(read.archive) << read.error.toStdString();
        QuestionSet set;
        RunState state;
        applyTestArchive(std::move(*read.archive), set, state);
        ASSERT_EQ(set.labels, (std::vector<std::string>{"A01", "B01", "D01"}));
        startRunLogic(set, state, 7);
        set.answers[0].chosen = {false, true, true, false, false};
        set.answers[1].text = right ? "\xec\xee\xf1\xea\xe2\xe0" : "\xec\xe8\xed\xf1\xea";
        // The run starts the markers at 1, 2: the right order puts 2 first.
        EXPECT_EQ(set.answers[2].slots[0].number, 1);
        set.answers[2].slots[0].number = 2;
        set.answers[2].slots[1].number = 1;
        std::vector<std::string> verdicts;
        CheckSummary summary;
        CheckAnswers(set, "+", "-", verdicts, summary);
        EXPECT_EQ(verdicts, (std::vector<std::string>{"+", right ? "+" : "-", "+"}));
        EXPECT_EQ(summary.verdictCode, right ? "A1B1D1" : "A1B0D1");
        const int mark =
            ChooseMark(summary.gainedWeight, summary.totalWeight, state.markScale, state.markCount);
        ASSERT_GE(mark, 0);
        EXPECT_EQ(state.markScale[std::size_t(mark)].markText, right ? "5" : "3");
        EXPECT_TRUE(state.showMark);
    }
}

TEST(EditableTestTest, BandsConvertToTheStoredScaleAndBackExactly) {
    const std::vector<MarkBand> bands{{0, "2"}, {5000, "3"}, {7000, "4"}, {8450, "5"}};
    const std::vector<MarkEntry> stored = scaleOfBands({bands[2], bands[0], bands[3], bands[1]});
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0].threshold, "4999");
    EXPECT_EQ(stored[1].threshold, "6999");
    EXPECT_EQ(stored[2].threshold, "8449");
    EXPECT_EQ(stored[3].markText, "5");
    EXPECT_EQ(bandsOfScale(stored), bands);
    // As the reader gives the last threshold (10000 reads as "100") nothing changes.
    std::vector<MarkEntry> read = stored;
    read.back().threshold = "100";
    EXPECT_EQ(bandsOfScale(read), bands);
    // A stored scale from elsewhere, thresholds out of order: an entry never given is no band.
    EXPECT_EQ(bandsOfScale({{"6000", "a"}, {"3000", "b"}, {"10000", "c"}}),
              (std::vector<MarkBand>{{0, "a"}, {6001, "c"}}));
}

// Each fault that would stop kvizor-pack build, or make a test nobody can pass, is named by its
// field and question; a test with any of them is not written and the old file stays.
TEST(EditableTestTest, ChecksNameTheFieldBeforeSaving) {
    struct Case {
        const char* name;
        std::function<void(EditableTest&)> change;
        TestField field;
        int question;
        const char* words;
    };
    // Questions: 0 A, 1 B, 2 D with slots at (2,2) (2,5) (2,8).
    const Case cases[] = {
        {"no right choice", [](EditableTest& t) { t.archive.questions[0].rightChoice = {}; },
         TestField::RightChoice, 0, "no choice is marked right"},
        {"several right, radio buttons",
         [](EditableTest& t) {
             t.archive.questions[0].rightChoice = {true, true};
         },
         TestField::RightChoice, 0, "check boxes"},
        {"typed answer with a capital",
         [](EditableTest& t) { t.archive.questions[1].rightText = "Paris"; }, TestField::Answer, 1,
         "never match"},
        {"empty typed answer", [](EditableTest& t) { t.archive.questions[1].rightText.clear(); },
         TestField::Answer, 1, "empty"},
        {"slot off the page",
         [](EditableTest& t) { t.archive.questions[2].rightSlots[1].col = 25; }, TestField::Slots,
         2, "off the page"},
        {"slot below the page",
         [](EditableTest& t) { t.archive.questions[2].rightSlots[0].row = 16; }, TestField::Slots,
         2, "off the page"},
        {"two slots in one place",
         [](EditableTest& t) { t.archive.questions[2].rightSlots[1].row = 2; }, TestField::Slots, 2,
         "same place"},
        {"order not 1..n", [](EditableTest& t) { t.archive.questions[2].rightSlots[0].number = 2; },
         TestField::SlotOrder, 2, "1 to 3"},
        {"no page", [](EditableTest& t) { t.archive.questions[1].body.clear(); }, TestField::Page,
         1, "no page"},
        {"scale not from 0",
         [](EditableTest& t) {
             t.setBands({{3000, "3"}, {7000, "5"}});
         },
         TestField::Marks, -1, "does not cover 0 to 100 %"},
        {"scale past 100",
         [](EditableTest& t) {
             t.setBands({{0, "2"}, {10001, "5"}});
         },
         TestField::Marks, -1, "between 0 and 100"},
        {"two bands at one score",
         [](EditableTest& t) {
             t.setBands({{0, "2"}, {0, "5"}});
         },
         TestField::Marks, -1, "two marks start at 0"},
        {"mark shown without a scale", [](EditableTest& t) { t.settings139().showMark = true; },
         TestField::Marks, -1, "no marks scale"},
        {"introduction shown without a page",
         [](EditableTest& t) { t.settings139().showIntroduction = true; }, TestField::Introduction,
         -1, "no page"},
        {"password too long", [](EditableTest& t) { t.password = std::string(18, 'x'); },
         TestField::Password, -1, "17"},
        {"shared time without test time",
         [](EditableTest& t) {
             t.archive.timeByDifficulty = true;
             t.archive.settings.testTime = 0;
             t.archive.settings.testTimerOn = false;
         },
         TestField::TestTime, -1, "test time"},
        {"long topic",
         [](EditableTest& t) { t.archive.questions[0].topic = std::string(256, 'x'); },
         TestField::Topic, 0, "255"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.tst"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditableTest t = EditableTest::makeNew();
        t.archive.questions[0].body = page(Qt::white);
        t.addQuestion('B', 0);
        t.addQuestion('D', 1);
        t.archive.questions[1].body = page(Qt::white);
        t.archive.questions[1].rightText = "paris";
        t.archive.questions[2].body = page(Qt::white);
        ASSERT_TRUE(t.check().empty()) << t.check().front().text.toStdString();
        QString why;
        ASSERT_TRUE(t.save(path, &why)) << why.toStdString();
        const QByteArray old = readAll(path);

        c.change(t);
        const std::vector<TestIssue> issues = t.check();
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_EQ(issues[0].field, c.field);
        EXPECT_EQ(issues[0].question, c.question);
        EXPECT_TRUE(issues[0].text.contains(QLatin1String(c.words)))
            << issues[0].text.toStdString();
        EXPECT_FALSE(t.save(path, &why));
        EXPECT_FALSE(why.isEmpty());
        EXPECT_EQ(readAll(path), old);
    }
}

TEST(EditableTestTest, QuestionsStayGroupedByKind) {
    EditableTest t = EditableTest::makeNew();
    t.archive.questions[0].topic = "a1";
    const int d = t.addQuestion('D', 0);
    EXPECT_EQ(d, 1);
    const int b = t.addQuestion('B', 1); // after the D: it goes before it
    EXPECT_EQ(b, 1);
    t.archive.questions[1].topic = "b1";
    const int a2 = t.duplicateQuestion(0);
    EXPECT_EQ(a2, 1);
    EXPECT_EQ(t.labels(), (std::vector<std::string>{"A01", "A02", "B01", "D01"}));
    // Dragged past the D: it stays last of the A questions.
    EXPECT_EQ(t.moveQuestion(0, 3), 1);
    EXPECT_EQ(t.archive.questions[1].topic, "a1");
    // A new kind joins its group, first of it when it stood before it.
    EXPECT_EQ(t.setKind(2, 'D'), 2);
    EXPECT_EQ(t.archive.questions[2].topic, "b1");
    EXPECT_EQ(t.archive.questions[2].choiceCount, 3);
    EXPECT_TRUE(t.archive.questions[2].rightText.empty());
    t.removeQuestion(0);
    EXPECT_EQ(t.labels(), (std::vector<std::string>{"A01", "D01", "D02"}));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(t.archive.questions[std::size_t(k)].sourceNo, k + 1);
    // Fewer slots keep a whole order; more get the next numbers.
    t.archive.questions[1].rightSlots[0].number = 3;
    t.archive.questions[1].rightSlots[2].number = 1;
    t.setChoiceCount(1, 2);
    EXPECT_EQ(t.archive.questions[1].rightSlots[0].number, 1);
    EXPECT_EQ(t.archive.questions[1].rightSlots[1].number, 2);
    t.setChoiceCount(1, 4);
    EXPECT_EQ(t.archive.questions[1].rightSlots[3].number, 4);
    EXPECT_EQ(t.archive.questions[1].rightSlots[3].row, 8); // below the one before
}

TEST(EditableTestTest, SavingReplacesWholeOrNotAtAll) {
    QTemporaryDir dir;
    EditableTest t = EditableTest::makeNew();
    t.archive.questions[0].body = page(Qt::white);
    const QString path = dir.filePath(QStringLiteral("t.tst"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ReadGroup));
    QString why;
    ASSERT_TRUE(t.save(path, &why)) << why.toStdString();
    EXPECT_TRUE(readTestArchive(readAll(path), "").archive);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the old file's mode
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("t.tst")}); // no temporary left

    // What is no regular file is refused at once, without waiting on a pipe.
    const QString fifo = dir.filePath(QStringLiteral("fifo.tst"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& bad : {fifo, dir.path(), dir.filePath(QStringLiteral("none.tst"))}) {
        const OpenResult r = EditableTest::open(bad, "");
        EXPECT_FALSE(r.test);
        EXPECT_FALSE(r.error.isEmpty());
    }
    ASSERT_TRUE(QFile::remove(fifo));

    // A folder where the file should be, and a folder that does not exist: nothing is made.
    EXPECT_FALSE(t.save(dir.path(), &why));
    EXPECT_FALSE(t.save(dir.filePath(QStringLiteral("none/t.tst")), &why));
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("t.tst")});
}

} // namespace
} // namespace kvz
