#pragma once

// The ZIP password of every entry of a test archive is a fixed prefix, the test's own password
// and a fixed suffix. The two constants are shared by everything that reads or writes test
// archives (the program, kvizor-pack, the testing server); changing them orphans every test.

#include <string>
#include <string_view>

namespace kvz {

// 10 bytes each, bytes above 127 and no zero byte (the ZIP password is a C string).
inline constexpr char kArchivePasswordPrefix[] = "\xCA\xE2\xE8\xE7\xEE\xF0\x2D\xD4\xDB\xC2";
inline constexpr char kArchivePasswordSuffix[] = "\xFB\xE2\x2E\xF2\xE5\xF1\xF2\xA7\xB9\xAE";
static_assert(sizeof(kArchivePasswordPrefix) == 11 && sizeof(kArchivePasswordSuffix) == 11);

// typed: the test password as Windows-1251 bytes. A zero byte cannot reach libzip, so the text
// ends there, as it would for any C string.
inline std::string archivePassword(std::string_view typed) {
    std::string_view cut = typed.substr(0, typed.find('\0'));
    std::string out(kArchivePasswordPrefix);
    out.append(cut);
    out.append(kArchivePasswordSuffix);
    return out;
}

} // namespace kvz
