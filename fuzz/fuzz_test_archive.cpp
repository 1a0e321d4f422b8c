// The test archive reader on hostile bytes. The first byte picks the layer: 0 feeds the rest as
// a whole .tst file; 1 splits the rest at "\xFF\xFE" into the seven entries (an empty part is an
// absent entry) and packs them with the test password first, so the fuzzer reaches the entry
// parsers behind the encryption.

#include "test/ArchivePassword.h"
#include "test/TestArchive.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    QByteArray file;
    if (data[0] == 0) {
        file = rest;
    } else {
        static const char* names[] = {"WORD.doc",        "spisok.dat",    "settings.dat",
                                      "settings139.dat", "uchebniki.dat", "ofset.dat",
                                      "slojnost.dat"};
        std::vector<kvz::ZipEntry> entries;
        const QList<QByteArray> parts = rest.split('\xFF');
        QByteArray current;
        std::size_t index = 0;
        // "\xFF\xFE" ends an entry; a lone "\xFF" stays in the data.
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QByteArray& p = parts[i];
            if (i > 0 && p.startsWith('\xFE')) {
                if (!current.isEmpty() && index < 7)
                    entries.push_back({names[index], current});
                ++index;
                current = p.mid(1);
            } else {
                if (i > 0)
                    current.append('\xFF');
                current.append(p);
            }
        }
        if (!current.isEmpty() && index < 7)
            entries.push_back({names[index], current});
        auto zip = kvz::writeEncryptedZip(entries, kvz::archivePassword(""));
        if (!zip)
            return 0;
        file = *zip;
    }
    kvz::ArchiveReadHooks hooks;
    int prompts = 0;
    hooks.askPassword = [&]() -> std::optional<std::string> {
        if (++prompts > 1)
            return std::nullopt;
        return std::string("x");
    };
    kvz::ArchiveReadResult r = kvz::readTestArchive(std::move(file), "", hooks);
    if (r.archive) {
        kvz::QuestionSet set;
        kvz::RunState state;
        kvz::TestArchive copy = *r.archive;
        kvz::applyTestArchive(std::move(*r.archive), set, state);
        kvz::startRunLogic(set, state, 1);
        (void)kvz::encodeTestEntries(copy);
    }
    return 0;
}
