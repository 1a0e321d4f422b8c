#include "run/Checking.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace kvz {

namespace {

// Hundredths of numerator / denominator × 100, halves away from zero; both not negative.
std::int64_t roundedHundredths(std::int64_t numerator, std::int64_t denominator) {
    if (denominator <= 0 || numerator <= 0)
        return 0;
    // numerator × 10000 / denominator, rounded: (2 n 10000 + d) div 2d. Inputs are bounded by
    // 254 questions × 255 difficulty, far from overflow.
    return (2 * numerator * 10000 + denominator) / (2 * denominator);
}

std::optional<std::int64_t> thresholdValue(const std::string& text) {
    std::int64_t v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    // Stored thresholds are 16-bit; anything wider only has to stay clear of overflow.
    return std::clamp<std::int64_t>(v, -1, 1000000);
}

} // namespace

bool answerIsRight(const TQuestionRec& question, const TAnswerRec& answer) {
    switch (question.kind()) {
    case 'A':
        return answer.chosen == question.rightChoice;
    case 'B':
        return answer.text == question.rightText;
    case 'D':
        for (int i = 0; i < kMaxSlots; ++i)
            if (answer.slots[std::size_t(i)].number != question.rightSlots[std::size_t(i)].number)
                return false;
        return true;
    default:
        return false;
    }
}

std::string percentText(std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t h = roundedHundredths(numerator, denominator);
    std::string out = std::to_string(h / 100);
    out += '.';
    out += char('0' + (h % 100) / 10);
    out += char('0' + h % 10);
    return out;
}

int percentHundredths(const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || text.size() != dot + 3 || dot == 0)
        return 0;
    int v = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == dot)
            continue;
        if (text[i] < '0' || text[i] > '9' || v > 100000)
            return 0;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

void CheckAnswers(QuestionSet& set, const std::string& rightText, const std::string& wrongText,
                  std::vector<std::string>& verdicts, CheckSummary& summary) {
    verdicts.clear();
    summary = CheckSummary{};
    const int n = std::min(set.size(), int(set.answers.size()));
    summary.questionCount = n;
    int right = 0;
    for (int k = 0; k < n; ++k) {
        const TQuestionRec& q = set.questions[std::size_t(k)];
        TAnswerRec& a = set.answers[std::size_t(k)];
        const bool ok = answerIsRight(q, a);
        if (ok) {
            a.touched = true;
            ++right;
            summary.gainedWeight += q.difficulty;
        }
        summary.totalWeight += q.difficulty;
        verdicts.push_back(ok ? rightText : wrongText);
        // The kind letter as the question list shows it.
        const std::string& label =
            std::size_t(k) < set.labels.size() ? set.labels[std::size_t(k)] : q.kindText;
        summary.verdictCode += label.empty() ? ' ' : label[0];
        summary.verdictCode += ok ? '1' : '0';
    }
    int answered = 0;
    for (int k = 0; k < n; ++k)
        answered += set.answers[std::size_t(k)].touched ? 1 : 0;
    // At most 254 questions, so the counts fit their byte.
    summary.rightCount = std::uint8_t(std::min(right, 255));
    summary.answeredCount = std::uint8_t(std::min(answered, 255));
    summary.rightPercentText = percentText(right, n);
    summary.answeredPercentText = percentText(answered, n);
    if (summary.totalWeight >= 1)
        summary.score = double(summary.gainedWeight) / double(summary.totalWeight) * 100.0;
    summary.scoreText = percentText(summary.gainedWeight, summary.totalWeight);
}

int ChooseMark(std::int64_t gainedWeight, std::int64_t totalWeight,
               const std::vector<MarkEntry>& scale, int markCount) {
    const int count = std::min(markCount, int(scale.size()));
    if (count <= 0)
        return -1;
    if (totalWeight <= 0)
        gainedWeight = 0, totalWeight = 1;
    int index = count - 1;
    for (int e = count - 2; e >= 0; --e) {
        const auto t = thresholdValue(scale[std::size_t(e)].threshold);
        // score × 100 <= T, in whole numbers: gained × 10000 <= T × total.
        if (t && gainedWeight * 10000 <= *t * totalWeight)
            index = e;
    }
    return index;
}

int ChooseMark(double score, const std::vector<MarkEntry>& scale, int markCount) {
    // Hundredths to 1e-6: a score that is a ratio of whole weights differs from any threshold by
    // far more, so only the noise of the division is absorbed.
    constexpr std::int64_t kScale = 1000000;
    const double scaled = std::clamp(score, 0.0, 100.0) * 100.0 * double(kScale);
    return ChooseMark(std::llround(scaled), 10000 * kScale, scale, markCount);
}

} // namespace kvz
