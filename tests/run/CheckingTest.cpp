#include "run/Checking.h"

#include <gtest/gtest.h>

namespace kvz {
namespace {

const std::string kRight = "\xCF\xF0\xE0\xE2\xE8\xEB\xFC\xED\xEE";         // "Правильно"
const std::string kWrong = "\xCD\xE5\xEF\xF0\xE0\xE2\xE8\xEB\xFC\xED\xEE"; // "Неправильно"

TQuestionRec choice(std::array<bool, 5> right, std::uint8_t difficulty = 50) {
    TQuestionRec q;
    q.kindText = "A";
    q.choiceCount = 3;
    q.rightChoice = right;
    q.difficulty = difficulty;
    return q;
}
TQuestionRec typed(std::string right, std::uint8_t difficulty = 50) {
    TQuestionRec q;
    q.kindText = "B";
    q.rightText = std::move(right);
    q.difficulty = difficulty;
    return q;
}
TQuestionRec ordering(std::vector<std::uint8_t> right, std::uint8_t difficulty = 50) {
    TQuestionRec q;
    q.kindText = "D";
    q.choiceCount = std::uint8_t(right.size());
    for (std::size_t i = 0; i < right.size(); ++i)
        q.rightSlots[i] = {std::uint8_t(i), 0, right[i]};
    q.difficulty = difficulty;
    return q;
}

// A set in list order with the answers in their starting state.
QuestionSet makeSet(std::vector<TQuestionRec> questions) {
    QuestionSet set;
    set.questions = std::move(questions);
    set.labels = makeLabels(set.questions);
    resetAnswers(set);
    return set;
}

struct Checked {
    std::vector<std::string> verdicts;
    CheckSummary summary;
};
Checked check(QuestionSet& set) {
    Checked c;
    CheckAnswers(set, kRight, kWrong, c.verdicts, c.summary);
    return c;
}

TEST(CheckingTest, TwoOfThreeRight) {
    QuestionSet set = makeSet({choice({true}), choice({false, true}), typed("abc")});
    set.answers[0].chosen = {true};
    set.answers[0].touched = true;
    set.answers[2].text = "abc";
    set.answers[2].touched = true;
    const Checked c = check(set);
    EXPECT_EQ(c.summary.questionCount, 3);
    EXPECT_EQ(c.summary.rightCount, 2);
    EXPECT_EQ(c.summary.answeredCount, 2);
    EXPECT_EQ(c.summary.rightPercentText, "66.67");
    EXPECT_EQ(c.summary.answeredPercentText, "66.67");
    EXPECT_EQ(c.summary.verdictCode, "A1A0B1");
    EXPECT_EQ(c.verdicts, (std::vector<std::string>{kRight, kWrong, kRight}));
}

TEST(CheckingTest, PercentagesOfRightAnswers) {
    struct Case {
        int right;
        int total;
        const char* text;
    };
    for (const Case& c :
         {Case{1, 3, "33.33"}, Case{0, 3, "0.00"}, Case{3, 3, "100.00"}, Case{2, 3, "66.67"},
          Case{1, 8, "12.50"}, Case{1, 160, "0.63"}, Case{253, 254, "99.61"}}) {
        std::vector<TQuestionRec> qs(std::size_t(c.total), typed("x"));
        QuestionSet set = makeSet(qs);
        for (int k = 0; k < c.right; ++k)
            set.answers[std::size_t(k)].text = "x";
        EXPECT_EQ(check(set).summary.rightPercentText, c.text) << c.right << "/" << c.total;
    }
}

TEST(CheckingTest, TypedTextMustMatchExactly) {
    struct Case {
        const char* right;
        const char* given;
        bool ok;
    };
    for (const Case& c : {Case{"abc", "abc", true}, Case{"abc", "abc ", false},
                          Case{"abc", " abc", false}, Case{"Abc", "abc", false}, Case{"", "", true},
                          Case{"", " ", false}, Case{"a  b", "a b", false}}) {
        QuestionSet set = makeSet({typed(c.right)});
        set.answers[0].text = c.given;
        EXPECT_EQ(check(set).summary.rightCount, c.ok ? 1 : 0)
            << "'" << c.right << "' vs '" << c.given << "'";
    }
}

TEST(CheckingTest, UntouchedRightAnswersCountAsAnswered) {
    // A choice question whose right answer has no choice set, and an ordering question whose
    // starting order is the right one, both left alone.
    QuestionSet set = makeSet({choice({}), ordering({1, 2, 3}), ordering({3, 1, 2})});
    const Checked c = check(set);
    EXPECT_EQ(c.summary.verdictCode, "A1D1D0");
    EXPECT_EQ(c.summary.answeredCount, 2);
    EXPECT_TRUE(set.answers[0].touched);
    EXPECT_TRUE(set.answers[1].touched);
    EXPECT_FALSE(set.answers[2].touched);
}

TEST(CheckingTest, WrongAnswersCountAsAnsweredOnlyWhenChanged) {
    QuestionSet set = makeSet({choice({true}), choice({true}), ordering({2, 1})});
    set.answers[1].chosen = {false, true};
    set.answers[1].touched = true;
    const Checked c = check(set);
    EXPECT_EQ(c.summary.rightCount, 0);
    EXPECT_EQ(c.summary.answeredCount, 1);
    EXPECT_FALSE(set.answers[0].touched);
}

TEST(CheckingTest, EveryChoiceAndSlotIsCompared) {
    // A flag beyond the shown choices and a marker beyond the question's slots spoil the answer.
    QuestionSet set = makeSet({choice({true}), ordering({1, 2})});
    set.answers[0].chosen = {true, false, false, false, true};
    set.answers[1].slots[5].number = 3;
    EXPECT_EQ(check(set).summary.verdictCode, "A0D0");
}

TEST(CheckingTest, OtherKindsAreWrongAndKeepTheirLetter) {
    QuestionSet set = makeSet({choice({}), choice({})});
    set.questions[1].kindText = "C";
    set.labels = {"A01", "C01"};
    EXPECT_EQ(check(set).summary.verdictCode, "A1C0");
}

TEST(CheckingTest, WeightedScore) {
    struct Case {
        std::vector<std::uint8_t> difficulties;
        std::vector<bool> right;
        double score;
        const char* text;
    };
    for (const Case& c :
         {Case{{50, 150}, {false, true}, 75, "75.00"}, Case{{0, 0}, {true, true}, 0, "0.00"},
          Case{{1, 1, 1}, {true, false, false}, 100.0 / 3, "33.33"},
          Case{{255, 255}, {true, true}, 100, "100.00"}}) {
        std::vector<TQuestionRec> qs;
        for (std::uint8_t d : c.difficulties)
            qs.push_back(typed("x", d));
        QuestionSet set = makeSet(qs);
        for (std::size_t k = 0; k < c.right.size(); ++k)
            set.answers[k].text = c.right[k] ? "x" : "y";
        const CheckSummary s = check(set).summary;
        EXPECT_DOUBLE_EQ(s.score, c.score);
        EXPECT_EQ(s.scoreText, c.text);
    }
    // All difficulties 0: the right answers still show in the percentage.
    QuestionSet zero = makeSet({typed("x", 0)});
    zero.answers[0].text = "x";
    EXPECT_EQ(check(zero).summary.rightPercentText, "100.00");
}

TEST(CheckingTest, EmptyTest) {
    QuestionSet set;
    const Checked c = check(set);
    EXPECT_EQ(c.summary.questionCount, 0);
    EXPECT_EQ(c.summary.rightPercentText, "0.00");
    EXPECT_EQ(c.summary.score, 0);
    EXPECT_TRUE(c.verdicts.empty());
    EXPECT_TRUE(c.summary.verdictCode.empty());
}

TEST(CheckingTest, ChooseMarkFromTheLowestBandUp) {
    const std::vector<MarkEntry> scale{{"4999", "2"}, {"6999", "3"}, {"8499", "4"}, {"", "5"}};
    struct Case {
        double score;
        int index;
    };
    for (const Case& c : {Case{0, 0}, Case{49.99, 0}, Case{50.00, 1}, Case{69.99, 1}, Case{70, 2},
                          Case{84.99, 2}, Case{85.00, 3}, Case{100, 3}})
        EXPECT_EQ(ChooseMark(c.score, scale, 4), c.index) << c.score;
    // The same limits from whole weights: 4999 of 10000 and 5000 of 10000.
    EXPECT_EQ(ChooseMark(4999, 10000, scale, 4), 0);
    EXPECT_EQ(ChooseMark(5000, 10000, scale, 4), 1);
    // A threshold of 10000 is 100.00 %: a full score takes that band, not the default.
    const std::vector<MarkEntry> full{{"9999", "4"}, {"10000", "5"}, {"0", "?"}};
    EXPECT_EQ(ChooseMark(100.0, full, 3), 1);
    EXPECT_EQ(ChooseMark(99.99, full, 3), 0);
}

TEST(CheckingTest, ChooseMarkOnSmallScales) {
    const std::vector<MarkEntry> one{{"0", "\xE7\xE0\xF7\xB8\xF2"}};
    EXPECT_EQ(ChooseMark(0.0, one, 1), 0);
    EXPECT_EQ(ChooseMark(100.0, one, 1), 0);
    EXPECT_EQ(ChooseMark(50.0, {}, 0), -1);
    // markCount beyond the scale is held to the scale; a threshold that is no number never
    // matches.
    const std::vector<MarkEntry> odd{{"x", "1"}, {"5000", "2"}};
    EXPECT_EQ(ChooseMark(10.0, odd, 9), 1);
}

} // namespace
} // namespace kvz
