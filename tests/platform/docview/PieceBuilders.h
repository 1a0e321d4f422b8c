#pragma once

// Small builders for pieces and their streams, so a test states only what differs.

#include "platform/docview/ByteReader.h"
#include "platform/docview/CompoundFile.h"
#include "platform/docview/PieceWriter.h"
#include "support/TestPaths.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

namespace kvz::docview::testing {

inline void put32(QByteArray& out, std::uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

inline QByteArray readFixture(const QString& name) {
    QFile f(kvz::testing::fixture(QStringLiteral("docview/") + name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return f.readAll();
}

inline Bytes bytesOf(const QByteArray& a) {
    return asBytes(a.constData(), std::size_t(a.size()));
}

struct Presentation {
    std::uint32_t format = 8; // CF_DIB
    std::uint32_t aspect = 1; // content
    std::uint32_t width = 2540;
    std::uint32_t height = 1270;
    QByteArray data;
    std::optional<std::uint32_t> sizeField; // lies about the data size when set
    QByteArray targetDevice;                // bytes after TargetDeviceSize
};

inline QByteArray presentationStream(const Presentation& p) {
    QByteArray out;
    put32(out, 0xFFFFFFFF);
    put32(out, p.format);
    put32(out, std::uint32_t(4 + p.targetDevice.size()));
    out.append(p.targetDevice);
    put32(out, p.aspect);
    put32(out, 0xFFFFFFFF);
    put32(out, 0);
    put32(out, 0);
    put32(out, p.width);
    put32(out, p.height);
    put32(out, p.sizeField ? *p.sizeField : std::uint32_t(p.data.size()));
    out.append(p.data);
    return out;
}

// A piece of an embedded object (any class) holding the given streams.
inline QByteArray pieceWith(const std::vector<StreamEntry>& streams,
                            ClassId cls = oleClassId(0x0700)) {
    QString error;
    std::optional<QByteArray> cf = writeCompound(cls, streams, error);
    EXPECT_TRUE(cf.has_value()) << error.toStdString();
    return makePiece(cf.value_or(QByteArray()));
}

} // namespace kvz::docview::testing
