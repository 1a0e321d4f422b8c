#include "l10n/MessageTable.h"

#include "l10n/Cp1251.h"

namespace kvz {

const std::string& MessageTable::msg(int n) const {
    static const std::string empty;
    if (n < 0 || n >= kSize)
        return empty;
    return slots_[static_cast<std::size_t>(n)];
}

QString MessageTable::text(int n) const {
    return cp1251::toUnicode(msg(n));
}

void MessageTable::set(int n, std::string text) {
    if (n < 0 || n >= kSize)
        return;
    slots_[static_cast<std::size_t>(n)] = std::move(text);
}

void MessageTable::clear() {
    for (std::string& s : slots_)
        s.clear();
}

std::string formatMessage(std::string_view format, const std::vector<std::string>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's' && next < args.size()) {
                out += args[next++];
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace kvz
