#pragma once

// Compound files (structured storage) in memory, through libgsf: reading the streams of the
// root storage of a piece, and writing a new one.

#include "platform/docview/ByteReader.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvz::docview {

using ClassId = std::array<std::uint8_t, 16>;

// {0000xxxx-0000-0000-C000-000000000046} in its stored byte order: the OLE picture classes.
ClassId oleClassId(std::uint16_t low);

class CompoundReader {
public:
    // Empty with error set when the bytes are no compound file. The bytes must outlive it.
    static std::unique_ptr<CompoundReader> open(Bytes bytes, QString& error);
    ~CompoundReader();
    CompoundReader(const CompoundReader&) = delete;
    CompoundReader& operator=(const CompoundReader&) = delete;

    ClassId classId() const { return classId_; }
    // Names of the root storage's children, as stored (bytes, not Unicode).
    std::vector<std::string> children() const;
    // A stream of the root storage, read whole; nothing when absent, a storage or unreadable.
    std::optional<QByteArray> stream(const std::string& name) const;

private:
    CompoundReader() = default;
    struct Handles;
    std::unique_ptr<Handles> h_;
    ClassId classId_{};
    std::size_t inputSize_ = 0;
};

struct StreamEntry {
    std::string name;
    QByteArray data;
};

// A compound file whose root storage has the class id and holds the streams in order.
std::optional<QByteArray> writeCompound(const ClassId& rootClass,
                                        const std::vector<StreamEntry>& streams, QString& error);

} // namespace kvz::docview
