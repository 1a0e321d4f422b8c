#include "results/ResultReader.h"

#include <cstddef>
#include <cstdint>

// The input is either a whole result archive or, after a first byte n, a summary entry of
// n × 4 bytes followed by a detail entry: the entries are what the fuzzer reaches fastest
// without a password in the way.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)kvz::readResultArchive(bytes);
    if (size > 0) {
        const qsizetype cut = std::min<qsizetype>(qsizetype(data[0]) * 4, bytes.size() - 1);
        (void)kvz::parseResultEntries(bytes.mid(1, cut), bytes.mid(1 + cut));
    }
    return 0;
}
