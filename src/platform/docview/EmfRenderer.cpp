#include "platform/docview/EmfRenderer.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>
#include <cstdlib>
#include <emf2svg.h>

// libemf2svg shuts fontconfig down (FcFini) after looking up a font for some text. Qt keeps
// using fontconfig for the life of the program, and fontconfig aborts when it is shut down under
// a live user. Shutting it down is only tidying at exit, so this program's FcFini does nothing;
// being defined in the executable, it is the one libemf2svg calls.
extern "C" void FcFini(void) {}

namespace kvz::docview {
namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
// Converted pictures beyond this are not drawn: an A4 page of ordinary drawing is far below.
constexpr std::size_t kMaxEmfBytes = 32u << 20;

constexpr std::uint32_t kEmrComment = 70;
constexpr std::uint32_t kEmfPlusTag = 0x2B464D45; // "EMF+"

// In the header record: the description's length in UTF-16 units and its offset.
constexpr std::size_t kHeaderDescriptionChars = 60;
constexpr std::size_t kHeaderDescriptionOffset = 64;

constexpr std::uint16_t kEmfPlusObject = 0x4008;
constexpr std::uint32_t kEmfPlusObjectContinues = 0x8000; // in the record's flags

// The EMF+ records inside one comment: whole headers, aligned sizes inside the comment, data
// sizes inside their record.
bool emfPlusChainSound(Bytes data) {
    std::size_t pos = 4;
    while (pos < data.size()) {
        if (data.size() - pos < 12)
            return false;
        const std::uint32_t size = readLe32(data, pos + 4);
        const std::uint32_t dataSize = readLe32(data, pos + 8);
        if (size < 12 || size % 4 != 0 || size > data.size() - pos || dataSize > size - 12)
            return false;
        // The converter gathers an object's bytes in a buffer it keeps from one picture to the
        // next, growing it with realloc; an object with no bytes of its own makes that
        // realloc(p, 0), which frees the buffer it keeps using, and a later picture frees it
        // again. The least object (a solid brush) has 12 bytes, and a continued one 4 more for
        // its total size.
        if ((readLe32(data, pos) & 0xFFFF) == kEmfPlusObject) {
            const bool continued = (readLe32(data, pos) >> 16) & kEmfPlusObjectContinues;
            if (dataSize < (continued ? 16u : 12u))
                return false;
        }
        pos += size;
    }
    return true;
}

// Where the bitmaps of the records that carry them sit: offsets of (offBmi, cbBmi, offBits,
// cbBits) quadruples from the record's start.
struct BitmapFields {
    std::uint32_t type;
    std::size_t minSize;
    std::size_t at[2]; // 0: no second bitmap
};
constexpr BitmapFields kBitmapRecords[] = {
    {76, 100, {84, 0}},   // BITBLT
    {77, 108, {84, 0}},   // STRETCHBLT
    {78, 128, {84, 112}}, // MASKBLT
    {79, 140, {96, 124}}, // PLGBLT
    {80, 76, {48, 0}},    // SETDIBITSTODEVICE
    {81, 80, {48, 0}},    // STRETCHDIBITS
    {93, 32, {16, 0}},    // CREATEMONOBRUSH
    {94, 32, {16, 0}},    // CREATEDIBPATTERNBRUSHPT
    {114, 108, {84, 0}},  // ALPHABLEND
    {116, 108, {84, 0}},  // TRANSPARENTBLT
};

// One bitmap of a record: its header and colour table inside the record, and for uncompressed
// pixels as many bytes as its size implies. The converter copies by what the header says, so a
// bitmap that claims more than the record holds would be read past the picture's end.
bool bitmapSound(Bytes record, std::size_t at) {
    const std::uint32_t offBmi = readLe32(record, at);
    const std::uint32_t cbBmi = readLe32(record, at + 4);
    const std::uint32_t offBits = readLe32(record, at + 8);
    const std::uint32_t cbBits = readLe32(record, at + 12);
    if (cbBmi == 0 && cbBits == 0)
        return true;
    if (cbBmi < 40 || offBmi > record.size() || cbBmi > record.size() - offBmi)
        return false;
    if (offBits > record.size() || cbBits > record.size() - offBits)
        return false;
    const Bytes bmi = record.subspan(offBmi, cbBmi);
    const std::uint32_t headerSize = readLe32(bmi, 0);
    const std::int64_t width = std::int32_t(readLe32(bmi, 4));
    const std::int64_t height = std::int32_t(readLe32(bmi, 8));
    const std::uint32_t bitCount = readLe32(bmi, 12) >> 16;
    const std::uint32_t compression = readLe32(bmi, 16);
    const std::uint32_t colorsUsed = readLe32(bmi, 32);
    if (headerSize < 40 || headerSize > cbBmi || width <= 0 || height == 0 || width > 65535 ||
        height > 65535 || height < -65535)
        return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return false;
    const std::uint64_t colors = colorsUsed != 0 ? colorsUsed
                                 : bitCount <= 8 ? (1u << bitCount)
                                                 : 0;
    const std::uint64_t masks = compression == 3 ? 12 : 0;
    if (std::uint64_t(headerSize) + masks + colors * 4 > cbBmi)
        return false;
    if (compression == 0 || compression == 3) {
        const std::uint64_t stride = ((std::uint64_t(width) * bitCount + 31) / 32) * 4;
        const std::uint64_t rows = std::uint64_t(height < 0 ? -height : height);
        if (stride * rows > cbBits)
            return false;
    }
    return true;
}

} // namespace

bool emfPlusSound(Bytes emf) {
    const std::uint32_t total = readLe32(emf, 48);
    std::size_t pos = 0;
    while (pos + 8 <= total && pos + 8 <= emf.size()) {
        const std::uint32_t type = readLe32(emf, pos);
        const std::uint32_t size = readLe32(emf, pos + 4);
        if (size < 8 || size > emf.size() - pos)
            return false;
        if (type == kEmrComment) {
            if (size < 12)
                return false;
            const std::uint32_t cb = readLe32(emf, pos + 8);
            if (cb > size - 12)
                return false;
            const Bytes data = emf.subspan(pos + 12, cb);
            if (cb >= 4 && readLe32(data, 0) == kEmfPlusTag && !emfPlusChainSound(data))
                return false;
        }
        if (type == kEmrEof)
            break;
        pos += size;
    }
    return true;
}

QString checkEmf(Bytes emf) {
    if (emf.size() < 88 || readLe32(emf, 0) != kEmrHeader || readLe32(emf, 40) != 0x464D4520)
        return QStringLiteral("not an enhanced metafile");
    if (emf.size() > kMaxEmfBytes)
        return QStringLiteral("enhanced metafile is too large");
    const std::uint32_t headerSize = readLe32(emf, 4);
    const std::uint32_t total = readLe32(emf, 48);
    if (headerSize < 88 || headerSize > emf.size() || headerSize % 4 != 0)
        return QStringLiteral("enhanced metafile header has a wrong size");
    if (total > emf.size() || total < headerSize)
        return QStringLiteral("enhanced metafile claims %1 bytes but holds %2")
            .arg(total)
            .arg(emf.size());
    std::size_t pos = 0;
    while (pos < total) {
        if (total - pos < 8)
            return QStringLiteral("enhanced metafile record cut short at %1").arg(pos);
        const std::uint32_t type = readLe32(emf, pos);
        const std::uint32_t size = readLe32(emf, pos + 4);
        if (size < 8 || size % 4 != 0 || size > total - pos)
            return QStringLiteral("enhanced metafile record at %1 has a wrong size").arg(pos);
        if ((type == kEmrHeader) != (pos == 0) || type == 0 || type > 122)
            return QStringLiteral("enhanced metafile record at %1 has a wrong type").arg(pos);
        for (const BitmapFields& f : kBitmapRecords) {
            if (f.type != type)
                continue;
            const Bytes record = emf.subspan(pos, size);
            if (size < f.minSize || !bitmapSound(record, f.at[0]) ||
                (f.at[1] != 0 && !bitmapSound(record, f.at[1])))
                return QStringLiteral("enhanced metafile record at %1 holds a broken bitmap")
                    .arg(pos);
        }
        pos += size;
        if (type == kEmrEof)
            return {};
    }
    return QStringLiteral("enhanced metafile has no end record");
}

EmfPicture::~EmfPicture() = default;

std::unique_ptr<EmfPicture> EmfPicture::load(Bytes emf, QString& error) {
    error = checkEmf(emf);
    if (!error.isEmpty())
        return nullptr;
    // The converter takes a mutable buffer; hand it a copy of exactly the checked bytes.
    const std::uint32_t total = readLe32(emf, 48);
    QByteArray copy(reinterpret_cast<const char*>(emf.data()), qsizetype(total));
    // The converter reads the header's description only to throw it away, and looks for its end
    // with no bound (past the picture, where the description is broken); the copy has none.
    qToLittleEndian(std::uint32_t(0), copy.data() + kHeaderDescriptionChars);
    qToLittleEndian(std::uint32_t(0), copy.data() + kHeaderDescriptionOffset);
    generatorOptions options{};
    char emptyNamespace[] = "";
    options.nameSpace = emptyNamespace; // with a prefix the XML comes out malformed
    options.verbose = false;
    // EMF+ records are drawn only when their chain is sound; the plain records that writers
    // put beside them draw the same picture otherwise.
    options.emfplus = emfPlusSound(emf);
    options.svgDelimiter = true;
    options.imgWidth = 0;
    options.imgHeight = 0;
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &out, &outLength, &options);
    std::unique_ptr<EmfPicture> pic(new EmfPicture);
    if (out) {
        pic->svg_ = QByteArray(out, qsizetype(outLength));
        std::free(out);
    }
    if (!ok || pic->svg_.isEmpty()) {
        error = QStringLiteral("the enhanced metafile cannot be converted");
        return nullptr;
    }
    pic->renderer_ = std::make_unique<QSvgRenderer>(pic->svg_);
    if (!pic->renderer_->isValid()) {
        error = QStringLiteral("the enhanced metafile converts to an unreadable drawing");
        return nullptr;
    }
    pic->renderer_->setAspectRatioMode(Qt::IgnoreAspectRatio);
    return pic;
}

void EmfPicture::draw(QPainter& painter, const QRectF& target) const {
    renderer_->render(&painter, target);
}

} // namespace kvz::docview
