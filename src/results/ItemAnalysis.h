#pragma once

// Item analysis of a set of results: how a class did on a test as a whole, on each question
// (difficulty, discrimination, the wrong answers chosen, time spent), on each topic, and pupil by
// pupil. Plain logic over decoded result records; the teacher's report and the supervisor's
// console show the same figures from here. Texts stay Windows-1251 as the records hold them.
//
// A figure that cannot be computed (a correlation when every pupil scored the same, a
// discrimination with one pupil) is an empty optional, never a NaN.

#include "results/ResultReader.h"
#include "shell/RunState.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvz {

// Share of the pupils in each of the upper and lower groups of the discrimination index.
inline constexpr double kDiscriminationGroupShare = 0.27;
// Below this the discrimination index is "near zero": the question hardly tells the stronger
// pupils from the weaker ones.
inline constexpr double kWeakDiscrimination = 0.1;
// Wrong answers listed per typed-answer or ordering question.
inline constexpr int kWrongAnswersListed = 5;

// What a teacher should look at in a question.
enum class ItemFlag {
    NobodyAnswered,
    NobodyRight,
    EverybodyRight,
    NegativeDiscrimination,
    WeakDiscrimination,
};
// The flag in plain words for a teacher.
const char* itemFlagText(ItemFlag flag);

// Why a figure is missing, in words.
enum class Undefined {
    None,
    NoPupils,
    OnePupil,       // a spread between pupils needs two of them
    AllScoresEqual, // nothing tells stronger pupils from weaker ones
    AllSameAnswer,  // everybody right or everybody wrong: the question does not vary
};
const char* undefinedText(Undefined why);

struct AnswerCount {
    std::string answer; // as the record holds it (kind B text, kind D "3, 1, 2")
    int count = 0;
};

struct ItemStats {
    std::int32_t sourceNo = 0; // the question's place in the test archive, 1-based
    char kind = 0;             // 'A', 'B', 'D' or what a foreign record says
    std::string label;         // as listed when not shuffled: kind letter and running number
    std::string topic;
    std::uint8_t weight = 0; // the question's difficulty weight in the score
    bool multiChoice = false;
    std::string rightAnswer; // the most common key among the records

    int pupils = 0; // pupils whose result holds this question
    int rightCount = 0;
    int answeredCount = 0;
    double difficultyIndex = 0;           // share of pupils right, 0..1
    std::optional<double> discrimination; // upper group's share right minus the lower's
    Undefined discriminationWhy = Undefined::None;
    std::optional<double> pointBiserial; // correlation of right/wrong with the score
    Undefined pointBiserialWhy = Undefined::None;
    double meanTimeMs = 0;

    // Kind A: pupils who set each choice (choiceCount entries; multiple choice may add up past
    // the pupils), and which choices the key sets.
    std::vector<int> optionCounts;
    std::vector<bool> optionRight;
    int notAnsweredCount = 0;
    // Kinds B and D: the most frequent wrong answers, most frequent first.
    std::vector<AnswerCount> wrongAnswers;
    int otherWrongCount = 0; // wrong answers given that are not listed

    std::vector<ItemFlag> flags;
};

struct TopicStats {
    std::string topic;
    int questions = 0;
    int answers = 0; // pupil-question pairs
    int right = 0;
    double share = 0; // right / answers
};

struct PupilRow {
    std::string name;
    std::string group; // class or group
    double score = 0;  // difficulty-weighted percentage, as the pupil was shown it
    int rightPercentHundredths = 0;
    int rightCount = 0;
    int answeredCount = 0;
    int questionCount = 0;
    int markIndex = -1;                  // entry of the test's grading scale, -1 without one
    std::optional<std::int64_t> takenMs; // finish minus start; none when the times make no sense
    std::size_t source = 0;              // index of the record in the analysed list
};

struct TestAnalysis {
    std::string testName;
    std::string subject;
    std::string group; // class or group: each class that sat the test is analysed apart
    int questionCount = 0;

    int pupilCount = 0;
    double meanScore = 0;
    double medianScore = 0;
    double scoreSpread = 0; // standard deviation of the scores
    double minScore = 0;
    double maxScore = 0;
    std::array<int, 10> scoreBins{}; // 0-10 %, 10-20 %, ..., 90-100 % (100 % in the last)
    std::optional<std::int64_t> medianTakenMs;
    std::optional<std::int64_t> longestTakenMs;

    std::vector<MarkEntry> markScale; // empty when the test's scale is unknown
    std::vector<int> markCounts;      // pupils per scale entry

    std::vector<ItemStats> items;   // in the archive's question order (by source number)
    std::vector<TopicStats> topics; // empty when no question has a topic
    std::vector<PupilRow> pupils;   // by class, then name
};

// The grading scale of a test, by test name and subject; nullopt when not known.
using MarkScaleLookup = std::function<std::optional<std::vector<MarkEntry>>(
    const std::string& testName, const std::string& subject)>;

// The records grouped into tests (same name, subject, class and number of questions), each
// analysed; in order of test name, subject, class and size.
std::vector<TestAnalysis> analyseResults(const std::vector<ResultRecord>& records,
                                         const MarkScaleLookup& scales = {});

// One test's results (the records must be of one test).
TestAnalysis analyseTest(const std::vector<const ResultRecord*>& records,
                         const std::vector<std::size_t>& sources,
                         const std::vector<MarkEntry>& markScale = {});

// The pieces, for the analysis and its tests.
// Difficulty-weighted score of a record, 0..100; 0 when the weights add up to 0.
double weightedScore(const ResultRecord& record);
// Upper minus lower 27 % group's share right, by score. Pupils tied at a group's boundary share
// its last places equally, so the order of ties never changes the figure.
std::optional<double> discriminationIndex(const std::vector<double>& scores,
                                          const std::vector<bool>& right, Undefined* why = nullptr);
std::optional<double> pointBiserialCorrelation(const std::vector<double>& scores,
                                               const std::vector<bool>& right,
                                               Undefined* why = nullptr);
double median(std::vector<double> values);
// Ordering of class names and pupil names as a teacher expects: letters without regard to case
// (Ё with Е), numbers by value ("9А" before "10А").
int naturalCompare(const std::string& a, const std::string& b);

} // namespace kvz
