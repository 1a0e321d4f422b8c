#include "test/MarkScale.h"

#include <algorithm>

namespace kvz::pack {

namespace {

// A stored threshold text as the program converts it: its decimal digits, saturating.
int thresholdOf(const MarkEntry& entry) {
    long long v = 0;
    for (char c : entry.threshold)
        if (c >= '0' && c <= '9')
            v = std::min<long long>(v * 10 + (c - '0'), 1000000);
    return int(v);
}

} // namespace

std::optional<int> parsePercent(std::string_view text) {
    int whole = 0;
    int wholeDigits = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (++wholeDigits > 3)
            return std::nullopt;
        whole = whole * 10 + (text[i] - '0');
    }
    if (wholeDigits == 0)
        return std::nullopt;
    int fraction = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        int digits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (++digits > 2)
                return std::nullopt;
            fraction = fraction * 10 + (text[i] - '0');
        }
        if (digits == 0)
            return std::nullopt;
        if (digits == 1)
            fraction *= 10;
    }
    const int value = whole * 100 + fraction;
    if (i != text.size() || value > kFullScoreHundredths)
        return std::nullopt;
    return value;
}

std::vector<MarkEntry> storedScale(std::vector<MarkFrom> marks) {
    std::stable_sort(marks.begin(), marks.end(), [](const MarkFrom& a, const MarkFrom& b) {
        return a.fromHundredths < b.fromHundredths;
    });
    std::vector<MarkEntry> scale;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        // Each band ends just below where the next begins; the last one is the default, and its
        // threshold, never consulted, says "up to 100 %".
        const int upTo =
            i + 1 < marks.size() ? marks[i + 1].fromHundredths - 1 : kFullScoreHundredths;
        scale.push_back({std::to_string(std::max(upTo, 0)), marks[i].markText});
    }
    return scale;
}

std::optional<ScoreBand> bandOfEntry(const std::vector<MarkEntry>& scale, int e) {
    const int count = int(scale.size());
    if (e < 0 || e >= count)
        return std::nullopt;
    // Chosen when no earlier entry takes the score and this one does (the last takes all).
    int from = 0;
    for (int j = 0; j < e; ++j)
        from = std::max(from, thresholdOf(scale[std::size_t(j)]) + 1);
    const int to = e == count - 1
                       ? kFullScoreHundredths
                       : std::min(thresholdOf(scale[std::size_t(e)]), kFullScoreHundredths);
    if (from > to)
        return std::nullopt;
    return ScoreBand{from, to};
}

} // namespace kvz::pack
