#pragma once

// Random access to the bytes of an archive, wherever they are: in memory (an archive received
// over the network) or in a file read in place (a test of the Base folder), so a large test is
// never held twice.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <memory>

class QFileDevice;

namespace kvz {

class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly n bytes at offset into out; false when they cannot all be read.
    virtual bool read(std::uint64_t offset, char* out, std::size_t n) = 0;
};

std::unique_ptr<ArchiveSource> memorySource(QByteArray bytes);

// The bytes of an open file from its current position to its end. The file must stay open
// while the source is used; its position is moved.
std::unique_ptr<ArchiveSource> fileSource(QFileDevice& file);

} // namespace kvz
