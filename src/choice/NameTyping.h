#pragma once

// How the examinee's name and class are typed: each key is checked and shaped before it
// reaches the field, so names come out as "Иванов Иван-Петров" whatever the keyboard state.
// Texts are Windows-1251 bytes; the caret counts characters (one byte each).

#include <QChar>
#include <optional>
#include <string>

namespace kvz {

enum class ExamineeField { Name, Class };

inline constexpr int kClassMaxLength = 30;
inline constexpr int kNameMaxLength = 100;

struct TypedText {
    std::string text;
    int caret = 0;
};

// The field after typing ch with the caret at caret and selLength characters selected (they
// are replaced), or nullopt when the key is refused: a control character, a character outside
// Windows-1251, one the rules drop, or one that would make the text longer than the field
// allows.
std::optional<TypedText> TypeKey(ExamineeField field, const std::string& text, int caret,
                                 int selLength, QChar ch);

// The rules on a byte already in the code page (for callers that have bytes).
std::optional<TypedText> TypeByte(ExamineeField field, const std::string& text, int caret,
                                  int selLength, unsigned char ch);

} // namespace kvz
