#pragma once

// The ZIP password of every result archive. The program that writes results and the testing
// server that reads them must hold the same 24 bytes: changing them makes every result
// archive already written unreadable to the other side.

#include <cstddef>
#include <string>

namespace kvz {

// 24 bytes, many above 127 and none zero: libzip takes the password as a C string, so a zero
// byte would silently shorten it.
inline constexpr char kResultPassword[] = "\xF1\x64\x10\x07\x52\xCB\xD8\xBA\x14\x37\x46\xB0"
                                          "\xA9\x1B\xFF\xEE\x60\xA7\xBE\x32\xB4\x6E\x30\x20";
inline constexpr std::size_t kResultPasswordSize = sizeof(kResultPassword) - 1;
static_assert(kResultPasswordSize == 24);
static_assert([] {
    for (std::size_t i = 0; i < kResultPasswordSize; ++i)
        if (kResultPassword[i] == '\0')
            return false;
    return true;
}());

inline std::string resultPassword() {
    return std::string(kResultPassword, kResultPasswordSize);
}

} // namespace kvz
