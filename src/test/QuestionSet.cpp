#include "test/QuestionSet.h"

#include "run/RunDriver.h"
#include "shell/Clock.h"

#include <cmath>
#include <cstdio>

namespace kvz {

int RunRandom::next(int n) {
    state_ = state_ * 0x08088405u + 1u;
    if (n <= 0)
        return 0;
    return int((std::uint64_t(state_) * std::uint64_t(n)) >> 32);
}

std::int32_t timeOfDayMs(DateTime t) {
    if (!std::isfinite(t))
        return 0;
    const double frac = t - std::floor(t);
    long long ms = std::llround(frac * 86400000.0);
    if (ms >= 86400000 || ms < 0)
        ms = 0;
    return std::int32_t(ms - ms % 1000); // whole seconds only
}

std::optional<DateTime> parseTimeText(std::string_view text) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    std::size_t i = 0;
    while (i <= text.size() && count < 3) {
        int digits = 0;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        parts[count++] = value;
        if (i == text.size())
            break;
        if (text[i] != ':')
            return std::nullopt;
        ++i;
    }
    if (i != text.size() || count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    return (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
}

std::string formatTimeText(DateTime t) {
    const int s = timeOfDayMs(t) / 1000;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

std::vector<std::string> makeLabels(const std::vector<TQuestionRec>& questions) {
    std::vector<std::string> labels;
    int counts[3] = {0, 0, 0};
    for (const TQuestionRec& q : questions) {
        int g = q.kind() == 'A' ? 0 : q.kind() == 'B' ? 1 : q.kind() == 'D' ? 2 : -1;
        if (g < 0)
            continue;
        char num[16];
        std::snprintf(num, sizeof num, "%02d", ++counts[g]);
        labels.push_back(q.kindText + num);
    }
    return labels;
}

std::array<KindGroup, 3> kindGroups(const std::vector<std::string>& labels) {
    std::array<KindGroup, 3> groups{};
    for (const std::string& l : labels) {
        const char c = l.empty() ? '\0' : l[0];
        if (c == 'A')
            ++groups[0].count;
        else if (c == 'B')
            ++groups[1].count;
        else if (c == 'D')
            ++groups[2].count;
    }
    groups[1].first = groups[0].count;
    groups[2].first = groups[0].count + groups[1].count;
    return groups;
}

void ShuffleQuestions(QuestionSet& set, RunRandom& random) {
    const int size = set.size();
    for (const KindGroup& g : kindGroups(set.labels)) {
        if (g.count == 0 || g.first + g.count > size)
            continue;
        for (int step = 0; step < g.count; ++step) {
            const int j = g.first + random.next(g.count);
            const int k = g.first + random.next(g.count);
            if (j != k)
                std::swap(set.questions[std::size_t(j)], set.questions[std::size_t(k)]);
        }
    }
}

void resetAnswers(QuestionSet& set) {
    set.answers.resize(set.questions.size());
    for (std::size_t k = 0; k < set.questions.size(); ++k) {
        const TQuestionRec& q = set.questions[k];
        TAnswerRec& a = set.answers[k];
        a.chosen.fill(false);
        a.text.clear();
        a.touched = false;
        for (int i = 0; i < kMaxSlots; ++i) {
            a.slots[std::size_t(i)].col = q.rightSlots[std::size_t(i)].col;
            a.slots[std::size_t(i)].row = q.rightSlots[std::size_t(i)].row;
            a.slots[std::size_t(i)].number =
                i < q.choiceCount && i < kMaxSlots ? std::uint8_t(i + 1) : std::uint8_t(0);
        }
    }
}

void computeTimeBudgets(QuestionSet& set, bool timeByDifficulty) {
    if (!timeByDifficulty) {
        const std::int32_t q = timeOfDayMs(set.questionTime);
        for (TQuestionRec& rec : set.questions)
            rec.timeLimitMs = q;
        return;
    }
    const double total = timeOfDayMs(set.testTime);
    double sum = 0;
    for (const TQuestionRec& rec : set.questions)
        sum += rec.difficulty;
    for (TQuestionRec& rec : set.questions) {
        double share;
        if (sum <= 0)
            share = total / double(set.questions.size()); // all weights zero: equal shares
        else
            share = total / (sum / rec.difficulty); // a zero weight gets no time
        rec.timeLimitMs = std::int32_t(std::nearbyint(share));
    }
}

void startRunLogic(QuestionSet& set, RunState& state, std::uint32_t seed) {
    RunRandom random(seed);
    state.resultsShown = false;
    if (state.shuffleQuestions)
        ShuffleQuestions(set, random);
    resetAnswers(set);
    set.testTimeMs = set.testTimeLeftMs = timeOfDayMs(set.testTime);
    set.questionTimeMs = timeOfDayMs(set.questionTime);
    for (TQuestionRec& q : set.questions) {
        q.timeLeftMs = state.timeByDifficulty ? q.timeLimitMs : set.questionTimeMs;
        q.timeSpentMs = 0;
    }
    if (state.connectedToServer)
        state.reportedStartTime = state.serverStartTime;
    state.startTime = clock::now();
    set.hasNext = HasNextQuestion(set, 0, false);
    set.updating = false;
}

} // namespace kvz
