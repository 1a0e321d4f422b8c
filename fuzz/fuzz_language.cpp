#include "l10n/Language.h"

#include <cstddef>
#include <cstdint>

// Language files come from anywhere: the message table, the flag and the label lines must take
// any bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kvz::MessageTable table;
    (void)kvz::loadLanguageText(table, bytes);
    for (int n = 0; n < kvz::MessageTable::kSize; ++n)
        (void)table.msg(n).size();
    (void)kvz::decodeFlag(bytes);
    for (const kvz::LabelLine& line : kvz::parseLabelLines(bytes))
        (void)line.value.size();
    return 0;
}
