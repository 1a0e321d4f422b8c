#include "net/ProtocolText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kvz {

namespace {

int offsetAt(std::size_t k) {
    return static_cast<int>(std::lround(15.0 * std::sin(double(k))));
}

std::string shifted(std::string_view text, int sign) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int v = static_cast<unsigned char>(out[i]) + sign * offsetAt(i + 1);
        out[i] = static_cast<char>(static_cast<unsigned char>(((v % 256) + 256) % 256));
    }
    return out;
}

} // namespace

std::string UnscramblePassword(std::string_view text) {
    return shifted(text, +1);
}
std::string ScramblePassword(std::string_view text) {
    return shifted(text, -1);
}

OfferItem SplitOfferItem(std::string_view item) {
    OfferItem out;
    const std::size_t lt = item.find('<');
    std::string_view rest;
    if (lt == std::string_view::npos) {
        // No "<": no name, and the rest is the whole item less its last character.
        rest = item;
    } else {
        out.name = std::string(item.substr(0, lt == 0 ? 0 : lt - 1));
        rest = item.substr(lt + 1);
    }
    if (!rest.empty())
        rest.remove_suffix(1);
    const std::size_t comma = rest.find(", ");
    if (comma == std::string_view::npos) {
        out.testClass = std::string(rest);
    } else {
        out.testClass = std::string(rest.substr(0, comma));
        out.subject = std::string(rest.substr(comma + 2));
    }
    return out;
}

bool LooksLikeIPv4(std::string_view text) {
    int dots = 0;
    for (char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

std::vector<std::string> splitLines(std::string_view text, bool* lastTerminated) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    bool terminated = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
            terminated = true;
        } else {
            terminated = false;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    if (lastTerminated)
        *lastTerminated = terminated;
    return lines;
}

std::optional<std::int32_t> parseInt32(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> parseReal(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        text.empty())
        return std::nullopt;
    return value;
}

std::string notAnIntegerText(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

} // namespace kvz
