#pragma once

// The one place the program reads the wall clock and takes random seeds from, so a test can
// set both.

#include "shell/RunState.h"

#include <cstdint>
#include <functional>

namespace kvz::clock {

// Now as a date-time value (days since 30 December 1899, local time of day as the fraction).
DateTime now();
// A seed for the run's random generator, taken from the clock unless a test set one.
std::uint32_t randomSeed();
// Milliseconds of a clock that only moves forward (not the wall clock, which may be set back or
// jump): what the run's clocks count.
std::int64_t monotonicMs();

// Test seams; an empty function restores the real clock or seed.
void setNowForTesting(std::function<DateTime()> now);
void setRandomSeedForTesting(std::function<std::uint32_t()> seed);
void setMonotonicForTesting(std::function<std::int64_t()> ms);

} // namespace kvz::clock
