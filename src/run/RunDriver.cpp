#include "run/RunDriver.h"

#include "shell/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kvz {

namespace {

constexpr std::int64_t kTickMs = RunDriver::kSecondMs;
constexpr std::int32_t kLeavingCostMs = 1000;
// The clocks blink while this little is left.
constexpr std::int32_t kQuestionBlinkMs = 5000;
constexpr std::int32_t kTestBlinkMs = 15000;

bool openAt(const QuestionSet& set, int item, bool review) {
    if (item < 0 || item >= set.size())
        return false;
    return review || !set.questionTimerOn ||
           set.questions[std::size_t(item)].timeLeftMs >= kOpenQuestionMs;
}

} // namespace

std::string FormatMs(std::int32_t ms) {
    // A clock never shows less than nothing.
    const std::int32_t t = ms < 0 ? 0 : ms;
    const int hours = t / 3600000;
    const int minutes = t % 3600000 / 60000;
    const int seconds = t % 60000 / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hours, minutes, seconds);
    return buf;
}

bool HasNextQuestion(const QuestionSet& set, int current, bool review) {
    if (current < 0 || current + 1 >= set.size())
        return false;
    if (review)
        return true;
    for (int i = current + 1; i < set.size(); ++i)
        if (openAt(set, i, false))
            return true;
    return false;
}

bool HasPriorQuestion(const QuestionSet& set, int current, bool review) {
    if (current <= 0 || current >= set.size())
        return false;
    if (review)
        return true;
    for (int i = current - 1; i >= 0; --i)
        if (openAt(set, i, false))
            return true;
    return false;
}

RunDriver::RunDriver(QuestionSet& set, RunState& state, RunHost& host)
    : set_(set), state_(state), host_(host) {}

bool RunDriver::freeOrder() const {
    return review_ || !state_.fixedOrder;
}

bool RunDriver::isOpen(int item) const {
    return openAt(set_, item, review_);
}

TQuestionRec* RunDriver::currentQuestion() {
    if (current_ < 0 || current_ >= set_.size())
        return nullptr;
    return &set_.questions[std::size_t(current_)];
}

void RunDriver::start() {
    review_ = false;
    running_ = true;
    testRed_ = false;
    runPhaseMs_ = 0;
    shares_.clear();
    arrive(0);
}

void RunDriver::resume(int item) {
    review_ = false;
    running_ = true;
    testRed_ = false;
    // What was under way of a second when the program stopped is not counted again.
    runPhaseMs_ = 0;
    shares_.clear();
    arrive(item >= 0 && item < set_.size() ? item : 0);
}

void RunDriver::finishResumed(int item, DateTime finishTime) {
    resume(item);
    resumedFinish_ = finishTime;
    FinishTest();
}

void RunDriver::enterReview() {
    review_ = true;
    running_ = false;
    testRed_ = false;
    if (host_.promptVisible())
        host_.hidePrompt();
    arrive(0);
}

// The leaving cost: a question left outside review gives up a second while it has one.
void RunDriver::leave() {
    TQuestionRec* q = currentQuestion();
    if (!review_ && q && q->timeLeftMs >= kLeavingCostMs)
        q->timeLeftMs -= kLeavingCostMs;
}

void RunDriver::arrive(int item) {
    current_ = item;
    set_.hasNext = HasNextQuestion(set_, current_, review_);
    priorEnabled_ = HasPriorQuestion(set_, current_, review_);
    questionRed_ = false;
    // Each arrival starts the question's clock afresh; the run's second goes on.
    questionPhaseMs_ = 0;
    const bool wasUpdating = set_.updating;
    set_.updating = true;
    host_.arrived();
    set_.updating = wasUpdating;
    if (!review_ && running_)
        notify(RunChange::Arrived);
}

void RunDriver::next() {
    // Review is read-only: the controls show the stored answer and nothing is stored back.
    if (!review_)
        host_.saveAnswer();
    if (set_.hasNext) {
        int step = 1;
        if (set_.questionTimerOn && !review_)
            while (current_ + step < set_.size() && !isOpen(current_ + step))
                ++step;
        if (current_ + step >= set_.size()) {
            host_.showPrompt();
            return;
        }
        leave();
        arrive(current_ + step);
        return;
    }
    if (review_)
        host_.leaveReview();
    else if (running_)
        host_.showPrompt();
}

void RunDriver::prior() {
    if (!freeOrder())
        return;
    if (!review_)
        host_.saveAnswer();
    int step = 1;
    if (set_.questionTimerOn && !review_)
        while (current_ - step >= 0 && !isOpen(current_ - step))
            ++step;
    if (current_ - step < 0)
        return;
    leave();
    arrive(current_ - step);
}

void RunDriver::pick(int item) {
    if (!freeOrder() || item < 0 || item >= set_.size() || !isOpen(item))
        return;
    // The item on screen is not left: no cost, and the clock's phase is not restarted (each
    // restart would hold the question clock still).
    if (item == current_)
        return;
    if (!review_)
        host_.saveAnswer();
    leave();
    arrive(item);
}

void RunDriver::SaveResult() {
    if (!running_)
        return;
    if (!host_.promptVisible()) {
        host_.showPrompt();
        return;
    }
    host_.hidePrompt();
    FinishTest();
}

void RunDriver::continueRun() {
    if (host_.promptVisible())
        host_.hidePrompt();
}

void RunDriver::FinishTest() {
    // Once per run: a clock and a button may both end it.
    if (!running_)
        return;
    running_ = false;
    host_.saveAnswer();
    // An open prompt would stay over the results and offer to go on with a finished test.
    if (host_.promptVisible())
        host_.hidePrompt();
    if (resumedFinish_)
        state_.finishTime = *resumedFinish_;
    else
        state_.finishTime = state_.connectedToServer ? state_.serverStartTime : clock::now();
    resumedFinish_.reset();
    notify(RunChange::Finishing);
    host_.finished();
}

bool RunDriver::questionClockOn() {
    return set_.questionTimerOn && currentQuestion() != nullptr;
}

std::int32_t RunDriver::msToNextMove() const {
    std::int64_t ms = kTickMs - runPhaseMs_;
    if (set_.questionTimerOn && current_ >= 0 && current_ < set_.size())
        ms = std::min(ms, kTickMs - questionPhaseMs_);
    return std::int32_t(std::clamp<std::int64_t>(ms, 1, kTickMs));
}

void RunDriver::elapse(std::int64_t ms, bool windowVisible) {
    bool ticked = false;
    while (ms > 0 && running_ && !review_) {
        const bool questionClock = questionClockOn();
        // Up to the next second of the question clock, or all that is left.
        std::int64_t span = ms;
        if (questionClock)
            span = std::min(span, kTickMs - questionPhaseMs_);
        ms -= span;
        // The run's seconds inside the span come first: they are as old as the question's.
        const std::int64_t toSecond = kTickMs - runPhaseMs_;
        if (span < toSecond) {
            shareSecond(span, windowVisible);
            runPhaseMs_ += span;
        } else {
            shareSecond(toSecond, windowVisible);
            const std::int64_t rest = span - toSecond;
            ticked = true;
            if (!runSeconds(1 + rest / kTickMs, windowVisible))
                return;
            runPhaseMs_ = rest % kTickMs;
            shareSecond(runPhaseMs_, windowVisible);
        }
        if (questionClock) {
            questionPhaseMs_ += span;
            if (questionPhaseMs_ >= kTickMs) {
                questionPhaseMs_ = 0;
                questionSecond();
            }
        }
    }
    // Told once the clocks agree with each other, whatever moved in between.
    if (ticked && running_ && !review_)
        notify(RunChange::Ticked);
}

void RunDriver::shareSecond(std::int64_t ms, bool windowVisible) {
    if (ms <= 0 || !windowVisible || !currentQuestion())
        return;
    if (!shares_.empty() && shares_.back().first == current_)
        shares_.back().second += ms;
    else
        shares_.emplace_back(current_, ms);
}

namespace {
void addSpent(TQuestionRec& q, std::int64_t ms) {
    const std::int64_t spent = std::int64_t(q.timeSpentMs) + ms;
    q.timeSpentMs =
        std::int32_t(std::min<std::int64_t>(spent, std::numeric_limits<std::int32_t>::max()));
}
} // namespace

bool RunDriver::runSeconds(std::int64_t n, bool windowVisible) {
    if (set_.testTimerOn) {
        // No more seconds than the test had: the time spent never exceeds the test time.
        const std::int64_t left = (std::int64_t(set_.testTimeLeftMs) + kTickMs - 1) / kTickMs;
        n = std::min(n, std::max<std::int64_t>(left, 1));
    }
    // The first second goes to the questions that had it on screen, as they had it; any further
    // whole seconds to the question on screen.
    for (const auto& [item, ms] : shares_)
        if (item >= 0 && item < set_.size())
            addSpent(set_.questions[std::size_t(item)], ms);
    shares_.clear();
    if (TQuestionRec* q = currentQuestion(); q && windowVisible && n > 1)
        addSpent(*q, (n - 1) * kTickMs);
    if (!set_.testTimerOn)
        return true;
    const std::int64_t left = std::int64_t(set_.testTimeLeftMs) - n * kTickMs;
    if (left <= 0) {
        set_.testTimeLeftMs = set_.testTimeMs;
        testRed_ = false;
        FinishTest();
        return false;
    }
    set_.testTimeLeftMs = std::int32_t(left);
    if (set_.testTimeLeftMs > kTestBlinkMs)
        testRed_ = false;
    else if (n % 2 == 1)
        testRed_ = !testRed_;
    return true;
}

void RunDriver::questionSecond() {
    TQuestionRec* q = currentQuestion();
    if (!q)
        return;
    // Never below zero: the clock shows 00:00:00 and the time bar stays full.
    q->timeLeftMs = q->timeLeftMs > kTickMs ? std::int32_t(q->timeLeftMs - kTickMs) : 0;
    if (q->timeLeftMs <= 0) {
        if (set_.hasNext) {
            next();
        } else if (!freeOrder()) {
            FinishTest();
            return;
        } else {
            int open = 0;
            while (open < set_.size() && !isOpen(open))
                ++open;
            if (open >= set_.size()) {
                FinishTest();
                return;
            }
            // The answer given so far is kept before the cursor moves.
            host_.saveAnswer();
            arrive(open);
        }
    }
    if (const TQuestionRec* now = currentQuestion())
        questionRed_ = now->timeLeftMs <= kQuestionBlinkMs ? !questionRed_ : false;
}

QColor stestsItemColour(const StestsItemLook& look, const QColor& normal, const QColor& face) {
    QColor c = look.touched ? face : normal;
    enum { Plain, Lime, Red } verdict = Plain;
    if (look.review && look.touched) {
        if (look.right) {
            c = QColor(0, 255, 0);
            verdict = Lime;
        } else if (look.wrong) {
            c = QColor(255, 0, 0);
            verdict = Red;
        }
    }
    if (look.selected) {
        if (!look.review || verdict == Plain)
            c = QColor(128, 128, 128);
        else if (verdict == Lime)
            c = QColor(0, 128, 0);
        else
            c = QColor(128, 0, 0);
    }
    return c;
}

QColor answeredItemFace(const QColor& normal, const QColor& face) {
    constexpr int kMinDifference = 48;
    const int base = normal.lightness();
    if (std::abs(face.lightness() - base) >= kMinDifference)
        return face;
    const int lightness =
        base >= 128 ? std::max(0, base - kMinDifference) : std::min(255, base + kMinDifference);
    QColor c = face.toHsl();
    c.setHsl(c.hslHue(), c.hslSaturation(), lightness);
    return c.toRgb();
}

int timeBarUsedHeight(std::int32_t timeLeftMs, std::int32_t timeLimitMs, int itemHeight) {
    if (timeLimitMs == 0 || itemHeight <= 0)
        return 0;
    const double used = 1.0 - double(timeLeftMs) / double(timeLimitMs);
    const double h = std::nearbyint(used * itemHeight);
    if (!(h > 0))
        return 0;
    return h >= itemHeight ? itemHeight : int(h);
}

AnswerPanel answerPanelFor(const TQuestionRec& question) {
    if (question.kindText == "D")
        return AnswerPanel::D;
    if (question.kindText == "B")
        return AnswerPanel::B;
    if (question.kindText == "A")
        return question.multiChoice ? AnswerPanel::A1 : AnswerPanel::A2;
    return AnswerPanel::None;
}

void SaveAnswer(AnswerPanel visible, const AnswerControls& controls, TAnswerRec& answer) {
    switch (visible) {
    case AnswerPanel::A1:
        answer.chosen = controls.checks;
        break;
    case AnswerPanel::A2:
        answer.chosen = controls.radios;
        break;
    case AnswerPanel::B:
        answer.text = controls.text;
        break;
    case AnswerPanel::D:
        answer.slots = controls.slots;
        break;
    case AnswerPanel::None:
        break;
    }
}

AnswerControls ShowAnswer(const TQuestionRec& question, const TAnswerRec& answer) {
    AnswerControls c;
    c.checks = answer.chosen;
    c.radios = answer.chosen;
    c.text = answer.text;
    for (std::size_t i = 0; i < c.slots.size(); ++i) {
        c.slots[i].col = question.rightSlots[i].col;
        c.slots[i].row = question.rightSlots[i].row;
        c.slots[i].number = answer.slots[i].number;
    }
    return c;
}

} // namespace kvz
