// The run rules driven without a window: a fake host records what the window would be told,
// and the clock is ticked by calling it.

#include "run/RunDriver.h"
#include "shell/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kvz {
namespace {

struct FakeHost : RunHost {
    const RunDriver* driver = nullptr;
    bool prompt = false;
    std::vector<int> arrivals;
    int saves = 0;
    int finishes = 0;
    int reviewsLeft = 0;
    int promptsShown = 0;
    bool updatingDuringArrival = false;
    QuestionSet* set = nullptr;

    void saveAnswer() override { ++saves; }
    void arrived() override {
        arrivals.push_back(driver->current());
        updatingDuringArrival = set->updating;
    }
    bool promptVisible() const override { return prompt; }
    void showPrompt() override {
        prompt = true;
        ++promptsShown;
    }
    void hidePrompt() override { prompt = false; }
    void finished() override { ++finishes; }
    void leaveReview() override { ++reviewsLeft; }
};

// n questions of kind A, each with timeLeftMs seconds[i] * 1000 (the question clock on).
class RunDriverTest : public ::testing::Test {
protected:
    void make(const std::vector<double>& seconds, bool questionClock = true) {
        set = QuestionSet{};
        for (double s : seconds) {
            TQuestionRec q;
            q.kindText = "A";
            q.choiceCount = 3;
            q.timeLimitMs = q.timeLeftMs = std::int32_t(s * 1000);
            set.questions.push_back(q);
        }
        set.labels = makeLabels(set.questions);
        set.answers.resize(set.questions.size());
        set.questionTimerOn = questionClock;
        host = FakeHost{};
        host.set = &set;
        driver = std::make_unique<RunDriver>(set, state, host);
        host.driver = driver.get();
        driver->start();
    }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i)
            driver->tick(true);
    }
    std::int32_t left(int item) const { return set.questions[std::size_t(item)].timeLeftMs; }

    QuestionSet set;
    RunState state;
    FakeHost host;
    std::unique_ptr<RunDriver> driver;
};

TEST_F(RunDriverTest, ClosedQuestionsAreSkippedAndCannotBePicked) {
    make({60, 60, 0.5, 60, 60});
    driver->pick(1);
    EXPECT_EQ(driver->current(), 1);
    driver->next(); // over the closed third question
    EXPECT_EQ(driver->current(), 3);
    EXPECT_TRUE(driver->priorEnabled());
    driver->prior(); // and back over it
    EXPECT_EQ(driver->current(), 1);
    driver->pick(2);
    EXPECT_EQ(driver->current(), 1) << "a closed question cannot be picked";
    driver->pick(4);
    EXPECT_FALSE(set.hasNext);
    driver->next();
    EXPECT_TRUE(host.prompt) << "Next on the last question opens the finish prompt";
    EXPECT_EQ(driver->current(), 4);
    for (int bad : {-1, 5, 100})
        driver->pick(bad);
    EXPECT_EQ(driver->current(), 4);
    // Every move saved first, and showed the answer with updating set.
    EXPECT_EQ(host.saves, 5);
    EXPECT_TRUE(host.updatingDuringArrival);
    EXPECT_FALSE(set.updating);
}

TEST_F(RunDriverTest, SkippingToTheEndOpensThePrompt) {
    make({60, 60, 0, 0});
    driver->pick(1);
    set.hasNext = true; // as if the later questions closed after arriving here
    driver->next();
    EXPECT_EQ(driver->current(), 1);
    EXPECT_TRUE(host.prompt);
}

TEST_F(RunDriverTest, LeavingCostsASecondOfTheQuestionLeft) {
    make({7.5, 60, 0.9});
    driver->next();
    EXPECT_EQ(left(0), 6500); // 7.5 s shows 6.5 s when visited again
    EXPECT_EQ(FormatMs(left(0)), "00:00:06");
    driver->prior();
    EXPECT_EQ(left(1), 59000);
    EXPECT_EQ(driver->current(), 0);
    // Picking the question already on screen is not leaving it.
    driver->pick(0);
    EXPECT_EQ(left(0), 6500);
    EXPECT_EQ(host.arrivals.size(), 3u);

    // With the question clock off every question is open, and leaving still costs.
    make({0.5, 0.5, 3}, false);
    driver->next();
    EXPECT_EQ(driver->current(), 1);
    driver->pick(2);
    driver->pick(0);
    EXPECT_EQ(left(2), 2000);
    EXPECT_EQ(left(0), 500) << "under a second left: no cost";
}

TEST_F(RunDriverTest, FixedOrderEndsWithoutPromptWhenTheLastOpenQuestionRunsOut) {
    state.fixedOrder = true;
    make({60, 2, 0});
    driver->next();
    EXPECT_EQ(driver->current(), 1);
    driver->prior();
    driver->pick(0);
    EXPECT_EQ(driver->current(), 1) << "fixed order: no way back";
    EXPECT_FALSE(set.hasNext);
    tick();
    EXPECT_EQ(host.finishes, 0);
    tick();
    EXPECT_EQ(host.finishes, 1);
    EXPECT_EQ(host.promptsShown, 0);
    EXPECT_FALSE(driver->running());
    tick(5); // the clock is off
    EXPECT_EQ(host.finishes, 1);
}

TEST_F(RunDriverTest, QuestionTimeOut) {
    // Runs out with an open question after it: moves on as Next would.
    make({1, 60, 60});
    tick();
    EXPECT_EQ(driver->current(), 1);
    EXPECT_EQ(left(0), 0);

    // Runs out on the last item while an earlier question is open: back to the first open one.
    make({0.5, 60, 60, 2});
    driver->pick(3);
    EXPECT_EQ(left(1), 60000);
    driver->pick(2);
    driver->pick(3);
    const int saves = host.saves;
    tick(2);
    EXPECT_EQ(driver->current(), 1);
    EXPECT_EQ(host.saves, saves + 1) << "the answer on screen is kept before moving";
    EXPECT_EQ(host.finishes, 0);

    // Runs out on the only open question in free order: the test ends.
    make({0, 1});
    driver->pick(1);
    EXPECT_EQ(driver->current(), 1);
    tick();
    EXPECT_EQ(host.finishes, 1);
}

TEST_F(RunDriverTest, ATickNeverDrivesTheTimeBelowZero) {
    make({0.5, 60});
    tick();
    EXPECT_EQ(left(0), 0);
    EXPECT_EQ(driver->current(), 1);
    EXPECT_EQ(timeBarUsedHeight(left(0), 500, 20), 20);
}

TEST_F(RunDriverTest, TestClockRunsThirtyMinutesAndEndsTheRunUnderAnOpenPrompt) {
    make({3600, 3600}, false);
    set.testTimerOn = true;
    set.testTimeMs = set.testTimeLeftMs = 30 * 60000;
    driver->SaveResult();
    ASSERT_TRUE(host.prompt);
    std::vector<bool> blink;
    for (int i = 0; i < 30 * 60 - 1; ++i) {
        tick();
        if (set.testTimeLeftMs <= 17000)
            blink.push_back(driver->testClockRed());
    }
    EXPECT_EQ(host.finishes, 0);
    EXPECT_EQ(set.testTimeLeftMs, 1000);
    // Normal above 15 s, then red and normal in turn every second.
    ASSERT_GE(blink.size(), 4u);
    EXPECT_FALSE(blink[0]); // 17 s
    EXPECT_FALSE(blink[1]); // 16 s
    EXPECT_TRUE(blink[2]);  // 15 s
    for (std::size_t i = 3; i < blink.size(); ++i)
        EXPECT_NE(blink[i], blink[i - 1]) << i;

    state.serverStartTime = 45000.25;
    clock::setNowForTesting([] { return 46000.5; });
    tick();
    clock::setNowForTesting({});
    EXPECT_EQ(host.finishes, 1);
    EXPECT_FALSE(host.prompt) << "the prompt does not stay over the results";
    EXPECT_EQ(state.finishTime, 46000.5);
    EXPECT_EQ(set.testTimeLeftMs, set.testTimeMs);
    EXPECT_EQ(set.questions[0].timeSpentMs, 30 * 60000);
    EXPECT_EQ(set.questions[0].timeLeftMs, 3600000) << "the question clock is off";
    driver->SaveResult();
    EXPECT_EQ(host.finishes, 1);
}

TEST_F(RunDriverTest, FinishCommandAsksOnceThenEnds) {
    make({60, 60});
    driver->SaveResult();
    EXPECT_TRUE(host.prompt);
    EXPECT_EQ(host.finishes, 0);
    driver->continueRun();
    EXPECT_FALSE(host.prompt);
    tick(3);
    EXPECT_TRUE(driver->running());
    driver->SaveResult();
    driver->SaveResult(); // "Завершить!" twice
    EXPECT_EQ(host.finishes, 1);
    EXPECT_FALSE(host.prompt);
    EXPECT_FALSE(driver->running());

    // Connected to a server, the server's time is the finish time.
    make({60});
    state.connectedToServer = true;
    state.serverStartTime = 45123.5;
    driver->FinishTest();
    driver->FinishTest();
    EXPECT_EQ(state.finishTime, 45123.5);
    EXPECT_EQ(host.finishes, 1);
}

TEST_F(RunDriverTest, TimeSpentCountsOnlyWhileTheWindowIsShown) {
    make({60, 60});
    tick(3);
    driver->tick(false);
    EXPECT_EQ(set.questions[0].timeSpentMs, 3000);
    EXPECT_EQ(left(0), 56000);
}

// The two clocks count elapsed time: the test clock and the time spent go on whatever the pupil
// does, and the question clock starts afresh at each arrival, so visits shorter than a second
// cost a question nothing but the leaving cost.
TEST_F(RunDriverTest, MovingBetweenQuestionsNeverHoldsTheTestClock) {
    for (const std::int64_t visit : {400, 999, 1000, 1700}) {
        SCOPED_TRACE(visit);
        make({600, 600, 600});
        set.testTimerOn = true;
        set.testTimeMs = set.testTimeLeftMs = 600000;
        const std::int32_t whole = std::int32_t(visit / 1000 * 1000); // a visit's own seconds
        for (int i = 0; i < 100; ++i) {
            driver->elapse(visit, true);
            if (i == 99)
                break;
            if (driver->current() == 0)
                driver->next();
            else
                driver->prior();
        }
        ASSERT_TRUE(driver->running());
        const std::int32_t passed = std::int32_t(100 * visit / 1000 * 1000);
        EXPECT_EQ(set.testTimeLeftMs, 600000 - passed);
        EXPECT_EQ(set.questions[0].timeSpentMs + set.questions[1].timeSpentMs, passed);
        if (visit == 400) {
            EXPECT_EQ(set.questions[0].timeSpentMs, 20000) << "40 s, half of it on item 0";
        }
        // Item 0: 50 visits, each left; item 1: 50 visits, the last one still on.
        EXPECT_EQ(left(0), 600000 - 50 * 1000 - 50 * whole);
        EXPECT_EQ(left(1), 600000 - 49 * 1000 - 50 * whole);
        EXPECT_EQ(left(2), 600000);
    }

    // The clock wakes for whichever second comes first: the run's, or the question's since the
    // arrival.
    make({600, 600});
    EXPECT_EQ(driver->msToNextMove(), 1000);
    driver->elapse(300, true);
    EXPECT_EQ(driver->msToNextMove(), 700);
    driver->next();
    EXPECT_EQ(driver->msToNextMove(), 700);
    driver->elapse(700, true);
    EXPECT_EQ(driver->msToNextMove(), 300);
    EXPECT_EQ(left(1), 600000);
    driver->elapse(300, true);
    EXPECT_EQ(left(1), 599000);
    // The run's first second is shared as the two questions had it.
    EXPECT_EQ(set.questions[0].timeSpentMs, 300);
    EXPECT_EQ(set.questions[1].timeSpentMs, 700);
    // A long stall is counted whole.
    driver->elapse(9500, true);
    EXPECT_EQ(set.questions[0].timeSpentMs, 300);
    EXPECT_EQ(set.questions[1].timeSpentMs, 9700);
    EXPECT_EQ(left(1), 590000);
}

// Every moment the journal is told of (each arrival, each tick) has clocks that agree: the time
// spent and the test time left add up to the test time. So a run killed at any of them and
// brought back from what was saved never counts a second twice, and its time spent never
// exceeds the test time.
TEST_F(RunDriverTest, EverySavedMomentAgreesAndAResumedRunCountsNoSecondTwice) {
    struct Case {
        const char* name;
        std::vector<double> seconds;
        bool fixed;
        int testSeconds;
    };
    const Case cases[] = {
        {"five questions of 4 s, free order", {4, 4, 4, 4, 4}, false, 20},
        {"five questions of 4 s, fixed order", {4, 4, 4, 4, 4}, true, 20},
        {"uneven questions, the test clock ends first", {3, 7, 2, 9}, false, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.fixedOrder = c.fixed;
        make(c.seconds);
        set.testTimerOn = true;
        set.testTimeMs = set.testTimeLeftMs = c.testSeconds * 1000;
        struct Moment {
            QuestionSet set;
            int item;
        };
        std::vector<Moment> moments;
        driver->setChangeListener([&](RunChange change) {
            if (change != RunChange::Finishing)
                moments.push_back({set, driver->current()});
        });
        auto spent = [](const QuestionSet& s) {
            std::int32_t total = 0;
            for (const TQuestionRec& q : s.questions)
                total += q.timeSpentMs;
            return total;
        };
        while (driver->running()) {
            tick();
            if (host.prompt)
                driver->SaveResult();
        }
        EXPECT_LE(spent(set), set.testTimeMs);
        ASSERT_GT(moments.size(), 5u);
        for (const Moment& m : moments) {
            SCOPED_TRACE(&m - moments.data());
            EXPECT_EQ(spent(m.set) + m.set.testTimeLeftMs, set.testTimeMs);
            // Killed here and brought back: runs out with the time it had left.
            QuestionSet again = m.set;
            FakeHost h;
            h.set = &again;
            RunDriver resumed(again, state, h);
            h.driver = &resumed;
            resumed.resume(m.item);
            for (int t = 0; t < 100 && resumed.running(); ++t) {
                resumed.tick(true);
                if (h.prompt)
                    resumed.SaveResult();
            }
            EXPECT_FALSE(resumed.running());
            EXPECT_LE(spent(again), set.testTimeMs);
        }
    }
}

TEST_F(RunDriverTest, QuestionClockBlinksInTheLastFiveSeconds) {
    make({8, 60});
    std::vector<bool> red;
    for (int i = 0; i < 7; ++i) {
        tick();
        red.push_back(driver->questionClockRed());
    }
    // 7, 6 s normal; 5, 4, 3, 2, 1 s: red, normal, red, normal, red.
    EXPECT_EQ(red, (std::vector<bool>{false, false, true, false, true, false, true}));
    driver->next();
    EXPECT_FALSE(driver->questionClockRed()) << "a new question starts in the normal colour";
}

TEST_F(RunDriverTest, ReviewNavigatesFreelyWithoutClocksOrCost) {
    state.fixedOrder = true;
    make({0, 60, 0});
    driver->FinishTest();
    const int saves = host.saves;
    driver->enterReview();
    EXPECT_TRUE(driver->review());
    EXPECT_TRUE(driver->freeOrder());
    EXPECT_EQ(driver->current(), 0);
    EXPECT_TRUE(set.hasNext);
    EXPECT_FALSE(driver->priorEnabled());
    driver->next();
    EXPECT_EQ(driver->current(), 1);
    driver->pick(2); // closed questions can be visited
    EXPECT_EQ(driver->current(), 2);
    EXPECT_EQ(left(1), 60000);
    tick(5);
    EXPECT_EQ(left(2), 0);
    EXPECT_EQ(driver->current(), 2);
    driver->next(); // on the last item: back to the results
    EXPECT_EQ(host.reviewsLeft, 1);
    EXPECT_EQ(host.promptsShown, 0);
    driver->SaveResult();
    EXPECT_EQ(host.finishes, 1);
    EXPECT_EQ(host.saves, saves) << "review stores nothing";
}

TEST_F(RunDriverTest, AnEmptyQuestionListIsHarmless) {
    make({});
    set.testTimerOn = true;
    set.testTimeMs = set.testTimeLeftMs = 2000;
    EXPECT_FALSE(set.hasNext);
    driver->next();
    EXPECT_TRUE(host.prompt);
    driver->prior();
    driver->pick(0);
    tick(2);
    EXPECT_EQ(host.finishes, 1);
    driver->enterReview();
    driver->next();
    EXPECT_EQ(host.reviewsLeft, 1);
}

// Any mix of moves, clicks, ticks and finish presses keeps the cursor on an item, never drives a
// clock below zero, only lands on open questions outside review, and ends the run once.
TEST_F(RunDriverTest, RandomDrivingKeepsTheRules) {
    RunRandom random(20261210);
    for (int round = 0; round < 40; ++round) {
        std::vector<double> seconds;
        const int n = 1 + random.next(12);
        for (int i = 0; i < n; ++i)
            seconds.push_back(random.next(4) == 0 ? 0.5 : 1 + random.next(20));
        state.fixedOrder = random.next(2) == 0;
        make(seconds, random.next(3) != 0);
        set.testTimerOn = random.next(2) == 0;
        set.testTimeMs = set.testTimeLeftMs = 1000 * (5 + random.next(60));
        for (int step = 0; step < 400 && driver->running(); ++step) {
            const int before = driver->current();
            switch (random.next(6)) {
            case 0:
                driver->next();
                break;
            case 1:
                driver->prior();
                break;
            case 2:
                driver->pick(random.next(n + 2) - 1);
                break;
            case 3:
                if (random.next(4) == 0)
                    driver->SaveResult();
                else
                    driver->continueRun();
                break;
            default:
                tick();
                break;
            }
            ASSERT_GE(driver->current(), 0);
            ASSERT_LT(driver->current(), n);
            for (const TQuestionRec& q : set.questions)
                ASSERT_GE(q.timeLeftMs, 0);
            if (driver->running() && driver->current() != before && set.questionTimerOn) {
                ASSERT_TRUE(driver->isOpen(driver->current())) << round << " " << step;
            }
        }
        EXPECT_LE(host.finishes, 1);
    }
}

TEST(RunTextsTest, FormatMs) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "00:00:00"},          {999, "00:00:00"},     {6500, "00:00:06"},
        {60000, "00:01:00"},      {3723000, "01:02:03"}, {86399000, "23:59:59"},
        {360000000, "100:00:00"}, {-1000, "00:00:00"},
    };
    for (auto [ms, text] : cases)
        EXPECT_EQ(FormatMs(ms), text) << ms;
}

TEST(RunTextsTest, TimeBarAndItemColours) {
    EXPECT_EQ(timeBarUsedHeight(60000, 60000, 16), 0);
    EXPECT_EQ(timeBarUsedHeight(30000, 60000, 16), 8);
    EXPECT_EQ(timeBarUsedHeight(0, 60000, 16), 16);
    EXPECT_EQ(timeBarUsedHeight(1000, 0, 16), 0);
    EXPECT_EQ(timeBarUsedHeight(90000, 60000, 16), 0);

    const QColor normal(Qt::white), face(200, 200, 200);
    struct Case {
        StestsItemLook look;
        QColor colour;
    } cases[] = {
        {{}, normal},
        {{.touched = true}, face},
        {{.touched = true, .right = true}, face}, // verdicts only in review
        {{.touched = true, .review = true, .right = true}, QColor(0, 255, 0)},
        {{.touched = true, .review = true, .wrong = true}, QColor(255, 0, 0)},
        {{.touched = false, .review = true, .wrong = true}, normal},
        {{.selected = true}, QColor(128, 128, 128)},
        {{.touched = true, .selected = true, .review = true, .right = true}, QColor(0, 128, 0)},
        {{.touched = true, .selected = true, .review = true, .wrong = true}, QColor(128, 0, 0)},
        {{.selected = true, .review = true}, QColor(128, 128, 128)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stestsItemColour(c.look, normal, face), c.colour)
            << c.look.touched << c.look.selected << c.look.review << c.look.right << c.look.wrong;

    // An answered item stands off from an open one whatever the desktop's face colour.
    const struct {
        QColor normal, face;
    } palettes[] = {
        {Qt::white, QColor(239, 239, 239)}, // a face a shade off white
        {Qt::white, Qt::white},
        {Qt::white, QColor(200, 200, 200)},       // already distinct: kept as it is
        {QColor(30, 30, 30), QColor(45, 45, 45)}, // a dark desktop
    };
    for (const auto& p : palettes) {
        const QColor answered = answeredItemFace(p.normal, p.face);
        EXPECT_GE(std::abs(answered.lightness() - p.normal.lightness()), 48)
            << answered.name().toStdString();
        EXPECT_NE(answered, QColor(128, 128, 128)) << "not the selection's grey";
    }
    EXPECT_EQ(answeredItemFace(Qt::white, QColor(200, 200, 200)), QColor(200, 200, 200));
}

TEST(RunAnswersTest, SaveAndShowAnswerAsData) {
    TQuestionRec q;
    q.kindText = "D";
    q.choiceCount = 3;
    for (int i = 0; i < 3; ++i)
        q.rightSlots[std::size_t(i)] = {std::uint8_t(2 + i), std::uint8_t(5), std::uint8_t(3 - i)};
    TAnswerRec a;
    a.chosen = {true, false, true, false, false};
    a.text = "abc";
    a.slots[0].number = 2;
    a.slots[1].number = 1;
    a.slots[2].number = 3;

    const AnswerControls c = ShowAnswer(q, a);
    EXPECT_EQ(c.checks, a.chosen);
    EXPECT_EQ(c.radios, a.chosen);
    EXPECT_EQ(c.text, "abc");
    EXPECT_EQ(c.slots[1], (TSlotRec{3, 5, 1}));

    // Only the visible panel is stored.
    AnswerControls edited = c;
    edited.checks = {false, true, false, false, false};
    edited.radios = {false, false, false, true, false};
    edited.text = "xyz";
    std::swap(edited.slots[0].number, edited.slots[2].number);
    const struct {
        AnswerPanel panel;
        std::array<bool, kMaxChoices> chosen;
        std::string text;
        std::uint8_t slot1;
    } cases[] = {
        {AnswerPanel::A1, edited.checks, "abc", 2}, {AnswerPanel::A2, edited.radios, "abc", 2},
        {AnswerPanel::B, a.chosen, "xyz", 2},       {AnswerPanel::D, a.chosen, "abc", 3},
        {AnswerPanel::None, a.chosen, "abc", 2},
    };
    for (const auto& k : cases) {
        TAnswerRec saved = a;
        SaveAnswer(k.panel, edited, saved);
        EXPECT_EQ(saved.chosen, k.chosen) << int(k.panel);
        EXPECT_EQ(saved.text, k.text) << int(k.panel);
        EXPECT_EQ(saved.slots[0].number, k.slot1) << int(k.panel);
        EXPECT_FALSE(saved.touched);
    }

    TQuestionRec kinds;
    const std::pair<std::string, AnswerPanel> panels[] = {{"A", AnswerPanel::A2},
                                                          {"B", AnswerPanel::B},
                                                          {"D", AnswerPanel::D},
                                                          {"", AnswerPanel::None},
                                                          {"AB", AnswerPanel::None}};
    for (const auto& [kind, panel] : panels) {
        kinds.kindText = kind;
        EXPECT_EQ(answerPanelFor(kinds), panel) << kind;
    }
    kinds.kindText = "A";
    kinds.multiChoice = true;
    EXPECT_EQ(answerPanelFor(kinds), AnswerPanel::A1);
}

} // namespace
} // namespace kvz
