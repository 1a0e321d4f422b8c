#pragma once

// The run's clocks read a monotonic clock. While one of these lives, that clock stands still
// until the test moves it, so a test says exactly how much time passes and the real timer firing
// in between counts nothing.

#include "run/TTopros.h"
#include "shell/Clock.h"

#include <cstdint>

namespace kvz::testing {

class ManualClock {
public:
    ManualClock() {
        clock::setMonotonicForTesting([this] { return now_; });
    }
    ~ManualClock() { clock::setMonotonicForTesting({}); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void advance(std::int64_t ms) { now_ += ms; }
    // Seconds pass and the run window's clock wakes after each, as its timer would.
    void tick(TTopros& run, int seconds = 1) {
        for (int i = 0; i < seconds; ++i) {
            advance(1000);
            run.Timer1Timer();
        }
    }

private:
    std::int64_t now_ = 5'000'000;
};

} // namespace kvz::testing
