#include "choice/Catalogue.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    if (const auto info = kvz::ReadCatalogue(buffer)) {
        (void)kvz::TopicLines(info->topics);
        (void)kvz::MatchesFilter(*info, info->klass, info->subject, "x");
    }
    return 0;
}
