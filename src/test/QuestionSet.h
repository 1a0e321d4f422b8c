#pragma once

// The loaded test in memory: question records, answer records, the question list labels and
// the run settings that came with the archive; shuffling and the logic half of starting a run.
// Arrays here are 0-based: question k of the test is questions[k - 1] and list item k - 1;
// choice i is rightChoice[i - 1], slot i is rightSlots[i - 1].

#include "shell/RunState.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

inline constexpr int kMaxQuestions = 254;
inline constexpr int kMaxChoices = 5;
inline constexpr int kMaxSlots = 10;
inline constexpr int kMaxGridCell = 30; // the marker grid is 31 x 31 cells
inline constexpr int kDefaultDifficulty = 50;
// A question is open while at least this much of its time is left.
inline constexpr std::int32_t kOpenQuestionMs = 1000;

struct TSlotRec {
    std::uint8_t col = 0;    // grid column 0..30
    std::uint8_t row = 0;    // grid row 0..30
    std::uint8_t number = 0; // marker 1..10, 0 = none
    bool operator==(const TSlotRec&) const = default;
};

struct TQuestionRec {
    QByteArray body;      // the question's embedded-document piece
    QByteArray bodyStore; // the buffer body may point into (the pages of a test share one)
    std::array<bool, kMaxChoices> rightChoice{};
    std::array<TSlotRec, kMaxSlots> rightSlots{};
    bool multiChoice = false;
    std::string rightText;
    std::string kindText; // first character: 'A', 'B' or 'D'
    std::string topic;
    std::string textbook;
    std::uint8_t choiceCount = 0;
    std::uint8_t difficulty = kDefaultDifficulty;
    std::int32_t sourceNo = 0; // 1-based position in the archive; travels when shuffled
    std::int32_t timeLeftMs = 0;
    std::int32_t timeLimitMs = 0;
    std::int32_t timeSpentMs = 0;

    char kind() const { return kindText.empty() ? '\0' : kindText[0]; }
};

struct TAnswerRec {
    std::array<bool, kMaxChoices> chosen{};
    std::string text;
    std::array<TSlotRec, kMaxSlots> slots{};
    bool touched = false;
};

// Random(n) as the run uses it: a 32-bit linear congruential generator, 0..n-1 uniformly
// enough, reproducible from its seed.
class RunRandom {
public:
    explicit RunRandom(std::uint32_t seed = 0) : state_(seed) {}
    void seed(std::uint32_t s) { state_ = s; }
    int next(int n);

private:
    std::uint32_t state_;
};

struct QuestionSet {
    std::vector<TQuestionRec> questions;
    std::vector<TAnswerRec> answers;
    std::vector<std::string> labels; // the items of Stests: A01, A02, ..., B01, ..., D01
    DateTime questionTime = 0;
    DateTime testTime = 0;
    std::int32_t questionTimeMs = 0;
    std::int32_t testTimeMs = 0;
    std::int32_t testTimeLeftMs = 0;
    bool questionTimerOn = false;
    bool testTimerOn = false;
    bool calculatorAllowed = false;
    bool hasNext = false;
    bool updating = false;

    int size() const { return int(questions.size()); }
};

// Date-time helpers. Only hours, minutes and seconds of a time value count.
std::int32_t timeOfDayMs(DateTime t);
// "H:MM:SS", "H:MM" (hours 0..23); nullopt for anything else.
std::optional<DateTime> parseTimeText(std::string_view text);
std::string formatTimeText(DateTime t); // "HH:MM:SS"

// List labels from the kind texts in order: the kind text and the running number of its kind
// as two digits.
std::vector<std::string> makeLabels(const std::vector<TQuestionRec>& questions);

// Positions [first, first + count) of the A, B and D groups, taken from the labels.
struct KindGroup {
    int first = 0;
    int count = 0;
};
std::array<KindGroup, 3> kindGroups(const std::vector<std::string>& labels);

// Exchanges whole question records within each kind group; answers and labels stay.
void ShuffleQuestions(QuestionSet& set, RunRandom& random);

// Every answer back to its starting state: nothing chosen, no text, markers 1..n in order.
void resetAnswers(QuestionSet& set);

// The logic half of starting a run: seed, shuffle when asked, answers reset, clocks set,
// hasNext, resultsShown off, startTime now (from the program's clock).
void startRunLogic(QuestionSet& set, RunState& state, std::uint32_t seed);

// Time budgets: the test time shared out by difficulty, or the question time for each.
void computeTimeBudgets(QuestionSet& set, bool timeByDifficulty);

} // namespace kvz
