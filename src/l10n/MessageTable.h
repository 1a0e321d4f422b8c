#pragma once

// The message table: 1000 numbered texts that every window builds its messages from. Texts are
// Windows-1251 bytes; text() converts one for a widget.

#include <QString>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

class MessageTable {
public:
    static constexpr int kSize = 1000;

    // An empty text for a number outside 0..999, so a wrong number never reads past the table.
    const std::string& msg(int n) const;
    QString text(int n) const;
    // Numbers outside 0..999 are ignored.
    void set(int n, std::string text);
    void clear();

private:
    std::array<std::string, kSize> slots_;
};

// Fills the "%s" places of a message in order ("%%" is one "%"); other "%" sequences stay as
// they are, and missing arguments leave "%s". A translated text is never used as a printf
// format, so no language file can make the program read or write outside its texts.
std::string formatMessage(std::string_view format, const std::vector<std::string>& args);

} // namespace kvz
