#pragma once

// Small text rules of the conversation with the testing server. All texts are Windows-1251
// bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

// The server sends each password byte lowered by the nearest integer to 15 * sin k (k the
// 1-based position, in radians); this adds it back, modulo 256.
std::string UnscramblePassword(std::string_view text);
// The inverse, for the server side.
std::string ScramblePassword(std::string_view text);

struct OfferItem {
    std::string name;
    std::string testClass;
    std::string subject;
};

// Splits a choice-list item "name <class, subject>". An item without "<" gives an empty name
// (and class and subject from nothing).
OfferItem SplitOfferItem(std::string_view item);

// Digits and dots only, exactly three dots.
bool LooksLikeIPv4(std::string_view text);

// Lines as the workstation reads them: CR, LF or CR LF each end a line; a final line without
// an ending counts, a final ending adds no empty line. lastTerminated tells whether the text
// ended with a line ending.
std::vector<std::string> splitLines(std::string_view text, bool* lastTerminated = nullptr);

// A decimal integer in 32 bits: optional leading blanks, optional sign, digits, nothing after.
std::optional<std::int32_t> parseInt32(std::string_view text);
// A real number with "." as its decimal separator, whatever the locale; finite only.
std::optional<double> parseReal(std::string_view text);

// "'<text>' is not a valid integer value": what the error report says about a bad number.
std::string notAnIntegerText(std::string_view text);

} // namespace kvz
