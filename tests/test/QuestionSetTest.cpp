#include "test/QuestionSet.h"
#include "shell/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace kvz {
namespace {

// a, b, d questions of each kind, in archive order, each page naming its source number.
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
            set.questions.push_back(q);
        }
    set.labels = makeLabels(set.questions);
    set.answers.resize(set.questions.size());
    return set;
}

TEST(QuestionSetTest, TimeTexts) {
    EXPECT_EQ(timeOfDayMs(*parseTimeText("00:30:00")), 1800000);
    EXPECT_EQ(timeOfDayMs(*parseTimeText("1:02:03")), 3723000);
    EXPECT_EQ(timeOfDayMs(*parseTimeText("23:59:59")), 86399000);
    EXPECT_EQ(timeOfDayMs(*parseTimeText("0:45")), 2700000);
    for (const char* bad : {"", "24:00:00", "00:60:00", "1", "a:b:c", "1:2:3:4", "1:2:", " 1:2"})
        EXPECT_FALSE(parseTimeText(bad)) << bad;
    // The date part and the milliseconds of a value never count.
    EXPECT_EQ(timeOfDayMs(45000.5 + 0.4 / 86400), 12 * 3600000);
    EXPECT_EQ(formatTimeText(*parseTimeText("7:05:09")), "07:05:09");
}

TEST(QuestionSetTest, LabelsAndGroups) {
    QuestionSet set = makeSet(2, 0, 3);
    EXPECT_EQ(set.labels, (std::vector<std::string>{"A01", "A02", "D01", "D02", "D03"}));
    const auto g = kindGroups(set.labels);
    EXPECT_EQ(g[0].first, 0);
    EXPECT_EQ(g[0].count, 2);
    EXPECT_EQ(g[1].count, 0);
    EXPECT_EQ(g[2].first, 2);
    EXPECT_EQ(g[2].count, 3);
    EXPECT_EQ(makeSet(101, 0, 0).labels.back(), "A101");
}

TEST(QuestionSetTest, ShuffleKeepsGroupsLabelsAndRecords) {
    bool someMoved = false;
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        QuestionSet set = makeSet(6, 1, 4);
        const auto labels = set.labels;
        RunRandom random(seed);
        ShuffleQuestions(set, random);
        SCOPED_TRACE(seed);
        EXPECT_EQ(set.labels, labels);
        std::multiset<int> seen;
        for (int k = 0; k < set.size(); ++k) {
            const TQuestionRec& q = set.questions[std::size_t(k)];
            seen.insert(q.sourceNo);
            // The record moved whole, and stayed within its kind's positions.
            EXPECT_EQ(q.body, QByteArray::number(q.sourceNo));
            EXPECT_EQ(q.kindText[0], labels[std::size_t(k)][0]);
            someMoved |= q.sourceNo != k + 1;
        }
        EXPECT_EQ(seen, (std::multiset<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        EXPECT_EQ(set.questions[6].sourceNo, 7); // the one B question never moves
    }
    EXPECT_TRUE(someMoved);
}

TEST(QuestionSetTest, ShuffleDrawsJThenKPerMember) {
    // With two members each step exchanges exactly when the two draws differ; replaying the
    // generator shows j and k come from consecutive draws, two per member.
    for (std::uint32_t seed = 0; seed < 50; ++seed) {
        QuestionSet set = makeSet(2, 0, 0);
        RunRandom random(seed);
        ShuffleQuestions(set, random);
        RunRandom replay(seed);
        bool swapped = false;
        for (int i = 0; i < 2; ++i)
            swapped ^= replay.next(2) != replay.next(2);
        EXPECT_EQ(set.questions[0].sourceNo, swapped ? 2 : 1) << seed;
        EXPECT_EQ(random.next(1000), replay.next(1000)); // no draws beyond the four
    }
}

TEST(QuestionSetTest, RandomIsUniformEnoughAndReproducible) {
    RunRandom a(12345), b(12345);
    int counts[5] = {};
    for (int i = 0; i < 5000; ++i) {
        const int x = a.next(5);
        ASSERT_EQ(x, b.next(5));
        ASSERT_GE(x, 0);
        ASSERT_LT(x, 5);
        ++counts[x];
    }
    for (int c : counts)
        EXPECT_GT(c, 800);
}

TEST(QuestionSetTest, StartRunResetsAnswersAndClocks) {
    clock::setNowForTesting([] { return 46000.25; });
    QuestionSet set = makeSet(1, 1, 1);
    set.testTime = *parseTimeText("00:10:00");
    set.questionTime = *parseTimeText("00:01:00");
    set.questions[2].timeLimitMs = 5000;
    set.questions[1].timeSpentMs = 7000;
    set.answers[0].chosen[1] = true;
    set.answers[1].text = "x";
    set.answers[2].slots[0].number = 4;
    set.answers[2].touched = true;
    set.updating = true;
    RunState state;
    state.resultsShown = true;
    startRunLogic(set, state, 1);
    clock::setNowForTesting({});
    EXPECT_FALSE(state.resultsShown);
    EXPECT_DOUBLE_EQ(state.startTime, 46000.25);
    EXPECT_EQ(set.testTimeMs, 600000);
    EXPECT_EQ(set.testTimeLeftMs, 600000);
    EXPECT_EQ(set.questionTimeMs, 60000);
    for (const TQuestionRec& q : set.questions) {
        EXPECT_EQ(q.timeLeftMs, 60000);
        EXPECT_EQ(q.timeSpentMs, 0);
    }
    EXPECT_FALSE(set.answers[0].chosen[1]);
    EXPECT_TRUE(set.answers[1].text.empty());
    EXPECT_FALSE(set.answers[2].touched);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(set.answers[2].slots[std::size_t(i)].number, i < 4 ? i + 1 : 0);
    EXPECT_TRUE(set.hasNext);
    EXPECT_FALSE(set.updating);

    state.timeByDifficulty = true; // budgets instead of the question time
    startRunLogic(set, state, 1);
    EXPECT_EQ(set.questions[2].timeLeftMs, 5000);
    EXPECT_EQ(set.questions[1].timeLeftMs, 0);
}

TEST(QuestionSetTest, HasNextNeedsAnOpenQuestionAfterTheFirst) {
    RunState state;
    QuestionSet one = makeSet(1, 0, 0);
    one.questionTime = *parseTimeText("00:01:00");
    startRunLogic(one, state, 0);
    EXPECT_FALSE(one.hasNext);

    // Per-question clock on: a question with less than a second left is closed.
    QuestionSet closed = makeSet(3, 0, 0);
    closed.questionTimerOn = true;
    state.timeByDifficulty = true;
    closed.questions[0].timeLimitMs = 60000;
    closed.questions[1].timeLimitMs = 999;
    closed.questions[2].timeLimitMs = 0;
    startRunLogic(closed, state, 0);
    EXPECT_FALSE(closed.hasNext);
    closed.questions[2].timeLimitMs = 1000;
    startRunLogic(closed, state, 0);
    EXPECT_TRUE(closed.hasNext);
}

// With the per-question clock off every question is open, even with no time of its own: the
// first "next" must not end the test.
TEST(QuestionSetTest, HasNextWithTheQuestionClockOff) {
    RunState state;
    for (const char* time : {"00:00:00", "00:05:00"}) {
        SCOPED_TRACE(time);
        QuestionSet set = makeSet(2, 1, 0);
        set.questionTimerOn = false;
        set.questionTime = *parseTimeText(time);
        startRunLogic(set, state, 0);
        EXPECT_TRUE(set.hasNext);
    }
}

TEST(QuestionSetTest, RepeatedRunReshufflesFromTheCurrentOrder) {
    RunState state;
    state.shuffleQuestions = true;
    QuestionSet set = makeSet(8, 0, 0);
    startRunLogic(set, state, 7);
    std::vector<int> first;
    for (const auto& q : set.questions)
        first.push_back(q.sourceNo);
    startRunLogic(set, state, 8);
    std::vector<int> second;
    for (const auto& q : set.questions)
        second.push_back(q.sourceNo);
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::is_permutation(first.begin(), first.end(), second.begin()));
}

} // namespace
} // namespace kvz
