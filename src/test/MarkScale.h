#pragma once

// Grading scales. A teacher writes each mark with the least percentage that earns it ("from
// 90 % the mark is 5"); the archive stores the scale from the lowest band up, each entry with
// the highest score it covers in hundredths of a percent (4999 = 49.99 %), the last entry being
// the default for everything above. The program picks the first entry whose threshold is not
// below score x 100.

#include "shell/RunState.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvz::pack {

inline constexpr int kFullScoreHundredths = 10000;

// "90", "84.5", "84.50": a percentage 0..100 with at most two decimals, in hundredths.
std::optional<int> parsePercent(std::string_view text);

struct MarkFrom {
    int fromHundredths = 0; // the least score (x 100) that earns the mark
    std::string markText;
};

// The stored scale for marks given by their least percentages, in any order. The lowest must
// start at 0 and no two may start at the same score (the caller checks both).
std::vector<MarkEntry> storedScale(std::vector<MarkFrom> marks);

// The scores (x 100) entry e of a stored scale covers, as the program's mark choice reads it:
// from, to (both inclusive); nullopt when the entry is never chosen.
struct ScoreBand {
    int fromHundredths = 0;
    int toHundredths = 0;
};
std::optional<ScoreBand> bandOfEntry(const std::vector<MarkEntry>& scale, int e);

} // namespace kvz::pack
