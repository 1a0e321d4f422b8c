#include "platform/docview/EmfRenderer.h"

#include <QPainter>
#include <QSvgRenderer>
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
        pos += size;
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
