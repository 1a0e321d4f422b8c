#pragma once

// The message table: 1000 numbered texts that every window builds its messages from. Texts are
// Windows-1251 bytes; text() converts one for a widget.

#include <QString>
#include <array>
#include <string>

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

} // namespace kvz
