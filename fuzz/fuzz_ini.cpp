#include "shell/IniFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kvz::IniDocument doc = kvz::IniDocument::parse(bytes);
    for (const char* section : {"Start", "Type", "NET", "Kvizor_msg", "Info"})
        for (const std::string& key : doc.keys(section))
            (void)doc.readInteger(section, key, 0);
    (void)doc.readString("Kvizor_msg", "msg[000]", "");
    doc.setValue("NET", "Host", "h");
    (void)kvz::IniDocument::parse(doc.serialize()).value("NET", "Host");
    return 0;
}
