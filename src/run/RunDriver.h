#pragma once

// The rules of a test run without any window: the question cursor, open and closed questions,
// the leaving cost, next/prior/pick, the one-second tick with its two clocks, finishing, and
// review. The run window implements RunHost and does what the driver tells it; tests drive the
// same rules with a fake host and tick the clock by calling tick().

#include "shell/RunState.h"
#include "test/QuestionSet.h"

#include <QColor>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvz {

// What the driver asks of the window.
class RunHost {
public:
    virtual ~RunHost() = default;
    // Stores the answer controls into the current question's answer record.
    virtual void saveAnswer() = 0;
    // The cursor has moved: select the current item, show its question and answer.
    virtual void arrived() = 0;
    virtual bool promptVisible() const = 0;
    virtual void showPrompt() = 0;
    virtual void hidePrompt() = 0;
    // The run has ended (finishTime set): show the results and hide the run window.
    virtual void finished() = 0;
    // Review is over: show the results again and hide the run window.
    virtual void leaveReview() = 0;
};

// "HH:MM:SS" from milliseconds; hours take more digits when they need them.
std::string FormatMs(std::int32_t ms);

// Whether an open question follows (or precedes) item `current`. In review every question
// counts as open, and so does every question while the question clock is off.
bool HasNextQuestion(const QuestionSet& set, int current, bool review);
bool HasPriorQuestion(const QuestionSet& set, int current, bool review);

// What moved in a running test, for whoever keeps a record of it (the run journal).
enum class RunChange { Arrived, Ticked, Finishing };

class RunDriver {
public:
    RunDriver(QuestionSet& set, RunState& state, RunHost& host);

    // Told after every arrival at a question and every tick of a running test (not in review),
    // and when the test ends, before the host shows the results.
    void setChangeListener(std::function<void(RunChange)> listener) {
        changed_ = std::move(listener);
    }

    // A new run: the first item, the clocks running (the set was prepared by startRunLogic).
    void start();
    // A run brought back after the program stopped: the clocks running again at `item`, as the
    // set was restored (answers and clocks as they stood).
    void resume(int item);
    // A run brought back that had already ended before its result was stored: it ends again
    // at once, keeping the finish time it had, so its result is the same one.
    void finishResumed(int item, DateTime finishTime);
    // Review of the finished run: first item, free navigation, no clocks, no leaving cost.
    void enterReview();

    // Next1Click, Prior1Click and a click on the list (free order only).
    void next();
    void prior();
    void pick(int item);
    // The finish command: the first press opens the prompt, the second ends the test.
    void SaveResult();
    // The prompt's "Продолжить".
    void continueRun();
    void FinishTest();

    // Time has passed while the run was on: ms of it, measured by whoever keeps the clock (the
    // run window reads a monotonic clock). windowVisible: the run window was on screen (time
    // spent counts). The clocks move in whole seconds: the run's second (time spent and the test
    // clock, always together, so what is saved of them agrees) counts from the start of the run;
    // the question's second counts from the arrival at the question, so moving between
    // questions never holds the test clock and each question's clock starts fresh.
    void elapse(std::int64_t ms, bool windowVisible);
    // One second of the clock.
    void tick(bool windowVisible) { elapse(kSecondMs, windowVisible); }
    // How long until one of the clocks moves next (1..1000 ms).
    std::int32_t msToNextMove() const;

    int current() const { return current_; }
    bool running() const { return running_; }
    bool review() const { return review_; }
    // Free order, or review, which always navigates freely.
    bool freeOrder() const;
    bool isOpen(int item) const;
    bool priorEnabled() const { return priorEnabled_; }
    // Blink phases: red now, or the normal face colour.
    bool questionClockRed() const { return questionRed_; }
    bool testClockRed() const { return testRed_; }

    static constexpr std::int32_t kSecondMs = 1000;

private:
    TQuestionRec* currentQuestion();
    bool questionClockOn();
    // ms of the run's current second went to the question on screen.
    void shareSecond(std::int64_t ms, bool windowVisible);
    // n whole seconds of the run: time spent and the test clock, together. False when the test
    // clock ended the run.
    bool runSeconds(std::int64_t n, bool windowVisible);
    // One second of the question clock, which may move on or end the run.
    void questionSecond();
    void leave();
    void arrive(int item);
    void notify(RunChange change) {
        if (changed_)
            changed_(change);
    }

    QuestionSet& set_;
    RunState& state_;
    RunHost& host_;
    int current_ = 0;
    bool running_ = false;
    bool review_ = false;
    bool priorEnabled_ = false;
    bool questionRed_ = false;
    bool testRed_ = false;
    // Milliseconds towards the next second of the run and of the question on screen.
    std::int64_t runPhaseMs_ = 0;
    std::int64_t questionPhaseMs_ = 0;
    // Which questions had the run's current second on screen, and for how long: the second is
    // shared out as they had it once it is complete, so the time spent is exact per question and
    // still moves with the test clock.
    std::vector<std::pair<int, std::int64_t>> shares_;
    std::function<void(RunChange)> changed_;
    std::optional<DateTime> resumedFinish_;
};

// How an item of the question list is painted.
struct StestsItemLook {
    bool touched = false;
    bool selected = false;
    bool review = false;
    bool right = false; // its verdict is msg[022]
    bool wrong = false; // its verdict is msg[023]
};
QColor stestsItemColour(const StestsItemLook& look, const QColor& normal, const QColor& face);
// The face colour an answered item is drawn in: the button face, made darker (on a light list) or
// lighter (on a dark one) where the desktop's face is too close to the list's own colour to tell
// an answered item from an open one.
QColor answeredItemFace(const QColor& normal, const QColor& face);
// Height of the red (used) part of an item's time bar; 0..itemHeight.
int timeBarUsedHeight(std::int32_t timeLeftMs, std::int32_t timeLimitMs, int itemHeight);

// Which answer row a question shows.
enum class AnswerPanel { None, A1, A2, B, D };
AnswerPanel answerPanelFor(const TQuestionRec& question);

// The answer controls as plain data: what SaveAnswer stores and ShowAnswer fills.
struct AnswerControls {
    std::array<bool, kMaxChoices> checks{};  // Otvetbool1..5
    std::array<bool, kMaxChoices> radios{};  // Otvetbool11..15
    std::string text;                        // otvetstr, Windows-1251
    std::array<TSlotRec, kMaxSlots> slots{}; // workSlots
};
// Stores the visible panel's controls into the answer record.
void SaveAnswer(AnswerPanel visible, const AnswerControls& controls, TAnswerRec& answer);
// The controls for a stored answer: both choice rows from chosen, the text, and the work slots
// at the question's places holding the examinee's numbers.
AnswerControls ShowAnswer(const TQuestionRec& question, const TAnswerRec& answer);

} // namespace kvz
