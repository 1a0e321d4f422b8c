#pragma once

// Checking a finished test and scoring it: pure functions over the question set, no windows.

#include "shell/RunState.h"
#include "test/QuestionSet.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvz {

// Whether one answer is right by the rule of its question's kind; any other kind is wrong.
bool answerIsRight(const TQuestionRec& question, const TAnswerRec& answer);

// Checks every answer of the set in list order: verdicts gets rightText or wrongText (the
// message table's texts for "right" and "wrong") per question, a right answer is marked
// touched (it counts as answered even when never changed), and the summary gets the counts,
// the percentages, the verdict code and the weighted score. markIndex is left at -1.
void CheckAnswers(QuestionSet& set, const std::string& rightText, const std::string& wrongText,
                  std::vector<std::string>& verdicts, CheckSummary& summary);

// The grading scale entry for a score of gained / total (total 0 means score 0): the lowest of
// the first markCount - 1 entries whose threshold (hundredths of a percent) is at least the
// score, else the last entry. Entries past the scale's end are not used; -1 for an empty scale.
int ChooseMark(std::int64_t gainedWeight, std::int64_t totalWeight,
               const std::vector<MarkEntry>& scale, int markCount);
// The same for a score given as a percentage.
int ChooseMark(double score, const std::vector<MarkEntry>& scale, int markCount);

// numerator / denominator as a percentage with the pattern "0.00": two decimals, rounded
// half away from zero, exact for any whole numbers; "0.00" when the denominator is 0.
std::string percentText(std::int64_t numerator, std::int64_t denominator);

// The percentage text read back as hundredths ("66.67" -> 6667); 0 for anything else.
int percentHundredths(const std::string& text);

} // namespace kvz
