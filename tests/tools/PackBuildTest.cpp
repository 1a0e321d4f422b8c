// kvizor-pack build and inspect, run as the teacher runs them, read back by the program's reader
// and by Python's zipfile.

#include "l10n/Cp1251.h"
#include "platform/docview/PageRenderer.h"
#include "run/Checking.h"
#include "run/MarkerBoard.h"
#include "support/TestPaths.h"
#include "test/ArchivePassword.h"
#include "test/MarkScale.h"
#include "test/TestArchive.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A description using every key, questions deliberately out of kind order.
const char* kFullDescription = R"(; a comment line
[Test]
Comment=Проверка: все ключи
Class=9
Subject=Физика
Topics=Силы|Движение
Password=тест
TestTime=00:04:00
QuestionTime=0:01:30
QuestionTimer=0
TimeByDifficulty=1
Order=fixed
NoLockdown=1
Calculator=1
Introduction=intro.txt
Reference=ref.html
AnswerReview=1
TextbookInReview=1
ReferenceAllowed=0

[Marks]
85=отлично
0=плохо
70=хорошо

[Question1]
Kind=D
Page=d.txt
Slots=1,2 3,4 30,30
Right=2,3,1
Difficulty=2

[Question2]
Kind=B
Page=b.piece
Answer=Ньютон
Topic=Силы
Textbook=>Uchebnik/f.pdf|-p 5

[Question3]
Kind=A
Page=a.txt
Choices=5
Right=5
Topic=Движение
Difficulty=1
)";

class PackBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        src = dir.filePath(QStringLiteral("src"));
        QDir().mkpath(src);
        write(src + QStringLiteral("/test.ini"), kFullDescription);
        write(src + QStringLiteral("/intro.txt"), "Вступление");
        write(src + QStringLiteral("/ref.html"), "<b>Справка</b>");
        write(src + QStringLiteral("/d.txt"), "Порядок");
        write(src + QStringLiteral("/a.txt"), "Выбор");
        write(src + QStringLiteral("/b.piece"), piece);
        out = dir.filePath(QStringLiteral("Тест.tst"));
    }
    QTemporaryDir dir;
    QString src, out;
    QByteArray piece = QByteArray("BDOC\x01\0\0\0\x03\0\0\0abc", 15);
};

TEST_F(PackBuildTest, RoundTripThroughTheReader) {
    const PackRun r = pack({QStringLiteral("build"), src, QStringLiteral("-o"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("test.ini: [Question2] Answer: stored as \"ньютон\": "
                                              "typed answers are always in lower case")))
        << r.err.toStdString();
    const QByteArray file = readAll(out);
    const std::string password = "\xF2\xE5\xF1\xF2"; // "тест" in Windows-1251
    EXPECT_FALSE(readTestArchive(file, "").archive);
    ArchiveReadResult read = readTestArchive(file, password);
    ASSERT_TRUE(read.archive) << read.error.toStdString();
    const TestArchive& a = *read.archive;

    ASSERT_EQ(a.questions.size(), 3u);
    const TQuestionRec& qa = a.questions[0];
    EXPECT_EQ(qa.kindText, "A");
    EXPECT_EQ(qa.choiceCount, 5);
    EXPECT_EQ(qa.rightChoice, (std::array<bool, 5>{false, false, false, false, true}));
    EXPECT_FALSE(qa.multiChoice);
    EXPECT_EQ(qa.topic, "\xC4\xE2\xE8\xE6\xE5\xED\xE8\xE5"); // "Движение"
    EXPECT_EQ(qa.difficulty, 1);
    EXPECT_TRUE(qa.body.startsWith("BDOC"));
    const TQuestionRec& qb = a.questions[1];
    EXPECT_EQ(qb.kindText, "B");
    EXPECT_EQ(qb.rightText, "\xED\xFC\xFE\xF2\xEE\xED"); // "ньютон": typed text is lower case
    EXPECT_EQ(qb.body, piece);                           // a .piece goes in as it is
    EXPECT_EQ(qb.textbook, ">Uchebnik/f.pdf|-p 5");
    EXPECT_EQ(qb.difficulty, 50);
    const TQuestionRec& qd = a.questions[2];
    EXPECT_EQ(qd.kindText, "D");
    EXPECT_EQ(qd.choiceCount, 3);
    EXPECT_EQ(qd.rightSlots[0], (TSlotRec{1, 2, 2}));
    EXPECT_EQ(qd.rightSlots[1], (TSlotRec{3, 4, 3}));
    EXPECT_EQ(qd.rightSlots[2], (TSlotRec{30, 30, 1}));
    EXPECT_EQ(qd.rightSlots[3], TSlotRec{});
    EXPECT_EQ(qd.difficulty, 2);
    EXPECT_TRUE(a.hasTextbooks && a.hasSlots && a.hasDifficulties && a.timeByDifficulty);

    const ArchiveSettings& s = a.settings;
    EXPECT_TRUE(s.testTimerOn);
    EXPECT_FALSE(s.questionTimerOn);
    EXPECT_TRUE(s.lockdownOff && s.calculatorAllowed);
    EXPECT_EQ(s.fixedOrder, std::optional<bool>(true));
    EXPECT_EQ(timeOfDayMs(*s.testTime), 240000);
    EXPECT_EQ(timeOfDayMs(*s.questionTime), 90000);
    ASSERT_TRUE(a.settings139);
    EXPECT_TRUE(a.settings139->answerReviewAllowed && a.settings139->textbookInReview);
    EXPECT_FALSE(a.settings139->textbookDuringTest || a.settings139->referenceAllowed);
    EXPECT_TRUE(a.settings139->showIntroduction && a.settings139->showMark);
    // From the lowest band up, each with the highest score it covers; the last one the default.
    ASSERT_EQ(a.settings139->markScale.size(), 3u);
    EXPECT_EQ(a.settings139->markScale[0].threshold, "6999");
    EXPECT_EQ(a.settings139->markScale[1].threshold, "8499");
    EXPECT_EQ(a.settings139->markScale[1].markText, "\xF5\xEE\xF0\xEE\xF8\xEE"); // "хорошо"
    EXPECT_EQ(a.settings139->markScale[2].threshold, "10000");
    EXPECT_TRUE(a.introduction.startsWith("BDOC"));
    EXPECT_TRUE(a.reference.startsWith("BDOC"));

    const std::optional<CatalogueInfo> c = ReadCatalogueFile(out);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->comment, "\xCF\xF0\xEE\xE2\xE5\xF0\xEA\xE0: \xE2\xF1\xE5 \xEA\xEB\xFE\xF7\xE8");
    EXPECT_EQ(c->klass, "9");
    EXPECT_EQ(c->subject, "\xD4\xE8\xE7\xE8\xEA\xE0");
    EXPECT_EQ(c->topics, "\xD1\xE8\xEB\xFB\r\n\xC4\xE2\xE8\xE6\xE5\xED\xE8\xE5");

    // Shared out by difficulty: 1, 50, 2 of four minutes.
    QuestionSet set;
    RunState state;
    applyTestArchive(std::move(*read.archive), set, state);
    EXPECT_EQ(set.questions[0].timeLimitMs, 4528);
    EXPECT_EQ(set.questions[1].timeLimitMs, 226415);
    EXPECT_EQ(set.questions[2].timeLimitMs, 9057);

    const PackRun inspect = pack(
        {QStringLiteral("inspect"), out, QStringLiteral("--password"), QStringLiteral("тест")});
    EXPECT_EQ(inspect.code, 0) << inspect.err.toStdString();
    EXPECT_TRUE(inspect.out.contains(QStringLiteral("B01 #2 kind B: text \"ньютон\"")))
        << inspect.out.toStdString();
    EXPECT_TRUE(
        inspect.out.contains(QStringLiteral("mark 0: 0.00 to 69.99 % -> плохо (threshold 6999)")))
        << inspect.out.toStdString();
    EXPECT_TRUE(
        inspect.out.contains(QStringLiteral("mark 2: 85.00 to 100.00 % -> отлично (the default)")));
    const PackRun wrong = pack({QStringLiteral("inspect"), out});
    EXPECT_NE(wrong.code, 0);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("wrong password"))) << wrong.err.toStdString();
}

TEST_F(PackBuildTest, FaultyDescriptionsNameFileSectionAndKey) {
    struct Case {
        const char* replace;
        const char* with;
        const char* message;
    };
    // Past the 2047 characters an INI value of the program's own files holds: refused by name,
    // never cut.
    const std::string longTopics = "Topics=" + std::string(4001, 't');
    const Case cases[] = {
        {"Kind=D", "Kind=C", "[Question1] Kind: expected A, B or D"},
        {"Right=2,3,1", "Right=2,2,1", "[Question1] Right: expected the numbers 1 to 3"},
        {"Slots=1,2 3,4 30,30", "Slots=1,2 3,4 31,30", "[Question1] Slots:"},
        {"Right=5", "Right=6", "[Question3] Right:"},
        {"Right=5", "Right=1,5\nMultiple=0", "[Question3] Multiple:"},
        {"Answer=Ньютон", "Answer=", "[Question2] Answer: the right answer is empty"},
        {"Page=a.txt", "Page=missing.png", "[Question3] Page:"},
        {"TestTime=00:04:00", "TestTime=4 minutes", "[Test] TestTime:"},
        {"Comment=Проверка: все ключи", "Comment=галочка ✓", "[Test] Comment:"},
        {"Order=fixed", "Order=sometimes", "[Test] Order:"},
        {"85=отлично", "many=отлично", "[Marks] many:"},
        {"85=отлично", "100.5=отлично", "[Marks] 100.5:"},
        {"85=отлично", "70.00=отлично", "[Marks] 70: two marks start at the same percentage"},
        {"0=плохо", "10=плохо", "[Marks]: the lowest mark must start at 0"},
        {"Introduction=intro.txt", "Introduction=\nShowIntroduction=1",
         "[Test] ShowIntroduction: there is no Introduction page"},
        {"Reference=ref.html", "ReferenceAllowed=1",
         "[Test] ReferenceAllowed: there is no Reference page"},
        {"[Question2]", "[Question4]", "[Question2]: the section is missing"},
        {"Calculator=1", "Calculator=maybe", "[Test] Calculator: expected 1 or 0"},
        {"Password=тест", "Password=восемнадцатьбукв18", "[Test] Password: longer than 17"},
        {"Subject=Физика", "Subject=\xD4\xE8\xE7\xE8\xEA\xE0", "[Test] Subject: not UTF-8"},
        {"Topics=Силы|Движение", longTopics.c_str(), "[Test] Topics: longer than 4000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        // Bytes, not text: one case writes a description that is not UTF-8.
        QByteArray text(kFullDescription);
        ASSERT_TRUE(text.contains(c.replace));
        text.replace(c.replace, c.with);
        write(src + QStringLiteral("/test.ini"), text);
        QFile::remove(out);
        const PackRun r = pack({QStringLiteral("build"), src, QStringLiteral("-o"), out});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("test.ini: ") + QString::fromUtf8(c.message)))
            << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    write(src + QStringLiteral("/test.ini"), "[Question1]\nKind=A\n");
    EXPECT_TRUE(pack({QStringLiteral("build"), src, QStringLiteral("-o"), out})
                    .err.contains(QStringLiteral("[Test]: the section is missing")));
    EXPECT_EQ(pack({QStringLiteral("build"), dir.filePath(QStringLiteral("none")),
                    QStringLiteral("-o"), out})
                  .code,
              1);
    EXPECT_EQ(pack({QStringLiteral("build"), src}).code, 2);
}

// A teacher writes each mark from its least percentage; the archive holds the scale from the
// lowest band up in hundredths of a percent, the last entry the default.
TEST_F(PackBuildTest, GradingScaleIsStoredFromTheLowestBandUp) {
    write(src + QStringLiteral("/test.ini"), R"([Test]
[Marks]
85=5
70=4
50=3
0=2
[Question1]
Kind=B
Page=a.txt
Answer=1
)");
    ASSERT_EQ(pack({QStringLiteral("build"), src, QStringLiteral("-o"), out}).code, 0);
    auto zip = MemoryZip::open(readAll(out));
    ASSERT_TRUE(zip);
    zip->setPassword(archivePassword(""));
    QByteArray s139;
    ASSERT_EQ(zip->extract("settings139.dat", kMaxSmallEntrySize, s139), ZipReadStatus::Ok);
    // Six switches, the count, four 16-bit thresholds, then the marks each ended by CR LF.
    const QByteArray expected = QByteArray("\0\0\0\0\0\1\4", 7) +
                                QByteArray("\x87\x13\x57\x1B\x33\x21\x10\x27", 8) +
                                QByteArray("2\r\n3\r\n4\r\n5\r\n");
    EXPECT_EQ(s139.toHex(' '), expected.toHex(' '));

    ArchiveReadResult read = readTestArchive(readAll(out), "");
    ASSERT_TRUE(read.archive);
    const std::vector<MarkEntry>& scale = read.archive->settings139->markScale;
    ASSERT_EQ(scale.size(), 4u);
    const std::pair<double, int> cases[] = {{0, 0},     {49.99, 0}, {50.0, 1}, {69.99, 1},
                                            {84.99, 2}, {85.0, 3},  {100, 3}};
    // Read by the program's own mark choice.
    for (const auto& [score, entry] : cases)
        EXPECT_EQ(ChooseMark(score, scale, int(scale.size())), entry) << score;
    EXPECT_EQ(scale[std::size_t(ChooseMark(85.0, scale, 4))].markText, "5");

    const PackRun inspect = pack({QStringLiteral("inspect"), out});
    for (const char* line : {"mark 0: 0.00 to 49.99 % -> 2 (threshold 4999)",
                             "mark 1: 50.00 to 69.99 % -> 3 (threshold 6999)",
                             "mark 2: 70.00 to 84.99 % -> 4 (threshold 8499)",
                             "mark 3: 85.00 to 100.00 % -> 5 (the default)"})
        EXPECT_TRUE(inspect.out.contains(QString::fromUtf8(line))) << inspect.out.toStdString();
}

TEST(PackMarkScaleTest, PercentagesAndBands) {
    const std::pair<const char*, int> good[] = {{"0", 0},        {"85", 8500},   {"84.5", 8450},
                                                {"84.05", 8405}, {"100", 10000}, {"100.00", 10000}};
    for (const auto& [text, hundredths] : good)
        EXPECT_EQ(pack::parsePercent(text), std::optional<int>(hundredths)) << text;
    for (const char* bad : {"", "-1", "100.01", "101", "1.234", "5.", ".5", "5,5", "1e2", " 5"})
        EXPECT_FALSE(pack::parsePercent(bad)) << bad;

    // A foreign scale out of order has entries the program never gives.
    const std::vector<MarkEntry> backwards = {{"9000", "5"}, {"7000", "4"}, {"100", "2"}};
    EXPECT_EQ(ChooseMark(60.0, backwards, 3), 0);
    EXPECT_FALSE(pack::bandOfEntry(backwards, 1));
    ASSERT_TRUE(pack::bandOfEntry(backwards, 2));
    EXPECT_EQ(pack::bandOfEntry(backwards, 2)->fromHundredths, 9001);
    // One mark is the whole scale.
    const std::vector<MarkEntry> one = pack::storedScale({{0, "OK"}});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].threshold, "10000");
    EXPECT_EQ(ChooseMark(37.5, one, 1), 0);
}

// Without an introduction or a reference page the archive turns both off, so the program shows
// no empty page; with one, it is on.
TEST_F(PackBuildTest, PagesAreShownOnlyWhenGiven) {
    write(src + QStringLiteral("/test.ini"),
          "[Test]\n[Question1]\nKind=A\nPage=a.txt\nChoices=2\nRight=1\n");
    ASSERT_EQ(pack({QStringLiteral("build"), src, QStringLiteral("-o"), out}).code, 0);
    ArchiveReadResult read = readTestArchive(readAll(out), "");
    ASSERT_TRUE(read.archive && read.archive->settings139);
    EXPECT_FALSE(read.archive->settings139->showIntroduction);
    EXPECT_FALSE(read.archive->settings139->referenceAllowed);
    EXPECT_FALSE(read.archive->settings139->showMark);

    write(src + QStringLiteral("/test.ini"),
          "[Test]\nIntroduction=intro.txt\nReference=ref.html\n"
          "[Question1]\nKind=A\nPage=a.txt\nChoices=2\nRight=1\n");
    ASSERT_EQ(pack({QStringLiteral("build"), src, QStringLiteral("-o"), out}).code, 0);
    read = readTestArchive(readAll(out), "");
    ASSERT_TRUE(read.archive && read.archive->settings139);
    EXPECT_TRUE(read.archive->settings139->showIntroduction);
    EXPECT_TRUE(read.archive->settings139->referenceAllowed);
}

// The questions' own topics make the catalogue when the test names none: 254 long ones would
// not fit where readers look for the end of the archive, and the build says which field.
TEST_F(PackBuildTest, CatalogueTooLongForReadersIsRefused) {
    QByteArray text("[Test]\nComment=" + QByteArray(2000, 'c') + "\n");
    for (int k = 1; k <= 254; ++k) {
        const QByteArray topic = QByteArray::number(k);
        text += "[Question" + topic + "]\nKind=B\nPage=b.piece\nAnswer=x\nTopic=" + topic +
                QByteArray(255 - topic.size(), 't') + "\n";
    }
    write(src + QStringLiteral("/test.ini"), text);
    const PackRun r = pack({QStringLiteral("build"), src, QStringLiteral("-o"), out});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("test.ini: [Test] Topics: the catalogue")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// Only regular files are read: a device would be read for ever, a pipe waited on for ever. Every
// command that reads a named file, and the description a build reads.
TEST_F(PackBuildTest, CommandsRefuseWhatIsNoRegularFile) {
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    const QString zero = dir.filePath(QStringLiteral("zero.png"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString made = dir.filePath(QStringLiteral("made"));
    for (const QString& path : {QStringLiteral("/dev/zero"), zero, fifo, src}) {
        for (const QStringList& args :
             {QStringList{QStringLiteral("inspect"), path},
              QStringList{QStringLiteral("page"), path, QStringLiteral("-o"), made},
              QStringList{QStringLiteral("render"), path, QStringLiteral("-o"), made}}) {
            SCOPED_TRACE((args.join(QLatin1Char(' '))).toStdString());
            const PackRun r = pack(args);
            EXPECT_EQ(r.code, 1);
            EXPECT_TRUE(r.err.contains(QStringLiteral("not a regular file")))
                << r.err.toStdString();
            EXPECT_FALSE(QFile::exists(made));
        }
    }
    // A description that is a pipe.
    const QString pipeFolder = dir.filePath(QStringLiteral("piped"));
    ASSERT_TRUE(QDir().mkpath(pipeFolder));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("mkfifo"), {pipeFolder + QStringLiteral("/test.ini")}), 0);
    const PackRun r = pack({QStringLiteral("build"), pipeFolder, QStringLiteral("-o"), out});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("test.ini: not a regular file")))
        << r.err.toStdString();
}

// Python's zipfile is an independent reader of traditional PKWARE encryption: it must decrypt
// every entry kvizor-pack wrote, byte for byte as our reader sees it.
TEST_F(PackBuildTest, PythonZipfileDecryptsEveryEntry) {
    ASSERT_EQ(pack({QStringLiteral("build"), src, QStringLiteral("-o"), out}).code, 0);
    const std::string password = archivePassword("\xF2\xE5\xF1\xF2");
    const QString script = QStringLiteral(
        "import sys, zipfile, hashlib\n"
        "pwd = bytes.fromhex(sys.argv[2])\n"
        "with zipfile.ZipFile(sys.argv[1]) as z:\n"
        "    for i in z.infolist():\n"
        "        assert i.flag_bits & 1, i.filename\n"
        "        assert i.compress_type == zipfile.ZIP_DEFLATED, i.filename\n"
        "        print(i.filename, hashlib.sha256(z.read(i, pwd=pwd)).hexdigest())\n");
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"), script, out,
              QString::fromLatin1(QByteArray::fromStdString(password).toHex())});
    ASSERT_TRUE(py.waitForFinished(60000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QStringList lines =
        QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 7);
    const QByteArray file = readAll(out);
    auto zip = MemoryZip::open(file);
    ASSERT_TRUE(zip);
    zip->setPassword(password);
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        ASSERT_EQ(parts.size(), 2);
        QByteArray data;
        ASSERT_EQ(zip->extract(parts[0].toStdString(), kMaxWordDocSize, data), ZipReadStatus::Ok);
        EXPECT_EQ(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(),
                  parts[1].toLatin1())
            << parts[0].toStdString();
    }
}

// The sample tests shipped with the program build and load, with the settings each one shows off.
TEST(PackSamplesTest, EverySampleBuildsAndLoads) {
    QTemporaryDir dir;
    struct Sample {
        const char* folder;
        std::string password;
        std::vector<std::string> labels;
        bool introduction;
    };
    const Sample samples[] = {
        {"math-kinds", "", {"A01", "A02", "B01", "D01"}, true},
        {"history-order", "", {"A01", "A02", "B01", "B02", "D01"}, false},
        {"physics-password", "\xF4\xE8\xE7\xE8\xEA\xE0", {"A01", "A02", "B01"}, true},
        {"geography-difficulty", "", {"A01", "A02", "B01", "D01"}, false},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.folder);
        const QString out = dir.filePath(QLatin1String(s.folder) + QStringLiteral(".tst"));
        const PackRun r =
            pack({QStringLiteral("build"),
                  testing::sourceDir() + QStringLiteral("/data/samples/") + QLatin1String(s.folder),
                  QStringLiteral("-o"), out});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        // Nothing to change on the way.
        EXPECT_FALSE(r.err.contains(QStringLiteral("kvizor-pack:"))) << r.err.toStdString();
        ArchiveReadResult read = readTestArchive(readAll(out), s.password);
        ASSERT_TRUE(read.archive) << read.error.toStdString();
        // A sample that left its order unset would run in whatever order the test before left.
        EXPECT_TRUE(read.archive->settings.fixedOrder.has_value());
        QuestionSet set;
        RunState state;
        const bool password = !s.password.empty();
        const bool difficulty = read.archive->hasDifficulties;
        const bool marks = read.archive->settings139.has_value();
        applyTestArchive(std::move(*read.archive), set, state);
        EXPECT_EQ(set.labels, s.labels);
        EXPECT_EQ(state.showIntroduction, s.introduction);
        for (const TQuestionRec& q : set.questions)
            EXPECT_EQ(q.rightText, cp1251::ansiLower(q.rightText)); // a pupil can type it
        for (const TQuestionRec& q : set.questions)
            EXPECT_GE(q.timeLimitMs, 60000); // every question open, whatever its clock
        if (password) {
            EXPECT_TRUE(marks && state.showMark && state.textbookDuringTest);
            ASSERT_EQ(state.markCount, 4);
            // From 90 % "5": 89.99 % is a "4", 90 % a "5", 10 % a "2".
            const auto mark = [&](double score) {
                const int e = ChooseMark(score, state.markScale, state.markCount);
                return e < 0 ? std::string()
                             : state.markScale[std::size_t(e)].markText.substr(0, 1);
            };
            EXPECT_EQ(mark(89.99), "4");
            EXPECT_EQ(mark(90), "5");
            EXPECT_EQ(mark(10), "2");
        }
        if (difficulty) {
            EXPECT_TRUE(state.timeByDifficulty);
            EXPECT_EQ(set.questions.back().timeLimitMs, 240000);
        }
    }
}

// The rivers of the geography sample's ordering question, longest first: the right answer puts
// them in the order of their lengths.
TEST(PackSamplesTest, GeographyRiversAreOrderedByLength) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("geo.tst"));
    const PackRun r =
        pack({QStringLiteral("build"),
              testing::sourceDir() + QStringLiteral("/data/samples/geography-difficulty"),
              QStringLiteral("-o"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ArchiveReadResult read = readTestArchive(readAll(out), "");
    ASSERT_TRUE(read.archive) << read.error.toStdString();
    const TQuestionRec& d = read.archive->questions.back();
    ASSERT_EQ(d.kind(), 'D');
    // The boxes top to bottom: Don, Ob with Irtysh, Yenisei with Angara, Pechora.
    const int lengthKm[] = {1870, 5410, 5539, 1809};
    for (int i = 0; i < 4; ++i) {
        int longer = 0;
        for (int k : lengthKm)
            longer += k > lengthKm[i];
        EXPECT_EQ(d.rightSlots[std::size_t(i)].number, longer + 1) << "box " << i;
    }
}

// The ordering samples are drawn so that each slot's cell lies inside one of the page's boxes:
// the marker sits in its box with nothing printed under it, on screens of every shape.
TEST(PackSamplesTest, OrderingSamplesPutEachMarkerInABox) {
    QTemporaryDir dir;
    // The question area on 1024 x 768, 1280 x 1024, 1920 x 1080, 800 x 600, 1366 x 768 and a
    // screen turned upright.
    const QSize viewers[] = {{950, 650}, {1210, 910}, {1850, 970},
                             {730, 490}, {1296, 658}, {700, 1170}};
    int checked = 0;
    for (const char* folder : {"math-kinds", "history-order", "geography-difficulty"}) {
        SCOPED_TRACE(folder);
        const QString out = dir.filePath(QLatin1String(folder) + QStringLiteral(".tst"));
        const PackRun r =
            pack({QStringLiteral("build"),
                  testing::sourceDir() + QStringLiteral("/data/samples/") + QLatin1String(folder),
                  QStringLiteral("-o"), out});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        ArchiveReadResult read = readTestArchive(readAll(out), {});
        ASSERT_TRUE(read.archive) << read.error.toStdString();
        for (const TQuestionRec& q : read.archive->questions) {
            if (q.kind() != 'D')
                continue;
            docview::PageRenderer renderer;
            QString why;
            ASSERT_TRUE(renderer.loadPiece(
                docview::asBytes(q.body.constData(), std::size_t(q.body.size())), why))
                << why.toStdString();
            for (const QSize& viewer : viewers) {
                MarkerBoard board;
                board.setPage(renderer.pageRect(viewer));
                const QImage shown = renderer.render(viewer);
                ASSERT_FALSE(shown.isNull());
                // Thin lines turn grey when the page is drawn smaller.
                const auto ink = [&shown](int x, int y) { return qGray(shown.pixel(x, y)) < 200; };
                for (int i = 0; i < q.choiceCount; ++i) {
                    const TSlotRec& slot = q.rightSlots[std::size_t(i)];
                    const QRect cell = board.cellRect({slot.col, slot.row});
                    const std::string what = "slot " + std::to_string(i + 1) + " at " +
                                             std::to_string(viewer.width()) + "x" +
                                             std::to_string(viewer.height());
                    // The round marker fills the middle of its cell.
                    const int side = std::min(cell.width(), cell.height()) * 9 / 10;
                    QRect disc(0, 0, side, side);
                    disc.moveCenter(cell.center());
                    int inked = 0;
                    for (int y = disc.top(); y <= disc.bottom(); ++y)
                        for (int x = disc.left(); x <= disc.right(); ++x)
                            inked += ink(x, y);
                    EXPECT_EQ(inked, 0) << what << ": the marker hides part of the page";
                    // A box line on every side, close around the marker.
                    const QPoint c = disc.center();
                    const int reachX = cell.width() * 3 / 2;
                    const int reachY = cell.height() * 3 / 2;
                    const auto lineAt = [&](int dx, int dy, int reach) {
                        for (int k = 1; k <= reach; ++k)
                            if (ink(c.x() + dx * k, c.y() + dy * k))
                                return true;
                        return false;
                    };
                    EXPECT_TRUE(lineAt(-1, 0, reachX)) << what << ": no box left of the marker";
                    EXPECT_TRUE(lineAt(1, 0, reachX)) << what << ": no box right of the marker";
                    EXPECT_TRUE(lineAt(0, -1, reachY)) << what << ": no box above the marker";
                    EXPECT_TRUE(lineAt(0, 1, reachY)) << what << ": no box below the marker";
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, (4 + 3 + 4) * 6) << "every ordering sample was looked at";
}

} // namespace
} // namespace kvz
