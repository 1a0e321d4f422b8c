#include "profile/Profile.h"
#include "shell/IniFile.h"

#include <cstddef>
#include <cstdint>

// A profile is read from any file a launcher or a shared folder names.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kvz::Profile p = kvz::parseProfile(kvz::IniDocument::parse(bytes));
    (void)kvz::resolveResultFolder(p.result, QStringLiteral("/opt/kvizor"));
    // Whatever was read, writing it and reading it again gives the same password back.
    kvz::IniDocument doc = kvz::IniDocument::parse("");
    doc.setValue(kvz::kProfileSection, "Password",
                 kvz::iniSafeValue(kvz::scramblePassword(p.password)));
    const kvz::Profile back = kvz::parseProfile(kvz::IniDocument::parse(doc.serialize()));
    if (p.password.find_first_of("\r\n") == std::string::npos &&
        kvz::scramblePassword(p.password).find_first_of("\r\n") == std::string::npos &&
        back.password != p.password)
        __builtin_trap();
    return 0;
}
