#include "choice/NameTyping.h"

#include "l10n/Cp1251.h"

#include <algorithm>

namespace kvz {

namespace {

// Whether the name's next character starts a word and so is typed as a capital.
bool capitalHere(const std::string& text, std::size_t caret) {
    if (text.empty() || caret == 0)
        return true;
    const auto first = static_cast<unsigned char>(text[0]);
    // A name begun with something other than a capital is typed in capitals throughout.
    if (cp1251::ansiLower(first) == first)
        return true;
    const char before = text[caret - 1];
    return before == ' ' || before == '-';
}

} // namespace

std::optional<TypedText> TypeByte(ExamineeField field, const std::string& text, int caret,
                                  int selLength, unsigned char ch) {
    if (ch < 0x20 || ch == 0x7F || ch == 0x98)
        return std::nullopt;
    const std::size_t at = std::clamp<std::size_t>(std::size_t(std::max(caret, 0)), 0, text.size());
    const std::size_t sel =
        std::min<std::size_t>(std::size_t(std::max(selLength, 0)), text.size() - at);
    const char last = text.empty() ? '\0' : text.back();

    unsigned char typed;
    std::size_t maxLength;
    if (field == ExamineeField::Name) {
        maxLength = kNameMaxLength;
        typed = cp1251::ansiLower(ch);
        if (capitalHere(text, at))
            typed = cp1251::ansiUpper(typed);
        // The doubling rules look at the end of the text, not at the caret.
        if (typed == ' ' && (at == 0 || last == ' '))
            return std::nullopt;
        if (typed == '-' && last == '-')
            return std::nullopt;
    } else {
        maxLength = kClassMaxLength;
        typed = cp1251::ansiUpper(ch);
        if (typed == ' ' && (at == 0 || last == ' '))
            return std::nullopt;
    }
    if (text.size() - sel + 1 > maxLength)
        return std::nullopt;

    TypedText out;
    out.text = text;
    out.text.replace(at, sel, 1, char(typed));
    out.caret = int(at + 1);
    return out;
}

std::optional<TypedText> TypeKey(ExamineeField field, const std::string& text, int caret,
                                 int selLength, QChar ch) {
    if (!ch.isPrint() && ch != QLatin1Char(' '))
        return std::nullopt;
    const int byte = cp1251::byteFor(ch.unicode());
    if (byte < 0)
        return std::nullopt;
    return TypeByte(field, text, caret, selLength, static_cast<unsigned char>(byte));
}

} // namespace kvz
