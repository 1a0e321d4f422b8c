// Item analysis against figures worked out by hand: five pupils, five questions, one pupil's
// test shuffled, a tie at the edge of the lower 27 % group, a question nobody answered, one
// that weaker pupils did better on; then one pupil alone and a class that all scored the same.

#include "results/ItemAnalysis.h"
#include "l10n/Cp1251.h"
#include "results/ReportHtml.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace kvz {
namespace {

std::string cp(const char16_t* s) {
    return cp1251::fromUnicode(QString::fromUtf16(s));
}

struct Q {
    int source;
    char kind;
    const char16_t* topic;
    const char* key;
    const char16_t* given; // nullptr: not answered
    bool right;
    int seconds;
};

ResultRecord pupil(const char16_t* name, const char16_t* group, std::vector<Q> qs, double minutes) {
    ResultRecord r;
    r.facts.examineeName = cp(name);
    r.facts.group = cp(group);
    r.facts.subject = "S";
    r.facts.testName = "T";
    r.facts.startTime = 46000.5;
    r.facts.finishTime = minutes > 0 ? 46000.5 + minutes / 1440.0 : 0;
    r.questionCount = int(qs.size());
    int running[256] = {};
    for (const Q& q : qs) {
        ResultQuestion x;
        x.sourceNo = q.source;
        x.kind = q.kind;
        x.topic = cp(q.topic);
        x.difficulty = 1;
        x.choiceCount = q.kind == 'A' ? 3 : q.kind == 'D' ? 3 : 0;
        x.rightAnswer = cp1251::fromUnicode(QString::fromUtf8(q.key));
        x.answered = q.given != nullptr;
        x.givenAnswer = q.given ? cp(q.given) : std::string();
        x.right = q.right;
        x.timeSpentMs = q.seconds * 1000;
        // The label a run gives: kind letter and running number in the pupil's own list.
        char n[8];
        std::snprintf(n, sizeof n, "%02d", ++running[static_cast<unsigned char>(q.kind)]);
        x.label = std::string(1, q.kind) + n;
        r.rightCount += q.right ? 1 : 0;
        r.answeredCount += x.answered ? 1 : 0;
        r.verdictCode += std::string(1, q.kind) + (q.right ? '1' : '0');
        r.questions.push_back(std::move(x));
    }
    return r;
}

// Source order: 1 A "Дроби" (option 2), 2 B "Слова" ("мир"), 3 D "Дроби" ("1, 2, 3"), 4 B "Слова"
// nobody answers, 5 A without a topic (option 1) that the weaker pupils get right.
//   pupil   1  2  3  4  5   score
//   Анна    R  R  R  -  W   60
//   Борис   R  W  R  -  W   40   (shuffled: 5, 3, 1, 4, 2)
//   Вера    W  R  W  -  R   40
//   Глеб    W  W  W  -  R   20
//   Дина    -  W  R  -  W   20   (finish time lost)
std::vector<ResultRecord> classTable() {
    const char* a2 = "0100000000";
    const char* a1 = "1000000000";
    return {
        pupil(u"Анна", u"9А",
              {{1, 'A', u"Дроби", a2, u"0100000000", true, 10},
               {2, 'B', u"Слова", "мир", u"мир", true, 5},
               {3, 'D', u"Дроби", "1, 2, 3", u"1, 2, 3", true, 20},
               {4, 'B', u"Слова", "x", nullptr, false, 0},
               {5, 'A', u"", a1, u"0010000000", false, 1}},
              10),
        pupil(u"Борис", u"9А",
              {{5, 'A', u"", a1, u"0100000000", false, 1},
               {3, 'D', u"Дроби", "1, 2, 3", u"1, 2, 3", true, 20},
               {1, 'A', u"Дроби", a2, u"0100000000", true, 20},
               {4, 'B', u"Слова", "x", nullptr, false, 0},
               {2, 'B', u"Слова", "мир", u"мор", false, 5}},
              20),
        pupil(u"Вера", u"9А",
              {{1, 'A', u"Дроби", a2, u"1000000000", false, 30},
               {2, 'B', u"Слова", "мир", u"мир", true, 5},
               {3, 'D', u"Дроби", "1, 2, 3", u"2, 1, 3", false, 20},
               {4, 'B', u"Слова", "x", nullptr, false, 0},
               {5, 'A', u"", a1, u"1000000000", true, 1}},
              30),
        pupil(u"Глеб", u"9А",
              {{1, 'A', u"Дроби", a2, u"0010000000", false, 40},
               {2, 'B', u"Слова", "мир", u"мор", false, 5},
               {3, 'D', u"Дроби", "1, 2, 3", u"2, 1, 3", false, 20},
               {4, 'B', u"Слова", "x", nullptr, false, 0},
               {5, 'A', u"", a1, u"1000000000", true, 1}},
              40),
        pupil(u"Дина", u"9А",
              {{1, 'A', u"Дроби", a2, nullptr, false, 50},
               {2, 'B', u"Слова", "мир", u"мар", false, 5},
               {3, 'D', u"Дроби", "1, 2, 3", u"1, 2, 3", true, 20},
               {4, 'B', u"Слова", "x", nullptr, false, 0},
               {5, 'A', u"", a1, u"0010000000", false, 1}},
              0),
    };
}

TestAnalysis analyse(const std::vector<ResultRecord>& records,
                     const std::vector<MarkEntry>& scale = {}) {
    std::vector<const ResultRecord*> ptrs;
    std::vector<std::size_t> sources;
    for (std::size_t i = 0; i < records.size(); ++i) {
        ptrs.push_back(&records[i]);
        sources.push_back(i);
    }
    return analyseTest(ptrs, sources, scale);
}

bool hasFlag(const ItemStats& it, ItemFlag f) {
    return std::find(it.flags.begin(), it.flags.end(), f) != it.flags.end();
}

TEST(ItemAnalysisTest, QuestionsOfAClassAgainstTheHandWorkedTable) {
    const std::vector<ResultRecord> records = classTable();
    const TestAnalysis t = analyse(records);
    ASSERT_EQ(t.items.size(), 5u);

    struct Row {
        int source;
        const char* label;
        double difficulty;
        std::optional<double> discrimination;
        std::optional<double> pointBiserial;
        double meanSeconds;
        std::vector<ItemFlag> flags;
    };
    // Lower group: Глеб and Дина tie at 20 for its one place, so each counts half.
    const std::vector<Row> rows = {
        {1, "A01", 0.4, 1.0, 0.7637626, 30, {}},
        {2, "B01", 0.4, 1.0, 0.7637626, 5, {}},
        {3, "D01", 0.6, 0.5, 0.3273268, 20, {}},
        {4, "B02", 0.0, 0.0, std::nullopt, 0, {ItemFlag::NobodyAnswered}},
        {5, "A02", 0.4, -0.5, -0.3273268, 1, {ItemFlag::NegativeDiscrimination}},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& want = rows[i];
        const ItemStats& it = t.items[i];
        SCOPED_TRACE(want.label);
        EXPECT_EQ(it.sourceNo, want.source);
        EXPECT_EQ(it.label, want.label);
        EXPECT_EQ(it.pupils, 5);
        EXPECT_NEAR(it.difficultyIndex, want.difficulty, 1e-9);
        ASSERT_EQ(it.discrimination.has_value(), want.discrimination.has_value());
        if (want.discrimination) {
            EXPECT_NEAR(*it.discrimination, *want.discrimination, 1e-9);
        }
        ASSERT_EQ(it.pointBiserial.has_value(), want.pointBiserial.has_value());
        if (want.pointBiserial) {
            EXPECT_NEAR(*it.pointBiserial, *want.pointBiserial, 1e-6);
        }
        EXPECT_NEAR(it.meanTimeMs, want.meanSeconds * 1000, 1e-6);
        EXPECT_EQ(it.flags, want.flags);
    }
    EXPECT_EQ(t.items[3].pointBiserialWhy, Undefined::AllSameAnswer);

    // Distractors of question 1: option 1 and 3 once each, the right option 2 twice, Дина none.
    EXPECT_EQ(t.items[0].optionCounts, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(t.items[0].optionRight, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(t.items[0].notAnsweredCount, 1);
    // Борис chose option 2 on the shuffled question 5: counted there, not on question 1.
    EXPECT_EQ(t.items[4].optionCounts, (std::vector<int>{2, 1, 2}));
    // Frequent wrong typed answers and orders, most frequent first.
    ASSERT_EQ(t.items[1].wrongAnswers.size(), 2u);
    EXPECT_EQ(t.items[1].wrongAnswers[0].answer, cp(u"мор"));
    EXPECT_EQ(t.items[1].wrongAnswers[0].count, 2);
    EXPECT_EQ(t.items[1].wrongAnswers[1].answer, cp(u"мар"));
    ASSERT_EQ(t.items[2].wrongAnswers.size(), 1u);
    EXPECT_EQ(t.items[2].wrongAnswers[0].answer, "2, 1, 3");
    EXPECT_EQ(t.items[2].wrongAnswers[0].count, 2);
    EXPECT_TRUE(t.items[3].wrongAnswers.empty());

    // Topics in the order the test reaches them; the question without one is left out.
    ASSERT_EQ(t.topics.size(), 2u);
    EXPECT_EQ(t.topics[0].topic, cp(u"Дроби"));
    EXPECT_EQ(t.topics[0].right, 5);
    EXPECT_EQ(t.topics[0].answers, 10);
    EXPECT_EQ(t.topics[1].topic, cp(u"Слова"));
    EXPECT_NEAR(t.topics[1].share, 0.2, 1e-9);
}

TEST(ItemAnalysisTest, SummaryMarksAndPupils) {
    std::vector<ResultRecord> records = classTable();
    // Two classes, to see the pupils sorted by class (numbers by value) before name.
    records[0].facts.group = cp(u"10А");
    records[3].facts.group = cp(u"10А");
    // Lowest band first, each with the highest score it covers: 2 to 39.99 %, 3, 4, else 5.
    const std::vector<MarkEntry> scale = {
        {"3999", "2"}, {"5999", "3"}, {"7999", "4"}, {"10000", "5"}};
    const TestAnalysis t = analyse(records, scale);
    EXPECT_EQ(t.pupilCount, 5);
    EXPECT_NEAR(t.meanScore, 36, 1e-9);
    EXPECT_NEAR(t.medianScore, 40, 1e-9);
    EXPECT_NEAR(t.scoreSpread, 14.9666295, 1e-6);
    EXPECT_EQ(t.minScore, 20);
    EXPECT_EQ(t.maxScore, 60);
    EXPECT_EQ(t.scoreBins, (std::array<int, 10>{0, 0, 2, 0, 2, 0, 1, 0, 0, 0}));
    EXPECT_EQ(t.markCounts, (std::vector<int>{2, 2, 1, 0}));
    // Дина's finish time is lost: the times are of the other four.
    ASSERT_TRUE(t.medianTakenMs && t.longestTakenMs);
    EXPECT_EQ(*t.medianTakenMs, 25 * 60000);
    EXPECT_EQ(*t.longestTakenMs, 40 * 60000);

    std::vector<std::string> order;
    for (const PupilRow& p : t.pupils)
        order.push_back(p.name);
    EXPECT_EQ(order, (std::vector<std::string>{cp(u"Борис"), cp(u"Вера"), cp(u"Дина"), cp(u"Анна"),
                                               cp(u"Глеб")}));
    EXPECT_EQ(t.pupils[0].group, cp(u"9А"));
    EXPECT_EQ(t.pupils[0].markIndex, 1);
    EXPECT_EQ(t.pupils[3].markIndex, 2);
    EXPECT_FALSE(t.pupils[2].takenMs);

    // Grouped per test and class: the same test of two classes is two sections.
    const std::vector<TestAnalysis> tests = analyseResults(records);
    ASSERT_EQ(tests.size(), 2u);
    EXPECT_EQ(tests[0].group, cp(u"9А"));
    EXPECT_EQ(tests[0].pupilCount, 3);
    EXPECT_EQ(tests[1].group, cp(u"10А"));
}

// Ties at a group's edge share its last places, so the figure never depends on the order the
// files were read in.
TEST(ItemAnalysisTest, DiscriminationAndCorrelationCases) {
    struct Case {
        const char* name;
        std::vector<double> scores;
        std::vector<bool> right;
        std::optional<double> discrimination;
        std::optional<double> pointBiserial;
        Undefined why;
    };
    const std::vector<Case> cases = {
        {"ten pupils, groups of three",
         {90, 80, 70, 60, 50, 40, 30, 20, 10, 0},
         {1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
         1.0,
         0.7977240,
         Undefined::None},
        // Groups of two: 100 and one of the three at 80 (one right of them: 1/3) above; 0 and
        // the one at 20 below.
        {"tie at the upper edge",
         {100, 80, 80, 80, 40, 40, 20, 0},
         {1, 1, 0, 0, 1, 0, 0, 1},
         (1 + 1.0 / 3) / 2 - 0.5,
         0.0,
         Undefined::None},
        {"one pupil", {70}, {true}, std::nullopt, std::nullopt, Undefined::OnePupil},
        {"no pupils", {}, {}, std::nullopt, std::nullopt, Undefined::NoPupils},
        {"all scores equal",
         {50, 50, 50},
         {1, 0, 1},
         std::nullopt,
         std::nullopt,
         Undefined::AllScoresEqual},
        {"two pupils", {30, 80}, {0, 1}, 1.0, 1.0, Undefined::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Undefined dWhy = Undefined::None, pWhy = Undefined::None;
        const auto d = discriminationIndex(c.scores, c.right, &dWhy);
        const auto p = pointBiserialCorrelation(c.scores, c.right, &pWhy);
        ASSERT_EQ(d.has_value(), c.discrimination.has_value());
        if (d) {
            EXPECT_NEAR(*d, *c.discrimination, 1e-9);
        }
        ASSERT_EQ(p.has_value(), c.pointBiserial.has_value());
        if (p) {
            EXPECT_NEAR(*p, *c.pointBiserial, 1e-6);
        }
        EXPECT_EQ(dWhy, c.why);
        EXPECT_EQ(pWhy, c.why);

        // Every order of the same pupils gives the same figures.
        std::vector<std::size_t> idx(c.scores.size());
        for (std::size_t i = 0; i < idx.size(); ++i)
            idx[i] = i;
        for (int turn = 0; turn < 6 && idx.size() > 1; ++turn) {
            std::rotate(idx.begin(), idx.begin() + 1, idx.end());
            if (turn % 2)
                std::reverse(idx.begin(), idx.end());
            std::vector<double> s;
            std::vector<bool> r;
            for (std::size_t i : idx) {
                s.push_back(c.scores[i]);
                r.push_back(c.right[i]);
            }
            EXPECT_EQ(discriminationIndex(s, r), d);
            const auto p2 = pointBiserialCorrelation(s, r);
            ASSERT_EQ(p2.has_value(), p.has_value());
            if (p) {
                EXPECT_NEAR(*p2, *p, 1e-12);
            }
        }
    }
}

// Question 1 is right for the best pupil and for both weakest (tied at 33 %), wrong for the
// second: the upper and lower groups do equally well on it.
TEST(ItemAnalysisTest, AQuestionThatDoesNotTellPupilsApartIsFlagged) {
    auto three = [](const char16_t* name, bool q1, bool q2, bool q3) {
        return pupil(name, u"9А",
                     {{1, 'B', u"", "a", q1 ? u"a" : u"b", q1, 1},
                      {2, 'B', u"", "a", q2 ? u"a" : u"b", q2, 1},
                      {3, 'B', u"", "a", q3 ? u"a" : u"b", q3, 1}},
                     5);
    };
    const TestAnalysis t =
        analyse({three(u"П1", true, true, true), three(u"П2", false, true, true),
                 three(u"П3", true, false, false), three(u"П4", true, false, false)});
    ASSERT_EQ(t.items.size(), 3u);
    ASSERT_TRUE(t.items[0].discrimination);
    EXPECT_NEAR(*t.items[0].discrimination, 0.0, 1e-12);
    EXPECT_EQ(t.items[0].flags, std::vector<ItemFlag>{ItemFlag::WeakDiscrimination});
    EXPECT_TRUE(t.items[1].flags.empty());
    EXPECT_NEAR(*t.items[1].discrimination, 1.0, 1e-12);
    EXPECT_TRUE(QString::fromLatin1(itemFlagText(ItemFlag::WeakDiscrimination))
                    .contains(QStringLiteral("stronger pupils from weaker")));
}

// What the teacher reads when a figure cannot be computed: words, never "nan".
TEST(ItemAnalysisTest, OnePupilAndEqualScoresReadAsUndefined) {
    const std::vector<ResultRecord> all = classTable();
    const TestAnalysis one = analyse({all[0]});
    ASSERT_EQ(one.items.size(), 5u);
    for (const ItemStats& it : one.items) {
        EXPECT_FALSE(it.discrimination);
        EXPECT_EQ(it.discriminationWhy, Undefined::OnePupil);
        EXPECT_FALSE(it.pointBiserial);
    }
    EXPECT_EQ(one.scoreSpread, 0);
    EXPECT_TRUE(hasFlag(one.items[0], ItemFlag::EverybodyRight));
    EXPECT_TRUE(hasFlag(one.items[4], ItemFlag::NobodyRight));

    // Вера and Борис both score 40 with different questions right.
    const TestAnalysis same = analyse({all[1], all[2]});
    for (const ItemStats& it : same.items) {
        EXPECT_FALSE(it.pointBiserial);
        EXPECT_EQ(it.pointBiserialWhy, Undefined::AllScoresEqual);
    }

    ReportSource source;
    source.folder = QStringLiteral("R");
    for (const TestAnalysis& t : {one, same}) {
        const QString html = reportHtml({t}, source);
        EXPECT_FALSE(html.contains(QStringLiteral("nan"), Qt::CaseInsensitive));
        EXPECT_FALSE(html.contains(QStringLiteral("inf")));
        EXPECT_TRUE(html.contains(QStringLiteral("undefined"))) << html.toStdString();
    }
    EXPECT_TRUE(reportHtml({same}, source)
                    .contains(QStringLiteral("undefined <span class=\"why\">(all pupils scored "
                                             "the same)</span>")));
    EXPECT_TRUE(reportHtml({one}, source).contains(QStringLiteral("undefined (one pupil)")));
}

// The page and each chart in it are well-formed XML, whatever the names hold.
TEST(ItemAnalysisTest, ReportPageIsWellFormed) {
    std::vector<ResultRecord> records = classTable();
    records[0].facts.examineeName = cp(u"<b>Анна & \"Ко\"</b>");
    records[0].questions[0].topic = cp(u"a < b & c");
    ReportSource source;
    source.folder = QStringLiteral("Results & <more>");
    source.resultCount = 5;
    source.unread = {{QStringLiteral("9A/bad<1>.rst"), QStringLiteral("inform.dat is damaged")}};
    source.noScaleNote = QStringLiteral("no scale");
    const QString html = reportHtml(analyseResults(records), source);

    QXmlStreamReader xml(html);
    int svgs = 0, sections = 0;
    QStringList headings;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("svg"))
            ++svgs;
        else if (xml.name() == QLatin1String("section"))
            ++sections;
        else if (xml.name() == QLatin1String("h2") || xml.name() == QLatin1String("h3"))
            headings << xml.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line "
                                 << xml.lineNumber();
    // Scores, the questions' overview, two choice questions' options, topics; no mark scale.
    EXPECT_EQ(svgs, 5);
    EXPECT_EQ(sections, 2); // the test, the unread files
    EXPECT_EQ(headings,
              (QStringList{QStringLiteral("T \u2014 S \u2014 class 9А"), QStringLiteral("Summary"),
                           QStringLiteral("Questions"), QStringLiteral("Topics"),
                           QStringLiteral("Pupils"), QStringLiteral("Files not read"),
                           QStringLiteral("Reading the figures")}));
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;Анна &amp; &quot;Ко&quot;&lt;/b&gt;")));
    EXPECT_TRUE(html.contains(QStringLiteral("9A/bad&lt;1&gt;.rst")));
    EXPECT_TRUE(html.contains(QStringLiteral("no scale")));
    // Nothing that runs or is fetched.
    EXPECT_FALSE(html.contains(QStringLiteral("<script")));
    EXPECT_FALSE(html.contains(QRegularExpression(QStringLiteral("(src|href)=\"(?!#)"))));
}

TEST(ItemAnalysisTest, FiguresAsTheReportWritesThem) {
    EXPECT_EQ(indexFigure(0.5), QStringLiteral("+0.50"));
    EXPECT_EQ(indexFigure(-0.25), QString(QChar(0x2212)) + QStringLiteral("0.25"));
    EXPECT_EQ(indexFigure(-0.001), QStringLiteral("0.00"));
    EXPECT_EQ(indexFigure(std::nullopt), QStringLiteral("undefined"));
    EXPECT_EQ(shareFigure(2.0 / 3), QStringLiteral("67 %"));
    EXPECT_EQ(percentFigure(63.45), QStringLiteral("63.5 %"));
    EXPECT_EQ(durationFigure(725000), QStringLiteral("12:05"));
    EXPECT_EQ(durationFigure(3725000), QStringLiteral("1:02:05"));
    EXPECT_LT(naturalCompare(cp(u"9А"), cp(u"10А")), 0);
    EXPECT_LT(naturalCompare(cp(u"Ёлкин"), cp(u"Жуков")), 0);
    EXPECT_LT(naturalCompare(cp(u"анна"), cp(u"Борис")), 0);
}

} // namespace
} // namespace kvz
