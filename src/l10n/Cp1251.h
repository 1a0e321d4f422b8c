#pragma once

// Texts live as Windows-1251 bytes in files, on the wire and in the records; they become
// Unicode only where a widget shows them or takes them from the keyboard. This is the one
// way across that border.

#include <QString>
#include <string>
#include <string_view>

namespace kvz::cp1251 {

// Every byte has a Unicode character; the unassigned 0x98 maps to U+0098 as the system does,
// so every byte string survives the round trip.
QString toUnicode(std::string_view bytes);

// Characters outside the code page become '?'.
std::string fromUnicode(const QString& text);

// The byte for a Unicode character, or -1 when the code page has none.
int byteFor(char32_t ch);
inline bool encodable(QChar ch) { return byteFor(ch.unicode()) >= 0; }

char32_t charFor(unsigned char byte);

// The system's ANSI case mapping for the code page: Latin, Cyrillic А..Я / а..я, Ё/ё and
// the other Cyrillic letters of the page.
unsigned char ansiLower(unsigned char c);
unsigned char ansiUpper(unsigned char c);
std::string ansiLower(std::string_view s);
std::string ansiUpper(std::string_view s);

} // namespace kvz::cp1251
