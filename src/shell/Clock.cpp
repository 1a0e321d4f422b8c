#include "shell/Clock.h"

#include <QDateTime>
#include <chrono>

namespace kvz::clock {

namespace {
std::function<DateTime()>& nowOverride() {
    static std::function<DateTime()> f;
    return f;
}
std::function<std::uint32_t()>& seedOverride() {
    static std::function<std::uint32_t()> f;
    return f;
}
std::function<std::int64_t()>& monotonicOverride() {
    static std::function<std::int64_t()> f;
    return f;
}
} // namespace

DateTime now() {
    if (nowOverride())
        return nowOverride()();
    const QDateTime t = QDateTime::currentDateTime();
    const qint64 days = t.date().toJulianDay() - QDate(1899, 12, 30).toJulianDay();
    return double(days) + double(t.time().msecsSinceStartOfDay()) / 86400000.0;
}

std::uint32_t randomSeed() {
    if (seedOverride())
        return seedOverride()();
    return static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch());
}

std::int64_t monotonicMs() {
    if (monotonicOverride())
        return monotonicOverride()();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setNowForTesting(std::function<DateTime()> f) {
    nowOverride() = std::move(f);
}
void setRandomSeedForTesting(std::function<std::uint32_t()> f) {
    seedOverride() = std::move(f);
}
void setMonotonicForTesting(std::function<std::int64_t()> f) {
    monotonicOverride() = std::move(f);
}

} // namespace kvz::clock
