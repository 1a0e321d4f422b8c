#include "results/ItemAnalysis.h"

#include "l10n/Cp1251.h"
#include "run/Checking.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <tuple>
#include <unordered_map>

namespace kvz {

namespace {

constexpr double kMsPerDay = 86400000.0;
// A sitting longer than this is a clock that was wrong, not a pupil who was slow.
constexpr std::int64_t kLongestSittingMs = std::int64_t(7) * 86400000;

struct Weights {
    std::int64_t gained = 0;
    std::int64_t total = 0;
};

Weights weightsOf(const ResultRecord& r) {
    Weights w;
    for (const ResultQuestion& q : r.questions) {
        w.total += q.difficulty;
        if (q.right)
            w.gained += q.difficulty;
    }
    return w;
}

std::optional<std::int64_t> takenMs(const ResultRecord& r) {
    const DateTime start = r.facts.startTime, finish = r.facts.finishTime;
    if (start <= 0 || finish <= 0)
        return std::nullopt;
    const double ms = std::round((finish - start) * kMsPerDay);
    if (!(ms >= 0) || ms > double(kLongestSittingMs))
        return std::nullopt;
    return std::int64_t(ms);
}

double mean(const std::vector<double>& v) {
    if (v.empty())
        return 0;
    return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

// Population standard deviation: the class is the whole population the teacher looks at.
double spread(const std::vector<double>& v) {
    if (v.size() < 2)
        return 0;
    const double m = mean(v);
    double sum = 0;
    for (double x : v)
        sum += (x - m) * (x - m);
    return std::sqrt(sum / double(v.size()));
}

bool allEqual(const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [&](double x) { return x == v.front(); });
}

// Folded for ordering: lower case, Ё as Е.
unsigned char foldByte(unsigned char c) {
    c = cp1251::ansiLower(c);
    return c == 0xB8 ? 0xE5 : c; // ё -> е
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

template <class T> std::vector<std::pair<T, int>> byCount(const std::map<T, int>& counts) {
    std::vector<std::pair<T, int>> v(counts.begin(), counts.end());
    std::stable_sort(v.begin(), v.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return v;
}

} // namespace

const char* itemFlagText(ItemFlag flag) {
    switch (flag) {
    case ItemFlag::NobodyAnswered:
        return "Nobody answered this question. Check that its page shows and that the time was "
               "long enough to reach it.";
    case ItemFlag::NobodyRight:
        return "Nobody got this question right. Check the right answer stored in the test and "
               "the wording, or whether the class has learnt this yet.";
    case ItemFlag::EverybodyRight:
        return "Everybody got this question right. It may be too easy to tell pupils apart.";
    case ItemFlag::NegativeDiscrimination:
        return "Weaker pupils did better on this question than stronger ones. Check the right "
               "answer stored in the test and look for a misleading wording.";
    case ItemFlag::WeakDiscrimination:
        return "This question hardly tells stronger pupils from weaker ones: they got it right "
               "about equally often.";
    }
    return "";
}

const char* undefinedText(Undefined why) {
    switch (why) {
    case Undefined::None:
        return "";
    case Undefined::NoPupils:
        return "no pupils";
    case Undefined::OnePupil:
        return "needs two pupils or more";
    case Undefined::AllScoresEqual:
        return "all pupils scored the same";
    case Undefined::AllSameAnswer:
        return "all pupils answered alike";
    }
    return "";
}

double weightedScore(const ResultRecord& record) {
    const Weights w = weightsOf(record);
    return w.total > 0 ? double(w.gained) * 100.0 / double(w.total) : 0.0;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::optional<double> discriminationIndex(const std::vector<double>& scores,
                                          const std::vector<bool>& right, Undefined* why) {
    auto undefined = [&](Undefined w) -> std::optional<double> {
        if (why)
            *why = w;
        return std::nullopt;
    };
    const std::size_t n = std::min(scores.size(), right.size());
    if (n == 0)
        return undefined(Undefined::NoPupils);
    if (n == 1)
        return undefined(Undefined::OnePupil);
    const std::vector<double> s(scores.begin(), scores.begin() + std::ptrdiff_t(n));
    if (allEqual(s))
        return undefined(Undefined::AllScoresEqual);
    const std::size_t g =
        std::max<std::size_t>(1, std::size_t(std::lround(kDiscriminationGroupShare * double(n))));

    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return s[a] > s[b]; });
    // Share right in a group of g pupils taken from one end; ties at its boundary count with
    // the places left divided among them.
    auto share = [&](bool upper) {
        const double cut = s[order[upper ? g - 1 : n - g]];
        double better = 0, betterRight = 0, tied = 0, tiedRight = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const bool beyond = upper ? s[i] > cut : s[i] < cut;
            if (beyond) {
                better += 1;
                betterRight += right[i] ? 1 : 0;
            } else if (s[i] == cut) {
                tied += 1;
                tiedRight += right[i] ? 1 : 0;
            }
        }
        const double places = double(g) - better;
        return (betterRight + places * tiedRight / tied) / double(g);
    };
    if (why)
        *why = Undefined::None;
    return share(true) - share(false);
}

std::optional<double> pointBiserialCorrelation(const std::vector<double>& scores,
                                               const std::vector<bool>& right, Undefined* why) {
    auto undefined = [&](Undefined w) -> std::optional<double> {
        if (why)
            *why = w;
        return std::nullopt;
    };
    const std::size_t n = std::min(scores.size(), right.size());
    if (n == 0)
        return undefined(Undefined::NoPupils);
    if (n == 1)
        return undefined(Undefined::OnePupil);
    const std::vector<double> s(scores.begin(), scores.begin() + std::ptrdiff_t(n));
    const double sd = spread(s);
    if (allEqual(s) || sd <= 0)
        return undefined(Undefined::AllScoresEqual);
    double sumRight = 0, sumWrong = 0;
    std::size_t nRight = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (right[i]) {
            sumRight += s[i];
            ++nRight;
        } else {
            sumWrong += s[i];
        }
    }
    if (nRight == 0 || nRight == n)
        return undefined(Undefined::AllSameAnswer);
    const double p = double(nRight) / double(n);
    const double r =
        (sumRight / double(nRight) - sumWrong / double(n - nRight)) / sd * std::sqrt(p * (1 - p));
    if (why)
        *why = Undefined::None;
    return std::clamp(r, -1.0, 1.0);
}

int naturalCompare(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        if (isDigit(ca) && isDigit(cb)) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && isDigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const unsigned char fa = foldByte(ca), fb = foldByte(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    const int raw = a.compare(b);
    return raw < 0 ? -1 : raw > 0 ? 1 : 0;
}

TestAnalysis analyseTest(const std::vector<const ResultRecord*>& records,
                         const std::vector<std::size_t>& sources,
                         const std::vector<MarkEntry>& markScale) {
    TestAnalysis t;
    if (!records.empty()) {
        t.testName = records.front()->facts.testName;
        t.subject = records.front()->facts.subject;
        t.group = records.front()->facts.group;
        t.questionCount = records.front()->questionCount;
    }
    t.pupilCount = int(records.size());
    t.markScale = markScale;
    t.markCounts.assign(markScale.size(), 0);

    // Pupils.
    std::vector<double> scores;
    std::vector<std::int64_t> taken;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const ResultRecord& r = *records[k];
        PupilRow p;
        p.name = r.facts.examineeName;
        p.group = r.facts.group;
        const Weights w = weightsOf(r);
        p.score = w.total > 0 ? double(w.gained) * 100.0 / double(w.total) : 0.0;
        p.rightPercentHundredths = r.rightPercentHundredths;
        p.rightCount = r.rightCount;
        p.answeredCount = r.answeredCount;
        p.questionCount = r.questionCount;
        if (!markScale.empty()) {
            p.markIndex = ChooseMark(w.gained, w.total, markScale, int(markScale.size()));
            if (p.markIndex >= 0 && std::size_t(p.markIndex) < t.markCounts.size())
                ++t.markCounts[std::size_t(p.markIndex)];
        }
        p.takenMs = takenMs(r);
        if (p.takenMs)
            taken.push_back(*p.takenMs);
        p.source = k < sources.size() ? sources[k] : k;
        // Whole-number bins, so a score of exactly 70 % never falls into the 60 % bin.
        const std::int64_t bin = w.total > 0 ? w.gained * 10 / w.total : 0;
        ++t.scoreBins[std::size_t(std::clamp<std::int64_t>(bin, 0, 9))];
        scores.push_back(p.score);
        t.pupils.push_back(std::move(p));
    }
    if (!scores.empty()) {
        t.meanScore = mean(scores);
        t.medianScore = median(scores);
        t.scoreSpread = spread(scores);
        t.minScore = *std::min_element(scores.begin(), scores.end());
        t.maxScore = *std::max_element(scores.begin(), scores.end());
    }
    if (!taken.empty()) {
        std::vector<double> d(taken.begin(), taken.end());
        t.medianTakenMs = std::int64_t(std::llround(median(d)));
        t.longestTakenMs = *std::max_element(taken.begin(), taken.end());
    }

    // Questions, by their place in the archive so that shuffling does not mix them.
    struct Gathered {
        std::vector<double> scores;
        std::vector<bool> right;
        double timeMs = 0;
        std::map<std::string, int> topics, keys;
        std::map<std::string, int> wrong;
        int multi = 0;
        int weight = -1;
        int choiceCount = 0;
        std::array<int, 5> options{};
        int answered = 0;
    };
    // Keyed by the place in the archive and the kind: a shuffled run lists the questions in
    // another order under other labels, but each keeps its source number.
    using ItemKey = std::pair<std::int32_t, char>;
    std::map<ItemKey, Gathered> gathered;
    for (std::size_t k = 0; k < records.size(); ++k) {
        std::vector<ItemKey> seen;
        for (const ResultQuestion& q : records[k]->questions) {
            const ItemKey key{q.sourceNo, q.kind};
            // A foreign record may name one question twice; only its first answer counts.
            if (std::find(seen.begin(), seen.end(), key) != seen.end())
                continue;
            seen.push_back(key);
            Gathered& g = gathered[key];
            g.scores.push_back(scores[k]);
            g.right.push_back(q.right);
            g.timeMs += double(std::max<std::int32_t>(0, q.timeSpentMs));
            ++g.topics[q.topic];
            ++g.keys[q.rightAnswer];
            g.multi += q.multiChoice ? 1 : 0;
            if (g.weight < 0)
                g.weight = q.difficulty;
            g.choiceCount = std::max<int>(g.choiceCount, std::min<int>(q.choiceCount, 5));
            if (q.answered)
                ++g.answered;
            if (q.kind == 'A' && q.answered) {
                for (std::size_t i = 0; i < 5 && i < q.givenAnswer.size(); ++i)
                    if (q.givenAnswer[i] == '1')
                        ++g.options[i];
            }
            if ((q.kind == 'B' || q.kind == 'D') && q.answered && !q.right)
                ++g.wrong[q.givenAnswer];
        }
    }
    std::map<char, int> running;
    for (auto& [key, g] : gathered) {
        ItemStats it;
        it.sourceNo = key.first;
        it.kind = key.second;
        char number[16];
        std::snprintf(number, sizeof number, "%02d", ++running[it.kind]);
        it.label = std::string(1, it.kind ? it.kind : '?') + number;
        it.topic = byCount(g.topics).front().first;
        it.rightAnswer = byCount(g.keys).front().first;
        it.weight = std::uint8_t(std::max(0, g.weight));
        it.pupils = int(g.right.size());
        it.multiChoice = 2 * g.multi > it.pupils;
        it.rightCount = int(std::count(g.right.begin(), g.right.end(), true));
        it.answeredCount = g.answered;
        it.notAnsweredCount = it.pupils - it.answeredCount;
        it.difficultyIndex = it.pupils > 0 ? double(it.rightCount) / double(it.pupils) : 0.0;
        it.discrimination = discriminationIndex(g.scores, g.right, &it.discriminationWhy);
        it.pointBiserial = pointBiserialCorrelation(g.scores, g.right, &it.pointBiserialWhy);
        it.meanTimeMs = it.pupils > 0 ? g.timeMs / double(it.pupils) : 0.0;
        if (it.kind == 'A') {
            it.optionCounts.assign(g.options.begin(), g.options.begin() + g.choiceCount);
            for (int i = 0; i < g.choiceCount; ++i)
                it.optionRight.push_back(std::size_t(i) < it.rightAnswer.size() &&
                                         it.rightAnswer[std::size_t(i)] == '1');
        }
        const auto wrong = byCount(g.wrong);
        for (std::size_t i = 0; i < wrong.size(); ++i) {
            if (int(i) < kWrongAnswersListed)
                it.wrongAnswers.push_back({wrong[i].first, wrong[i].second});
            else
                it.otherWrongCount += wrong[i].second;
        }

        if (it.pupils > 0 && it.answeredCount == 0)
            it.flags.push_back(ItemFlag::NobodyAnswered);
        else if (it.pupils > 0 && it.rightCount == 0)
            it.flags.push_back(ItemFlag::NobodyRight);
        else if (it.pupils > 0 && it.rightCount == it.pupils)
            it.flags.push_back(ItemFlag::EverybodyRight);
        // With everybody right or everybody wrong the index is 0 by necessity, not a fault.
        if (it.discrimination && it.rightCount > 0 && it.rightCount < it.pupils) {
            if (*it.discrimination < -1e-9)
                it.flags.push_back(ItemFlag::NegativeDiscrimination);
            else if (*it.discrimination < kWeakDiscrimination)
                it.flags.push_back(ItemFlag::WeakDiscrimination);
        }
        t.items.push_back(std::move(it));
    }

    // Topics, in the order the test first reaches them.
    for (const ItemStats& it : t.items) {
        if (it.topic.empty())
            continue;
        auto found = std::find_if(t.topics.begin(), t.topics.end(),
                                  [&](const TopicStats& s) { return s.topic == it.topic; });
        if (found == t.topics.end()) {
            t.topics.push_back({it.topic, 0, 0, 0, 0});
            found = t.topics.end() - 1;
        }
        ++found->questions;
        found->answers += it.pupils;
        found->right += it.rightCount;
    }
    for (TopicStats& s : t.topics)
        s.share = s.answers > 0 ? double(s.right) / double(s.answers) : 0.0;

    std::stable_sort(t.pupils.begin(), t.pupils.end(), [](const PupilRow& a, const PupilRow& b) {
        if (const int c = naturalCompare(a.group, b.group))
            return c < 0;
        if (const int c = naturalCompare(a.name, b.name))
            return c < 0;
        return a.score > b.score;
    });
    return t;
}

std::vector<TestAnalysis> analyseResults(const std::vector<ResultRecord>& records,
                                         const MarkScaleLookup& scales) {
    using Key = std::tuple<std::string, std::string, std::string, int>;
    std::map<Key, std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ResultRecord& r = records[i];
        groups[{r.facts.testName, r.facts.subject, r.facts.group, r.questionCount}].push_back(i);
    }
    std::vector<std::pair<Key, std::vector<std::size_t>>> ordered(groups.begin(), groups.end());
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        const auto& [na, sa, ga, qa] = a.first;
        const auto& [nb, sb, gb, qb] = b.first;
        if (const int c = naturalCompare(na, nb))
            return c < 0;
        if (const int c = naturalCompare(sa, sb))
            return c < 0;
        if (const int c = naturalCompare(ga, gb))
            return c < 0;
        return qa < qb;
    });
    std::vector<TestAnalysis> out;
    for (const auto& [key, indices] : ordered) {
        std::vector<const ResultRecord*> group;
        for (std::size_t i : indices)
            group.push_back(&records[i]);
        std::vector<MarkEntry> scale;
        if (scales) {
            if (auto found = scales(std::get<0>(key), std::get<1>(key)))
                scale = std::move(*found);
        }
        out.push_back(analyseTest(group, indices, scale));
    }
    return out;
}

} // namespace kvz
